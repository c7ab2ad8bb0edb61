#pragma once
// When the oldest of some records that wait to be written began to wait, readable without the lock that guards the
// records, so that asking whether they have waited long enough costs no lock while they have not.
#include <atomic>
#include <chrono>

namespace wzsupport {

class WaitingSince {
public:
    using Clock = std::chrono::steady_clock;

    // The first record begins to wait at `at`.
    void begin(Clock::time_point at) { ticks_.store(at.time_since_epoch().count() + 1, std::memory_order_relaxed); }
    // No record waits any more.
    void end() { ticks_.store(0, std::memory_order_relaxed); }
    // Whether records wait and the oldest has waited at least `age` by `now`.
    bool olderThan(Clock::duration age, Clock::time_point now) const {
        const Clock::rep ticks = ticks_.load(std::memory_order_relaxed);
        return ticks != 0 && now.time_since_epoch().count() + 1 - ticks >= age.count();
    }

private:
    std::atomic<Clock::rep> ticks_{0};  // the first record's time plus one; 0 while none waits
};

}  // namespace wzsupport
