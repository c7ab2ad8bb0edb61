#pragma once
// The thread library's critical section: a lock that the thread holding it may enter again.
#include <pthread.h>

#include "platform/support/FaultCounter.h"

class WzCriticalSectionH : public wzfault::FailableAllocation<WzCriticalSectionH> {
public:
    WzCriticalSectionH();
    ~WzCriticalSectionH();
    WzCriticalSectionH(const WzCriticalSectionH&) = delete;
    WzCriticalSectionH& operator=(const WzCriticalSectionH&) = delete;

    // wait true blocks until the section is entered, false makes one attempt; true when entered.
    bool enter(bool wait);
    // 0, or EPERM when the calling thread does not hold the section (nothing changes then).
    int leave();

private:
    pthread_mutex_t mutex_;
};
