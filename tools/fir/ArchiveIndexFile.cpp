#include "tools/fir/ArchiveIndexFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

#include "platform/archive/ArchiveFormat.h"

namespace fir {

std::string ArchiveIndex::itemAt(uint64_t offset) {
    if (byOffset_.size() != items.size()) {
        byOffset_.resize(items.size());
        for (size_t i = 0; i < items.size(); ++i) {
            byOffset_[i] = i;
        }
        std::stable_sort(byOffset_.begin(), byOffset_.end(),
                         [this](size_t a, size_t b) { return items[a].offset < items[b].offset; });
    }
    // The first entry starting after `offset`; the item is the first of those starting at the offset before it.
    auto after = std::upper_bound(byOffset_.begin(), byOffset_.end(), offset,
                                  [this](uint64_t wanted, size_t i) { return wanted < items[i].offset; });
    if (after == byOffset_.begin()) {
        return std::string();
    }
    const uint64_t start = items[*(after - 1)].offset;
    auto first = std::lower_bound(byOffset_.begin(), after, start,
                                  [this](size_t i, uint64_t wanted) { return items[i].offset < wanted; });
    return items[*first].path;
}

bool forEachIndexEntry(const std::string& mediaDir, uint64_t archiveFileId, std::string* why,
                       const std::function<void(const fclarchive::IndexEntry&)>& each) {
    const std::string path = fclarchive::indexFilePath(mediaDir, archiveFileId);
    fclarchive::IndexReader reader;
    if (!reader.open(path)) {
        *why = "cannot read the index " + path + ": " + strerror(errno);
        return false;
    }
    fclarchive::IndexEntry item;
    while (reader.next(item)) {
        each(item);
    }
    if (reader.malformed()) {
        *why = path + ":" + std::to_string(reader.lineNumber()) + ": not an index line";
        return false;
    }
    return true;
}

bool readArchiveIndex(const std::string& mediaDir, uint64_t archiveFileId, ArchiveIndex* index, std::string* why) {
    *index = ArchiveIndex();
    index->archiveFileId = archiveFileId;
    return forEachIndexEntry(mediaDir, archiveFileId, why,
                             [index](const fclarchive::IndexEntry& item) { index->items.push_back(item); });
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
