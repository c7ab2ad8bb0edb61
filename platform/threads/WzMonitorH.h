#pragma once
// The thread library's monitor: a re-entrant lock with one condition that broadcast() signals.
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/support/FaultCounter.h"

class WzMonitorH : public wzfault::FailableAllocation<WzMonitorH> {
public:
    WzMonitorH() = default;
    virtual ~WzMonitorH() = default;
    WzMonitorH(const WzMonitorH&) = delete;
    WzMonitorH& operator=(const WzMonitorH&) = delete;

    // The holder may enter again; each enter needs its leave.
    void enter();
    // False (and nothing changes) when the calling thread does not hold the monitor.
    bool leave();
    // Gives up every level the caller holds, waits at most `timeout` milliseconds for a broadcast, then takes
    // the levels back. True when a broadcast woke it; false on time-out, or at once when the caller does not
    // hold the monitor.
    bool wait(unsigned long timeout);
    // Wakes every thread waiting in wait().
    void broadcast();

private:
    // Takes the monitor with `levels` levels; `lock` holds state_.
    void acquire(std::unique_lock<std::mutex>& lock, unsigned levels);

    std::mutex state_;
    std::condition_variable free_;      // the monitor was left by its holder
    std::condition_variable signaled_;  // broadcast() was called
    std::thread::id holder_;
    unsigned levels_ = 0;
    // Counts broadcasts, so that a waiter tells a real one from a spurious wake-up.
    unsigned long long broadcasts_ = 0;
};
