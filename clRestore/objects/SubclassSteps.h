#pragma once
// Steps that the file, directory and link objects take alike around the common open.
#include <sys/types.h>

#include <string>

class FsRestoreUnixObject;

namespace fclobjects {

// The common open failed: logs it with errno and gives the item its id (a full disk, or the item not created).
// Returns 0.
int baseOpenFailed(FsRestoreUnixObject& item);
// postOpenObject failed: logs it and gives the item "not created", unless it already holds "the user may not read
// the item". Returns 0.
int postOpenFailed(FsRestoreUnixObject& item);
// True unless the job is one whose created directories keep the permissions they were made with (a synchronised
// restore, a PostgreSQL log restore, a cache-database restore, an NDMP restore).
bool resetsCreatedDirectories(FsRestoreUnixObject& item);
// Gives the directories the restore made above `path` (up to its source's top-level destination) `mode` and the
// item's owner and group. `physical`, when given, is the path as restored, `path` being the name the index header gave.
void resetCreatedDirectories(FsRestoreUnixObject& item, const std::string& path, mode_t mode,
                             const char* physical = nullptr);
// Keeps `name` as the item's index-header path when the job restores a cache database.
void keepHeaderPath(FsRestoreUnixObject& item, const std::string& name, std::string& headerPath);
// Everything before the last '/' of `path`; "/" when that is empty or there is no '/'.
std::string parentDirectory(const std::string& path);

}  // namespace fclobjects
