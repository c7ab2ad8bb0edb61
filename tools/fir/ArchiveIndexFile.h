#pragma once
// The indexes of a media directory as the FIR driver holds them to build its seeks and to name the items of error
// reports; each is read with the archive library's index reader.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/archive/ArchiveIndex.h"

namespace fir {

struct ArchiveIndex {
    uint64_t archiveFileId = 0;
    std::vector<fclarchive::IndexEntry> items;  // in file order; a hard link's further names repeat its first offset

    // The path of the item whose buffers hold `offset`: the item starting closest at or before it; "" when none.
    std::string itemAt(uint64_t offset) const;
};

// Reads `<mediaDir>/<id>.index`; false with a reason naming the file and line when it cannot.
bool readArchiveIndex(const std::string& mediaDir, uint64_t archiveFileId, ArchiveIndex* index, std::string* why);
// The ids of the `<id>.afile` and `<id>.index` files in `mediaDir`, ascending, each once.
bool listArchiveIds(const std::string& mediaDir, std::vector<uint64_t>* ids, std::string* why);

}  // namespace fir
