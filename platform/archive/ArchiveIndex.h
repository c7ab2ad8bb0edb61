#pragma once
// The index beside each archive file: one text line per item, "<offset>\t<kind>\t<path>", with tab, line
// feed and backslash in a path written as \t, \n and \\.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace fclarchive {

struct IndexEntry {
    uint64_t offset = 0;
    std::string kind;
    std::string path;
};

std::string escapeIndexPath(const std::string& path);
// False for an escape other than \t, \n and \\, or a lone backslash at the end.
bool unescapeIndexPath(const std::string& text, std::string& path);
std::string formatIndexLine(uint64_t offset, const char* kind, const std::string& path);
// Parses one line without its line feed; false when it is not a well-formed entry (an item always has a path).
bool parseIndexLine(const std::string& line, IndexEntry& entry);

// Reads an index one entry at a time, so an index of any size takes constant memory.
class IndexReader {
public:
    // False when the file cannot be opened (errno tells why).
    bool open(const std::string& path);
    // False at the end; `malformed` is set when the end came from a line that does not parse or a failed read.
    bool next(IndexEntry& entry);
    bool malformed() const { return malformed_; }
    // Lines read so far: after a malformed end, the number of the line at fault.
    uint64_t lineNumber() const { return lineNumber_; }

private:
    std::unique_ptr<FILE, int (*)(FILE*)> file_{nullptr, fclose};
    std::string line_;
    bool malformed_ = false;
    uint64_t lineNumber_ = 0;
};

}  // namespace fclarchive
