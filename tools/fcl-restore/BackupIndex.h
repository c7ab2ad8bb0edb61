#pragma once
// What the host reads of a backup's indexes before a job: whether each --path selects anything, and which items a
// job asked for.
#include <string>
#include <vector>

#include "platform/archive/ArchiveIndex.h"

namespace fclhost {

// Every item of every index of `mediaDir`, archive by archive in ascending order, each in file order. False with a
// reason when the media directory holds no archive or an index cannot be read.
bool readBackupIndex(const std::string& mediaDir, std::vector<fclarchive::IndexEntry>* items, std::string* why);

// Whether a job restoring the source paths `paths` (none: the whole backup) asks for the item at `path`: the item
// lies at or under one of them.
bool selects(const std::vector<std::string>& paths, const std::string& path);

// The members of `paths` that select no item of `items`, in their order.
std::vector<std::string> pathsSelectingNothing(const std::vector<fclarchive::IndexEntry>& items,
                                               const std::vector<std::string>& paths);

}  // namespace fclhost
