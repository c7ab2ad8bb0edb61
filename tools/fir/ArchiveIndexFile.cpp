#include "tools/fir/ArchiveIndexFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

#include "platform/archive/ArchiveFormat.h"

namespace fir {

std::string ArchiveIndex::itemAt(uint64_t offset) const {
    // Further names of a hard-link group repeat an earlier offset; the first name found there is the item.
    const fclarchive::IndexEntry* best = nullptr;
    for (const fclarchive::IndexEntry& item : items) {
        if (item.offset <= offset && (best == nullptr || item.offset > best->offset)) {
            best = &item;
        }
    }
    return best != nullptr ? best->path : std::string();
}

bool readArchiveIndex(const std::string& mediaDir, uint64_t archiveFileId, ArchiveIndex* index, std::string* why) {
    const std::string path = fclarchive::indexFilePath(mediaDir, archiveFileId);
    fclarchive::IndexReader reader;
    if (!reader.open(path)) {
        *why = "cannot read the index " + path + ": " + strerror(errno);
        return false;
    }
    index->archiveFileId = archiveFileId;
    index->items.clear();
    fclarchive::IndexEntry item;
    while (reader.next(item)) {
        index->items.push_back(item);
    }
    if (reader.malformed()) {
        *why = path + ":" + std::to_string(reader.lineNumber()) + ": not an index line";
        return false;
    }
    return true;
}

bool listArchiveIds(const std::string& mediaDir, std::vector<uint64_t>* ids, std::string* why) {
    // An index whose archive file is gone still names items the backup holds: they are asked for, and their loss
    // shows in the job's account instead of vanishing from it.
    int error = 0;
    std::vector<uint64_t> archives = fclarchive::listArchiveFiles(mediaDir, &error);
    std::vector<uint64_t> indexes;
    if (error == 0) {
        indexes = fclarchive::listIndexFiles(mediaDir, &error);
    }
    if (error != 0) {
        *why = "cannot read the media directory " + mediaDir + ": " + strerror(error);
        return false;
    }
    ids->clear();
    std::set_union(archives.begin(), archives.end(), indexes.begin(), indexes.end(), std::back_inserter(*ids));
    return true;
}

}  // namespace fir
