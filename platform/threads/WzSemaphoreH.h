#pragma once
// The thread library's counting semaphore.
#include <condition_variable>
#include <mutex>

#include "platform/support/FaultCounter.h"

class WzSemaphoreH : public wzfault::FailableAllocation<WzSemaphoreH> {
public:
    // A negative count needs that many releases before a wait can succeed.
    explicit WzSemaphoreH(int count);
    WzSemaphoreH(const WzSemaphoreH&) = delete;
    WzSemaphoreH& operator=(const WzSemaphoreH&) = delete;

    // Waits at most `ms` milliseconds for a unit: true when one was taken, false on time-out. 0 tries once.
    bool wait(unsigned long ms);
    // Adds `n` units; n <= 0 does nothing.
    void release(int n);

private:
    std::mutex mutex_;
    std::condition_variable available_;
    long long count_;
};
