#pragma once
// The indexes of a media directory as the FIR driver holds them to build its seeks and to name the items of error
// reports; each is read with the archive library's index reader.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/archive/ArchiveIndex.h"

namespace fir {

struct ArchiveIndex {
    uint64_t archiveFileId = 0;
    std::vector<fclarchive::IndexEntry> items;  // in file order; a hard link's further names repeat its first offset

    // The path of the item whose buffers hold `offset`: the item starting closest at or before it, the first name
    // at that offset; "" when none. The first call sorts a table of `items` by offset (so that a job with many
    // error reports does not scan the index for each): `items` stays as it is from then on.
    std::string itemAt(uint64_t offset);

private:
    std::vector<size_t> byOffset_;  // positions in `items`, by offset, file order kept among equal offsets
};

// Calls `each` with every entry of `<mediaDir>/<id>.index` in file order, reading it as it goes so that an index
// of any size takes constant memory; false with a reason naming the file and line when it cannot be read.
bool forEachIndexEntry(const std::string& mediaDir, uint64_t archiveFileId, std::string* why,
                       const std::function<void(const fclarchive::IndexEntry&)>& each);
// Reads `<mediaDir>/<id>.index` whole; false with a reason naming the file and line when it cannot.
bool readArchiveIndex(const std::string& mediaDir, uint64_t archiveFileId, ArchiveIndex* index, std::string* why);
// The ids of the `<id>.afile` and `<id>.index` files in `mediaDir`, ascending, each once.
bool listArchiveIds(const std::string& mediaDir, std::vector<uint64_t>* ids, std::string* why);

}  // namespace fir
