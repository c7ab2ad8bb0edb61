#include "platform/threads/WzMonitorH.h"

#include "platform/threads/Deadline.h"

void WzMonitorH::acquire(std::unique_lock<std::mutex>& lock, unsigned levels) {
    free_.wait(lock, [this] { return levels_ == 0; });
    holder_ = std::this_thread::get_id();
    levels_ = levels;
}

void WzMonitorH::enter() {
    std::unique_lock<std::mutex> lock(state_);
    if (levels_ != 0 && holder_ == std::this_thread::get_id()) {
        ++levels_;
        return;
    }
    acquire(lock, 1);
}

bool WzMonitorH::leave() {
    std::unique_lock<std::mutex> lock(state_);
    if (levels_ == 0 || holder_ != std::this_thread::get_id()) {
        return false;
    }
    if (--levels_ == 0) {
        holder_ = std::thread::id();
        lock.unlock();
        free_.notify_one();
    }
    return true;
}

bool WzMonitorH::wait(unsigned long timeout) {
    wzthreads::Deadline deadline(timeout);
    std::unique_lock<std::mutex> lock(state_);
    if (levels_ == 0 || holder_ != std::this_thread::get_id()) {
        return false;
    }
    const unsigned held = levels_;
    const unsigned long long seen = broadcasts_;
    levels_ = 0;
    holder_ = std::thread::id();
    free_.notify_one();
    bool woken = signaled_.wait_until(lock, deadline.at(), [&] { return broadcasts_ != seen; });
    acquire(lock, held);
    return woken;
}

void WzMonitorH::broadcast() {
    {
        std::lock_guard<std::mutex> lock(state_);
        ++broadcasts_;
    }
    signaled_.notify_all();
}
