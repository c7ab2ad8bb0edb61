#include "platform/threads/WzSemaphoreH.h"

#include "platform/threads/Deadline.h"

WzSemaphoreH::WzSemaphoreH(int count) : count_(count) {}

bool WzSemaphoreH::wait(unsigned long ms) {
    wzthreads::Deadline deadline(ms);
    std::unique_lock<std::mutex> lock(mutex_);
    // steady_clock deadlines wait on CLOCK_MONOTONIC (pthread_cond_clockwait).
    if (!available_.wait_until(lock, deadline.at(), [this] { return count_ > 0; })) {
        return false;
    }
    --count_;
    return true;
}

void WzSemaphoreH::release(int n) {
    if (n <= 0) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        count_ += n;
    }
    if (n == 1) {
        available_.notify_one();
    } else {
        available_.notify_all();
    }
}
