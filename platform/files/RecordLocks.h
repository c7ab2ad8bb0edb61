#pragma once
// Record locks as the kernel lists them (/proc/locks): what a lock test on a file would tell, without opening it.
#include <sys/stat.h>

namespace wzfiles {

// Whether the file `st` describes is under a record lock that a lock test of this process would meet: a POSIX lock
// of another process or any open file description's lock. Locks of flock(2) are not record locks. False when the
// list cannot be read.
bool recordLockHeldElsewhere(const struct stat& st);

}  // namespace wzfiles
