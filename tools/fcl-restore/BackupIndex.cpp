#include "tools/fcl-restore/BackupIndex.h"

#include <algorithm>

#include "tools/fir/ArchiveIndexFile.h"

namespace fclhost {
namespace {

bool under(const std::string& path, const std::string& root) {
    if (path == root || root == "/") {
        return true;
    }
    return path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/';
}

}  // namespace

bool readBackupIndex(const std::string& mediaDir, std::vector<fclarchive::IndexEntry>* items, std::string* why) {
    std::vector<uint64_t> ids;
    if (!fir::listArchiveIds(mediaDir, &ids, why)) {
        return false;
    }
    if (ids.empty()) {
        *why = "no archive files in " + mediaDir;
        return false;
    }
    items->clear();
    for (uint64_t id : ids) {
        fir::ArchiveIndex index;
        if (!fir::readArchiveIndex(mediaDir, id, &index, why)) {
            return false;
        }
        items->insert(items->end(), index.items.begin(), index.items.end());
    }
    return true;
}

bool selects(const std::vector<std::string>& paths, const std::string& path) {
    return paths.empty() ||
           std::any_of(paths.begin(), paths.end(), [&](const std::string& root) { return under(path, root); });
}

std::vector<std::string> pathsSelectingNothing(const std::vector<fclarchive::IndexEntry>& items,
                                               const std::vector<std::string>& paths) {
    std::vector<std::string> unmatched;
    for (const std::string& root : paths) {
        if (std::none_of(items.begin(), items.end(),
                         [&](const fclarchive::IndexEntry& item) { return under(item.path, root); })) {
            unmatched.push_back(root);
        }
    }
    return unmatched;
}

}  // namespace fclhost
