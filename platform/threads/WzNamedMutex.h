#pragma once
// A lock shared by every process of the machine that uses the same name and directory: an exclusive
// flock on the lock file "<directory>/<name>.lock". The kernel drops it when its holder exits, so a
// crashed holder never leaves it taken.
#include <string>

#include "platform/support/FaultCounter.h"

class WzNamedMutex : public wzfault::FailableAllocation<WzNamedMutex> {
public:
    // lock() waits without limit when given this (or any wait of a century or more).
    static const unsigned long kNoTimeOut = ~0UL;

    // The directory must exist. Characters of `name` other than letters, digits, '.', '_' and '-' (and a
    // leading '.') become '_', so the lock file stays inside `directory` whatever the name holds.
    WzNamedMutex(const char* name, const char* directory);
    // Releases the lock when held.
    ~WzNamedMutex();
    WzNamedMutex(const WzNamedMutex&) = delete;
    WzNamedMutex& operator=(const WzNamedMutex&) = delete;

    // True when taken within `timeoutMs` milliseconds (or already held through this object); false on
    // time-out or failure, told apart by getLastErrno() (ETIMEDOUT on time-out).
    bool lock(unsigned long timeoutMs = kNoTimeOut);
    // One attempt that does not wait.
    bool tryLock() { return lock(0); }
    // True when this object held the lock and gave it back.
    bool unlock();

    bool isLocked() const { return held_; }
    const std::string& getPath() const { return path_; }
    int getLastErrno() const { return lastErrno_; }
    // Test hook: armed, a lock() with a wait makes one attempt and, when the lock is taken by another holder, times out
    // at once instead of waiting, as a long wait that ran out would.
    static wzfault::FaultCounter& timeOutFaults();
    // The wait, in milliseconds, that the last lock() cut short by timeOutFaults() was given.
    static unsigned long lastFaultedWaitMs();
    // The text of the last failure, or null when nothing failed.
    const char* getLastError() const { return lastError_.empty() ? nullptr : lastError_.c_str(); }

private:
    bool openLockFile();
    bool fail(const char* operation, int error);

    std::string path_;
    int fd_ = -1;  // the lock file, kept open while this object lives
    bool held_ = false;
    int lastErrno_ = 0;
    std::string lastError_;
};
