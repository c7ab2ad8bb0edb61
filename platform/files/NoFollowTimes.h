#pragma once
// Times of an entry itself, never of what a final link names.
#include <time.h>

#include <string>

namespace wzfiles {

// Sets the access and modification times of `path` without following its final component: through its parent
// directory, opened by the file-call layer, with AT_SYMLINK_NOFOLLOW. A trailing '/' is dropped first, so that a
// directory's name reaches the directory itself. 0 or -1 with errno.
int setTimesNoFollow(std::string path, const timespec stamps[2]);

}  // namespace wzfiles
