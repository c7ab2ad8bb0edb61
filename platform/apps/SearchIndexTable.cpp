#include "platform/apps/SearchIndexTable.h"

#include <map>
#include <mutex>

#include "platform/settings/IniDocument.h"
#include "platform/settings/SettingValues.h"
#include "platform/settings/SettingsFile.h"
#include "platform/support/FXString.h"

namespace wzsearch {
namespace {

struct Table {
    std::mutex lock;
    std::map<std::string, IndexFile> byDummyPath;
    std::vector<MetadataReceived> received;
};

Table& table() {
    static Table t;
    return t;
}

bool readFlags(const std::string& text, IndexFile& file) {
    if (text.empty()) {
        return true;
    }
    std::vector<std::string> flags;
    FXString::Split(text, "+", flags);
    for (const std::string& flag : flags) {
        if (flag == "unmapped") {
            file.unmapped = true;
        } else if (flag == "lookup-fails") {
            file.lookupFails = true;
        } else if (flag == "parse-fails") {
            file.parseFails = true;
        } else if (flag == "update-fails") {
            file.updateFails = true;
        } else {
            return false;
        }
    }
    return true;
}

// One file line of the settings file.
bool readEntry(const std::string& line, IndexFile& file) {
    std::vector<std::string> fields;
    FXString::Split(line, "|", fields);
    unsigned long kind = 0;
    if (fields.size() != 4 || fields[0].empty() || !wzsettings::parseUnsigned(fields[2], &kind) ||
        kind > 0x7fffffffUL || !readFlags(fields[3], file)) {
        return false;
    }
    file.dummyPath = fields[0];
    file.actualPath = fields[1];
    file.kind = static_cast<int>(kind);
    return true;
}

// The first entry that `match` accepts: those in memory first, then those of the settings file.
template <class Match>
bool find(Match match, IndexFile& out) {
    {
        Table& t = table();
        std::lock_guard<std::mutex> guard(t.lock);
        for (const auto& kv : t.byDummyPath) {
            if (match(kv.second)) {
                out = kv.second;
                return true;
            }
        }
    }
    wzplatform::SettingsSnapshot settings = wzplatform::currentSettings();
    for (const std::string& line : settings.document->findAll("SearchIndex", "file")) {
        IndexFile file;
        if (readEntry(line, file) && match(file)) {
            out = file;
            return true;
        }
    }
    return false;
}

}  // namespace

void addIndexFile(const IndexFile& file) {
    Table& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    t.byDummyPath[file.dummyPath] = file;
}

void clearIndex() {
    Table& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    t.byDummyPath.clear();
    t.received.clear();
}

bool indexReachable() {
    IndexFile any;
    return find([](const IndexFile&) { return true; }, any);
}

bool findByDummyPath(const std::string& dummyPath, IndexFile& out) {
    return find([&](const IndexFile& file) { return file.dummyPath == dummyPath; }, out);
}

bool findByActualPath(const std::string& actualPath, IndexFile& out) {
    return find([&](const IndexFile& file) { return !actualPath.empty() && file.actualPath == actualPath; }, out);
}

void noteMetadataReceived(const MetadataReceived& received) {
    Table& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    t.received.push_back(received);
}

std::vector<MetadataReceived> metadataReceived() {
    Table& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.received;
}

}  // namespace wzsearch
