#include "tests/common/LockedByChild.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace fcltest {

LockedByChild::LockedByChild(const std::string& path) {
    int ready[2];
    int release[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe";
        return;
    }
    if (pipe2(release, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe";
        close(ready[0]);
        close(ready[1]);
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        // Only async-signal-safe calls here: the test process may have threads.
        close(ready[0]);
        close(release[1]);
        const int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW);
        char ok = fd >= 0 && lockf(fd, F_LOCK, 0) == 0 ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        char none;
        while (read(release[0], &none, 1) > 0) {
        }
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    release_ = release[1];
    char ok = 'n';
    EXPECT_EQ(read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y') << "the child could not lock " << path;
    close(ready[0]);
}

LockedByChild::~LockedByChild() {
    if (release_ >= 0) {
        close(release_);
    }
    if (pid_ > 0) {
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

}  // namespace fcltest
