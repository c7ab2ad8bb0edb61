#pragma once
// Durations and points in time, in 100-nanosecond ticks.

class CTimeInterval {
public:
    explicit CTimeInterval(long long ticks = 0) : ticks_(ticks) {}
    static CTimeInterval FromSeconds(long long s) { return CTimeInterval(s * 10000000LL); }
    static CTimeInterval FromMilliseconds(long long ms) { return CTimeInterval(ms * 10000LL); }
    bool IsClear() const { return ticks_ == 0; }
    // Truncates toward zero, so a negative interval gives a negative count.
    long long AsMilliseconds() const { return ticks_ / 10000LL; }
    double AsSeconds() const { return static_cast<double>(ticks_) / 10000000.0; }
    long long Ticks() const { return ticks_; }

private:
    long long ticks_;
};

// Ticks since 1601-01-01 00:00 UTC; 0 is the clear (unset) stamp.
class CTimeStamp {
public:
    static constexpr long long kUnixEpochTicks = 116444736000000000LL;
    CTimeStamp() : ticks_(0) {}
    explicit CTimeStamp(long long ticks) : ticks_(ticks) {}
    // 0 stays the clear stamp rather than meaning 1970-01-01.
    static CTimeStamp FromUnixTime(long long t) {
        return t == 0 ? CTimeStamp() : CTimeStamp(t * 10000000LL + kUnixEpochTicks);
    }
    bool IsClear() const { return ticks_ == 0; }
    long long Ticks() const { return ticks_; }

private:
    long long ticks_;
};
