// The MapFile of a mapped restore: one entry a line, "source","destination" and optionally ",start[,end]" after the
// destination's quote in place of its closing one.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/factory/MappingEntries.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "platform/files/FileCalls.h"
#include "platform/files/UniqueFd.h"
#include "platform/log/LogWriter.h"

namespace {

const char kSeparator[] = "\",\"";
const char kRangeMark[] = "\",";

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};

// The MapFile opened for reading when it is a regular file; null, with the reason logged, otherwise. The file is
// opened without following a link and checked again through its descriptor, so it cannot be swapped for a link
// between the check and the read.
std::unique_ptr<FILE, FileCloser> openMapFile(const char* name) {
    struct stat st;
    memset(&st, 0, sizeof st);
    if (access_utf(name, 0) != 0 || lstat_utf(name, &st) != 0) {
        FCL_ERROR("MapFile '%s' does not exists", name);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        FCL_ERROR("'%s' is not a file", name);
        return nullptr;
    }
    wzfiles::UniqueFd fd(open_utf(name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.valid() && (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))) {
        FCL_ERROR("'%s' is not a file", name);
        return nullptr;
    }
    FILE* file = fd.valid() ? fdopen(fd.get(), "r") : nullptr;
    if (file == nullptr) {
        FCL_ERROR("MapFile Invalid %s", name);
        return nullptr;
    }
    fd.release();
    return std::unique_ptr<FILE, FileCloser>(file);
}

// The range after the destination: "start" or "start,end", each read as atoll reads. False for a start below -1,
// which names no byte of a file.
bool readRange(const std::string& text, long long& start, long long& end) {
    const size_t comma = text.find(',');
    start = atoll(text.substr(0, comma).c_str());
    end = comma == std::string::npos ? -1 : atoll(text.c_str() + comma + 1);
    return start >= -1;
}

// One line of the MapFile; a line without the separator is no entry and is passed over silently.
void addMapFileLine(const std::string& line, MappingTable& mapping, int& longestSource) {
    const size_t separator = line.rfind(kSeparator);
    if (separator == std::string::npos) {
        return;
    }
    if (line.find('\0') != std::string::npos) {
        // The path would end at the NUL in every call that takes it, naming another file.
        FCL_LOG(0, "A line cannot hold a NUL byte.Ignoring line %s", line.c_str());
        return;
    }
    std::string source = separator >= 1 ? line.substr(1, separator - 1) : std::string();
    std::string destination = line.substr(separator + sizeof(kSeparator) - 1);
    long long start = -1;
    long long end = -1;
    const size_t range = destination.rfind(kRangeMark);
    if (range != std::string::npos) {
        const std::string text = destination.substr(range + sizeof(kRangeMark) - 1);
        destination.erase(range);
        if (!readRange(text, start, end)) {
            FCL_LOG(0, "A range cannot start before the file.Ignoring line %s", line.c_str());
            return;
        }
        if (text.find(',') != std::string::npos && end < start) {
            FCL_LOG(0,
                    "Start position %lld ahead of end %lld for source [%s]. Reseting to end of file. Input line [%s]",
                    start, end, source.c_str(), line.c_str());
            end = -1;
        }
    }
    if (!acceptMapEntry(source, destination, line.c_str())) {
        return;
    }
    FCL_LOG(2, "srcTemp = %s and destTemp = %s start:%lld end:%lld ", source.c_str(), destination.c_str(), start, end);
    // A range belongs to the entry of its own line: a later line for the same source is ignored whole.
    if (addMapping(mapping, longestSource, source, destination) && start != -1) {
        fileRangeMap.insert(std::make_pair(source, fileRange_t(static_cast<long>(start), static_cast<long>(end))));
    }
}

}  // namespace

bool FsRestoreUnixObjectsFactory::InsertInToMap() {
    std::unique_ptr<FILE, FileCloser> file = openMapFile(mappingFile);
    if (!file) {
        return false;
    }
    char* buffer = nullptr;
    size_t capacity = 0;
    ssize_t length;
    while ((length = getline(&buffer, &capacity, file.get())) >= 0) {
        std::string line(buffer, static_cast<size_t>(length));
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
        }
        addMapFileLine(line, _mapping, _longestMappedSource);
    }
    free(buffer);
    if (ferror(file.get())) {
        // A mapping read in part would send the unread sources elsewhere: none of the file counts.
        FCL_ERROR("MapFile Invalid %s", mappingFile);
        _mapping.clear();
        fileRangeMap.clear();
        _longestMappedSource = 0;
        return false;
    }
    return !_mapping.empty();
}
