#include "platform/clients/ClientDirectory.h"

#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <vector>

#include "platform/settings/IniDocument.h"
#include "platform/settings/SettingValues.h"
#include "platform/settings/SettingsFile.h"
#include "platform/settings/WZPlatformInfo.h"
#include "protocol/ApplicationTypes.h"

namespace wzclients {
namespace {

struct Directory {
    std::mutex lock;
    std::map<unsigned long, ClientEntry> byId;
    size_t lookups = 0;
};

Directory& directory() {
    static Directory d;
    return d;
}

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t comma = line.find(','); comma != std::string::npos; comma = line.find(',', start)) {
        fields.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

bool readFlags(const std::string& text, ClientEntry& entry) {
    size_t start = 0;
    while (start < text.size()) {
        size_t plus = text.find('+', start);
        const std::string flag = text.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        if (flag == "nas") {
            entry.nas = true;
        } else if (flag == "refcopy") {
            entry.referenceCopy = true;
        } else {
            return false;
        }
        start = plus == std::string::npos ? text.size() : plus + 1;
    }
    return true;
}

// One client line of the settings file.
bool readEntry(const std::string& line, ClientEntry& entry) {
    const std::vector<std::string> fields = fieldsOf(line);
    unsigned long osId = 0;
    if (fields.size() != 6 || !wzsettings::parseUnsigned(fields[0], &entry.id) ||
        !wzsettings::parseUnsigned(fields[3], &osId) || osId > 0x7fffffffUL || !readFlags(fields[4], entry)) {
        return false;
    }
    entry.name = fields[1];
    entry.guid = fields[2];
    entry.osId = static_cast<int>(osId);
    entry.celerraCifsPath = fields[5];
    return true;
}

template <class Match>
int lookup(Match match, ClientEntry& out) {
    Directory& d = directory();
    std::lock_guard<std::mutex> guard(d.lock);
    ++d.lookups;
    int error = 0;
    if (lookupFaults().take(&error)) {
        return error != 0 ? error : EIO;
    }
    for (const auto& kv : d.byId) {
        if (match(kv.second)) {
            out = kv.second;
            return 0;
        }
    }
    wzplatform::SettingsSnapshot settings = wzplatform::currentSettings();
    for (const std::string& line : settings.document->findAll("ClientDirectory", "client")) {
        ClientEntry entry;
        if (readEntry(line, entry) && match(entry)) {
            out = entry;
            return 0;
        }
    }
    return ENOENT;
}

}  // namespace

void addClient(const ClientEntry& entry) {
    Directory& d = directory();
    std::lock_guard<std::mutex> guard(d.lock);
    d.byId[entry.id] = entry;
}

void clearClients() {
    Directory& d = directory();
    std::lock_guard<std::mutex> guard(d.lock);
    d.byId.clear();
    d.lookups = 0;
}

size_t lookupCount() {
    Directory& d = directory();
    std::lock_guard<std::mutex> guard(d.lock);
    return d.lookups;
}

wzfault::FaultCounter& lookupFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

}  // namespace wzclients

namespace {

bool isThisMachine(const std::string& name) {
    char host[256] = "";
    return !name.empty() && gethostname(host, sizeof host - 1) == 0 && name == host;
}

}  // namespace

WZClient::WZClient(unsigned long id) : key_(Key::Id), id_(id) {}

WZClient::WZClient(const std::string& name, bool, unsigned long) : key_(Key::Name), text_(name) {}

WZClient::WZClient(const std::string& text, WZNameType type, unsigned long, void*)
    : key_(type == WZ_NAME_GUID ? Key::Guid : Key::Name), text_(text) {}

int WZClient::find(wzclients::ClientEntry& entry) const {
    switch (key_) {
        case Key::Id:
            return wzclients::lookup([this](const wzclients::ClientEntry& e) { return e.id == id_; }, entry);
        // An empty name or GUID names no client, not even one entered without it.
        case Key::Name: {
            const int rc = wzclients::lookup(
                [this](const wzclients::ClientEntry& e) { return !text_.empty() && e.name == text_; }, entry);
            if (rc == ENOENT && isThisMachine(text_)) {
                // The installation always knows the machine it runs on: an ordinary client, unless listed otherwise.
                entry = wzclients::ClientEntry();
                entry.name = text_;
                return 0;
            }
            return rc;
        }
        case Key::Guid:
            return wzclients::lookup(
                [this](const wzclients::ClientEntry& e) { return !text_.empty() && e.guid == text_; }, entry);
        case Key::None:
            break;
    }
    return ENOENT;
}

int WZClient::isPersonalWorkstationEnabled(bool& enabled) {
    enabled = false;
    WZPlatformInfo().getBoolean("Client", "personalWorkstation", &enabled);
    return 0;
}

template <class T>
int WZClient::answer(T& out, T wzclients::ClientEntry::*field) const {
    wzclients::ClientEntry entry;
    const int rc = find(entry);
    if (rc == 0) {
        out = entry.*field;
    }
    return rc;
}

int WZClient::getOperatingSystemId(int& id, void*) {
    return answer(id, &wzclients::ClientEntry::osId);
}

int WZClient::isNASClient(bool& nas, void*) {
    return answer(nas, &wzclients::ClientEntry::nas);
}

int WZClient::isReferenceCopyClient(bool& referenceCopy, void*) {
    return answer(referenceCopy, &wzclients::ClientEntry::referenceCopy);
}

int WZClient::getShortName(std::string& name, void*) {
    return answer(name, &wzclients::ClientEntry::name);
}

int WZClient::getClientId(unsigned long& id, void*) {
    return answer(id, &wzclients::ClientEntry::id);
}

int WZClient::getNetworkHostnameMangled(std::string& mangled, void*) {
    std::string name;
    const int rc = answer(name, &wzclients::ClientEntry::name);
    if (rc == 0) {
        mangled = name + "*" + name;
    }
    return rc;
}

int ApplicationTypeFS::getCeleraCIFSpath(std::string& path, void*) {
    wzclients::ClientEntry entry;
    const unsigned long id = clientId_;
    const int rc = wzclients::lookup([id](const wzclients::ClientEntry& e) { return e.id == id; }, entry);
    if (rc == 0) {
        path = appType_ == fclapps::kFileSystemAppType ? entry.celerraCifsPath : std::string();
    }
    return rc;
}
