#include "platform/threads/WzNamedMutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/threads/Deadline.h"
#include "platform/threads/ErrorText.h"

namespace {

std::string lockFileName(const std::string& name) {
    std::string file = name;
    for (char& c : file) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                     c == '_' || c == '-';
        if (!plain) {
            c = '_';
        }
    }
    if (file[0] == '.') {
        file[0] = '_';  // no "." or ".." and no hidden file
    }
    return file + ".lock";
}

std::atomic<unsigned long>& faultedWaitMs() {
    static std::atomic<unsigned long> wait{0};
    return wait;
}

}  // namespace

WzNamedMutex::WzNamedMutex(const char* name, const char* directory) {
    if (name != nullptr && *name != '\0' && directory != nullptr && *directory != '\0') {
        path_ = std::string(directory) + "/" + lockFileName(name);
    }
}

WzNamedMutex::~WzNamedMutex() {
    if (fd_ >= 0) {
        close(fd_);  // also releases the lock
    }
}

bool WzNamedMutex::fail(const char* operation, int error) {
    lastErrno_ = error;
    lastError_ = wzthreads::errorText(operation, error) + " [" + path_ + "]";
    return false;
}

bool WzNamedMutex::openLockFile() {
    if (fd_ >= 0) {
        return true;
    }
    if (path_.empty()) {
        return fail("WzNamedMutex needs a name and a directory", EINVAL);
    }
    // Read-only is enough for flock, so a lock file made by one user can still be locked by another.
    // O_NOFOLLOW: a link planted in the directory cannot make us create or open a file elsewhere.
    int fd = open(path_.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        return fail("open", errno);
    }
    fd_ = fd;
    return true;
}

bool WzNamedMutex::lock(unsigned long timeoutMs) {
    if (held_) {
        return true;
    }
    if (!openLockFile()) {
        return false;
    }
    const bool faulted = timeoutMs != 0 && timeOutFaults().take();
    if (faulted) {
        faultedWaitMs().store(timeoutMs);
    }
    wzthreads::Deadline deadline(faulted ? 0 : timeoutMs);
    // flock has no time-out: without a limit it blocks, otherwise it polls, the pause growing to 50 ms.
    const int how = deadline.unbounded() ? LOCK_EX : LOCK_EX | LOCK_NB;
    std::chrono::milliseconds pause(1);
    for (;;) {
        if (flock(fd_, how) == 0) {
            held_ = true;
            lastErrno_ = 0;
            lastError_.clear();
            return true;
        }
        int error = errno;
        if (error == EINTR) {
            continue;
        }
        if (error != EWOULDBLOCK) {
            return fail("flock", error);
        }
        if (deadline.passed()) {
            return fail("lock timed out", ETIMEDOUT);
        }
        std::this_thread::sleep_for(std::min<wzthreads::Deadline::Clock::duration>(pause, deadline.remaining()));
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

wzfault::FaultCounter& WzNamedMutex::timeOutFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

unsigned long WzNamedMutex::lastFaultedWaitMs() {
    return faultedWaitMs().load();
}

bool WzNamedMutex::unlock() {
    if (!held_) {
        return false;
    }
    if (flock(fd_, LOCK_UN) != 0) {
        return fail("unlock", errno);
    }
    held_ = false;
    return true;
}
