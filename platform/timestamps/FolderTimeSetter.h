#pragma once
// Sets the times of one restored folder.
namespace wztimestamps {

// Sets the access and modification times of the directory at `path` to the given CTimeStamp ticks (0 leaves that time
// as it is). The path is opened through the file-call layer, so the destination gate and long paths hold, without
// following its final component unless `throughLink` (a folder restored through the user's link at its name; the
// gate still refuses a link leaving the destination); the times go to what was opened, and only when it is a
// directory. 0, or the errno of the failure: ENOTDIR or ELOOP when the path no longer names a directory.
int setFolderTimes(const char* path, long long accessTicks, long long modifiedTicks, bool throughLink = false);

}  // namespace wztimestamps
