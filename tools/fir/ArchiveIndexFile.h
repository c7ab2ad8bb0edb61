#pragma once
// The index beside each archive file of a media directory, as the FIR driver reads it to build its seeks and to
// name the items of error reports: one line per item, "<offset>\t<kind>\t<path>", with tab, line feed and
// backslash in a path written as \t, \n and \\.
#include <cstdint>
#include <string>
#include <vector>

namespace fir {

struct IndexItem {
    uint64_t offset = 0;
    std::string kind;
    std::string path;
};

struct ArchiveIndex {
    uint64_t archiveFileId = 0;
    std::vector<IndexItem> items;  // in file order; a hard link's further names repeat its first offset

    // The path of the item whose buffers hold `offset`: the item starting closest at or before it; "" when none.
    std::string itemAt(uint64_t offset) const;
};

// Parses one index line (without its line feed); false when it is not "<decimal>\t<kind>\t<escaped path>".
bool parseIndexLine(const std::string& line, IndexItem* item);
// Reads `<mediaDir>/<id>.index`; false with a reason naming the file and line when it cannot.
bool readArchiveIndex(const std::string& mediaDir, uint64_t archiveFileId, ArchiveIndex* index, std::string* why);
// The ids of the `<id>.afile` files in `mediaDir`, ascending.
bool listArchiveIds(const std::string& mediaDir, std::vector<uint64_t>* ids, std::string* why);

}  // namespace fir
