#pragma once
// A regular file held under a POSIX record lock by a child process for as long as the object lives. A lock of the
// test's own process would not count as held by another, and any open and close of the file in this process would
// drop it.
#include <sys/types.h>

#include <string>

namespace fcltest {

class LockedByChild {
public:
    explicit LockedByChild(const std::string& path);
    ~LockedByChild();
    LockedByChild(const LockedByChild&) = delete;
    LockedByChild& operator=(const LockedByChild&) = delete;

private:
    pid_t pid_ = -1;
    int release_ = -1;
};

}  // namespace fcltest
