#pragma once
// The end of a bounded wait, on the monotonic clock so that a change of the wall clock neither cuts a wait
// short nor stretches it.
#include <time.h>

#include <chrono>

namespace wzthreads {

class Deadline {
public:
    using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC

    // Waits of a century or more (callers pass 2^64 - 1000 ms to mean "no limit") are capped there: adding
    // them to the clock would overflow into the past and end the wait at once.
    static constexpr unsigned long kUnboundedMs = 100UL * 366 * 24 * 3600 * 1000;

    explicit Deadline(unsigned long ms)
        : unbounded_(ms >= kUnboundedMs),
          at_(Clock::now() + std::chrono::milliseconds(unbounded_ ? kUnboundedMs : ms)) {}

    bool unbounded() const { return unbounded_; }
    Clock::time_point at() const { return at_; }
    bool passed() const { return Clock::now() >= at_; }
    Clock::duration remaining() const {
        Clock::duration left = at_ - Clock::now();
        return left > Clock::duration::zero() ? left : Clock::duration::zero();
    }
    // The deadline as an absolute CLOCK_MONOTONIC time, for the pthread calls that take a clock.
    timespec asTimespec() const {
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(at_.time_since_epoch()).count();
        timespec ts;
        ts.tv_sec = static_cast<time_t>(ns / 1000000000);
        ts.tv_nsec = static_cast<long>(ns % 1000000000);
        return ts;
    }

private:
    bool unbounded_;
    Clock::time_point at_;
};

}  // namespace wzthreads
