#include "clRestore/factory/MappingEntries.h"

#include "clRestore/support/PathSafety.h"
#include "platform/log/LogWriter.h"

namespace {

void logIgnored(int level, const char* why, const char* line, const std::string& source,
                const std::string& destination) {
    if (line != nullptr) {
        FCL_LOG(level, "%s.Ignoring line %s", why, line);
    } else {
        FCL_LOG(level, "%s.Ignoring map %s:%s", why, source.c_str(), destination.c_str());
    }
}

void dropLast(std::string& text, char c) {
    if (!text.empty() && text.back() == c) {
        text.pop_back();
    }
}

}  // namespace

bool toMappingKey(std::string& source) {
    if (!normaliseItemPath(source)) {
        return false;
    }
    if (source.size() > 1) {
        dropLast(source, '/');
    }
    return true;
}

bool acceptMapEntry(std::string& source, std::string& destination, const char* line) {
    dropLast(destination, '"');
    if (!source.empty() && source.back() == '/') {
        source.pop_back();
    } else {
        dropLast(source, '\\');
    }
    if (source.empty()) {
        logIgnored(3, "Source cannot be empty", line, source, destination);
        return false;
    }
    if (source[0] != '/') {
        logIgnored(3, "Specify absolute path for source", line, source, destination);
        return false;
    }
    if (destination.empty()) {
        FCL_LOG(0, "srcTemp = %s and destTemp is empty, will not restore the src path\n", source.c_str());
    } else if (destination[0] != '/') {
        logIgnored(3, "Specify absolute path for destination", line, source, destination);
        return false;
    } else if (destination.size() > 1) {
        dropLast(destination, '/');
    }
    // Items are matched by their normalised names, so the table holds normalised paths; a ".." in either would
    // only ever refuse the items it names.
    if (!toMappingKey(source) || !normaliseItemPath(destination)) {
        logIgnored(0, "A mapping path cannot climb with \"..\"", line, source, destination);
        return false;
    }
    return true;
}

bool addMapping(MappingTable& mapping, int& longestSource, const std::string& source, const std::string& destination) {
    if (static_cast<int>(source.size()) > longestSource) {
        longestSource = static_cast<int>(source.size());
    }
    return mapping.insert(std::make_pair(source, destination)).second;
}
