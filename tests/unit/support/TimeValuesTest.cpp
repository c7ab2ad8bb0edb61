#include <gtest/gtest.h>

#include <string>

#include "protocol/TimeValues.h"

namespace {

struct IntervalCase {
    const char* name;
    CTimeInterval interval;
    long long milliseconds;
    double seconds;
    bool clear;
};

class IntervalCases : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(IntervalCases, ConvertWithTruncationTowardZero) {
    const IntervalCase& c = GetParam();
    EXPECT_EQ(c.interval.AsMilliseconds(), c.milliseconds);
    EXPECT_DOUBLE_EQ(c.interval.AsSeconds(), c.seconds);
    EXPECT_EQ(c.interval.IsClear(), c.clear);
}

INSTANTIATE_TEST_SUITE_P(
    Time, IntervalCases,
    ::testing::Values(IntervalCase{"threeSeconds", CTimeInterval::FromSeconds(3), 3000, 3.0, false},
                      IntervalCase{"minusOneSecond", CTimeInterval::FromSeconds(-1), -1000, -1.0, false},
                      IntervalCase{"fifteenThousandTicks", CTimeInterval(15000), 1, 0.0015, false},
                      IntervalCase{"minusFifteenThousandTicks", CTimeInterval(-15000), -1, -0.0015, false},
                      IntervalCase{"belowOneMillisecond", CTimeInterval(9999), 0, 0.0009999, false},
                      IntervalCase{"zero", CTimeInterval(0), 0, 0.0, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct StampCase {
    const char* name;
    long long unixTime;
    long long ticks;
};

class StampCases : public ::testing::TestWithParam<StampCase> {};

TEST_P(StampCases, UnixTimeCountsFrom1601AndZeroStaysClear) {
    const StampCase& c = GetParam();
    CTimeStamp stamp = CTimeStamp::FromUnixTime(c.unixTime);
    EXPECT_EQ(stamp.Ticks(), c.ticks);
    EXPECT_EQ(stamp.IsClear(), c.ticks == 0);
}

INSTANTIATE_TEST_SUITE_P(Time, StampCases,
                         ::testing::Values(StampCase{"zeroIsClear", 0, 0},
                                           StampCase{"oneSecond", 1, 116444736000000000LL + 10000000LL},
                                           StampCase{"beforeTheEpoch", -1, 116444736000000000LL - 10000000LL},
                                           StampCase{"y2k", 946684800, 125911584000000000LL}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TimeStamp, DefaultIsClear) {
    EXPECT_TRUE(CTimeStamp().IsClear());
    EXPECT_FALSE(CTimeStamp(1).IsClear());
}

}  // namespace
