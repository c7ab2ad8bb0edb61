#pragma once
// Steps that the file, directory and link objects take alike around the common open.
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
// Everything before the last '/' of `path`; "/" when that is empty or there is no '/'.
std::string parentDirectory(const std::string& path);

}  // namespace fclobjects
