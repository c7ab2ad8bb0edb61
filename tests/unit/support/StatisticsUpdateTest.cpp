// When the next progress report is due: by percent, by bytes and by time.
#include <gtest/gtest.h>

#include <cstdint>

#include "clRestore/support/FsRestoreStatistics.h"

namespace {

// Statistics on a clock the test sets.
class ClockedStatistics : public FsRestoreStatistics {
public:
    explicit ClockedStatistics(unsigned long files) : FsRestoreStatistics(files) {}
    std::int64_t clock = 0;

protected:
    std::int64_t now() const override { return clock; }
};

TEST(StatisticsUpdate, ByFilesWhenPercentDoneMovedSinceTheLastUpdatePoint) {
    FsRestoreStatistics s(4);
    EXPECT_FALSE(s.timeToUpdateByFiles());
    s.fileSkipped();
    EXPECT_FALSE(s.timeToUpdateByFiles());
    s.fileSucceeded();
    EXPECT_TRUE(s.timeToUpdateByFiles());
    EXPECT_TRUE(s.timeToUpdateByFiles());  // the test alone does not move the update point
    s.updatePercentDone();
    EXPECT_FALSE(s.timeToUpdateByFiles());
}

TEST(StatisticsUpdate, ByBytesAfterMoreThan65535Bytes) {
    FsRestoreStatistics s(1);
    s.bytesSucceeded(65535);
    EXPECT_FALSE(s.timeToUpdateByBytes());
    s.bytesSkipped(1);
    EXPECT_TRUE(s.timeToUpdateByBytes());
    s.updateNumBytesDone();
    EXPECT_FALSE(s.timeToUpdateByBytes());
    s.bytesFailed(65536);
    EXPECT_TRUE(s.timeToUpdateByBytes());
}

TEST(StatisticsUpdate, ByTimeFirstCallIsDueAndArmsTheInterval) {
    ClockedStatistics s(1);
    s.clock = 1000000;
    EXPECT_TRUE(s.timeToUpdateByTime());
    s.clock += 299;
    EXPECT_FALSE(s.timeToUpdateByTime());
    s.clock += 1;
    EXPECT_TRUE(s.timeToUpdateByTime());
    EXPECT_FALSE(s.timeToUpdateByTime());
}

TEST(StatisticsUpdate, ByTimeWithTheIntervalGiven) {
    ClockedStatistics s(1);
    s.SetTimeIntervalToUpdate(10);
    s.clock = 50;
    EXPECT_TRUE(s.timeToUpdateByTime());
    s.clock = 59;
    EXPECT_FALSE(s.timeToUpdateByTime());
    s.clock = 60;
    EXPECT_TRUE(s.timeToUpdateByTime());
}

TEST(StatisticsUpdate, ByTimeIntervalOfZeroOrLessIsAlwaysDue) {
    for (int interval : {0, -5}) {
        ClockedStatistics s(1);
        s.SetTimeIntervalToUpdate(interval);
        s.clock = 7;
        EXPECT_TRUE(s.timeToUpdateByTime());
        EXPECT_TRUE(s.timeToUpdateByTime()) << interval;
    }
}

// Past 2038 the seconds no longer fit 31 bits; the first call is still due and the interval still counts.
TEST(StatisticsUpdate, ByTimeAfter2038) {
    ClockedStatistics s(1);
    s.clock = 0x80000010LL;
    EXPECT_TRUE(s.timeToUpdateByTime());
    s.clock += 299;
    EXPECT_FALSE(s.timeToUpdateByTime());
    s.clock = 0x100000000LL + 0x2C;
    EXPECT_TRUE(s.timeToUpdateByTime());
    s.clock += 299;
    EXPECT_FALSE(s.timeToUpdateByTime());
}

TEST(StatisticsUpdate, ByTimeOnTheRealClock) {
    FsRestoreStatistics s(1);
    EXPECT_TRUE(s.timeToUpdateByTime());
    EXPECT_FALSE(s.timeToUpdateByTime());
}

}  // namespace
