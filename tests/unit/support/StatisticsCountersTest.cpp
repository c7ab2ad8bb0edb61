// The restore statistics: outcomes, byte counters and percent done.
#include <gtest/gtest.h>

#include <cstdint>

#include "clRestore/support/FsRestoreStatistics.h"

namespace {

TEST(StatisticsCounters, FreshStatisticsCountNothing) {
    FsRestoreStatistics s(12);
    EXPECT_EQ(s.getNumFilesToRestore(), 12u);
    EXPECT_EQ(s.getCurrFileNum(), 0u);
    EXPECT_EQ(s.getNumFiles(), 0u);
    EXPECT_EQ(s.getNumBytes(), 0u);
    EXPECT_EQ(s.getNumBytesSkipped(), 0u);
    EXPECT_EQ(s.getObjectsProcessed(), 0u);
    EXPECT_EQ(s.getPercentDone(), 0u);
}

TEST(StatisticsCounters, OutcomesBookTheCurrentFileAndClearIt) {
    FsRestoreStatistics s(10);
    s.setCurrFileSize(100);
    s.setCurrFileCompSize(40);
    s.fileSucceeded();
    s.setCurrFileSize(7);
    s.setCurrFileCompSize(3);
    s.fileFailed();
    s.setCurrFileSize(5);
    s.setCurrFileCompSize(10);
    s.fileSkipped();

    EXPECT_EQ(s.getNumFilesSucceeded(), 1u);
    EXPECT_EQ(s.getNumFilesFailed(), 1u);
    EXPECT_EQ(s.getNumFilesSkipped(), 1u);
    EXPECT_EQ(s.getNumFiles(), 3u);
    EXPECT_EQ(s.getCurrFileNum(), 3u);
    EXPECT_EQ(s.getNumBytesSucceeded(), 100u);
    EXPECT_EQ(s.getNumBytesFailed(), 7u);
    EXPECT_EQ(s.getNumBytesSkipped(), 5u);
    EXPECT_EQ(s.getNumBytes(), 112u);
    // Only a restored file keeps its compressed size.
    EXPECT_EQ(s.getNumCompBytesSucceeded(), 40u);
    EXPECT_EQ(s.getCurrFileSize(), 0u);
    EXPECT_EQ(s.getCurrFileCompSize(), 0u);
}

TEST(StatisticsCounters, ByteAddersCountIntoTheirTotals) {
    FsRestoreStatistics s(1);
    s.bytesSucceeded(10);
    s.bytesFailed(20);
    s.bytesSkipped(30);
    s.bytesCompressedSucceeded(4);
    s.ObjectProcessed();
    s.ObjectProcessed();
    EXPECT_EQ(s.getNumBytesSucceeded(), 10u);
    EXPECT_EQ(s.getNumBytesFailed(), 20u);
    EXPECT_EQ(s.getNumBytesSkipped(), 30u);
    EXPECT_EQ(s.getNumBytes(), 60u);
    EXPECT_EQ(s.getNumCompBytesSucceeded(), 4u);
    EXPECT_EQ(s.getObjectsProcessed(), 2u);
    EXPECT_EQ(s.getNumFiles(), 0u);
}

TEST(StatisticsCounters, SetFilesSucceededSetsThatCountAlone) {
    FsRestoreStatistics s(4);
    s.setFilesSucceeded(4);
    EXPECT_EQ(s.getNumFilesSucceeded(), 4u);
    EXPECT_EQ(s.getNumFiles(), 0u);
    EXPECT_EQ(s.getCurrFileNum(), 0u);
    EXPECT_EQ(s.getPercentDone(), 100u);
}

struct PercentCase {
    unsigned long announced;
    std::uint64_t succeeded;
    std::uint64_t failed;
    std::uint64_t skipped;
    unsigned int percent;
};

TEST(StatisticsCounters, PercentDoneCountsSucceededAndFailedRoundedDown) {
    const PercentCase cases[] = {
        {0, 0, 0, 0, 100}, {0, 5, 1, 0, 100}, {2, 3, 0, 0, 150}, {4, 1, 0, 1, 25},
        {3, 1, 1, 0, 66},  {3, 2, 0, 0, 66},  {7, 7, 0, 0, 100}, {1000, 0, 0, 999, 0},
    };
    for (const PercentCase& c : cases) {
        FsRestoreStatistics s(c.announced);
        for (std::uint64_t i = 0; i < c.succeeded; ++i) {
            s.fileSucceeded();
        }
        for (std::uint64_t i = 0; i < c.failed; ++i) {
            s.fileFailed();
        }
        for (std::uint64_t i = 0; i < c.skipped; ++i) {
            s.fileSkipped();
        }
        EXPECT_EQ(s.getPercentDone(), c.percent)
            << c.succeeded << "+" << c.failed << " of " << c.announced << " (" << c.skipped << " skipped)";
    }
}

// Counts near the top of 64 bits: the sum of succeeded and failed, times 100, needs more than 64 bits, and the
// percent itself more than 32.
TEST(StatisticsCounters, PercentDoneOfHugeCountsIsExactOrSaturates) {
    const unsigned long big = UINT64_MAX;
    FsRestoreStatistics exact(big);
    exact.setFilesSucceeded(big / 2);
    EXPECT_EQ(exact.getPercentDone(), 49u);  // 100 * (2^63 - 1) / (2^64 - 1) is just below 50
    exact.setFilesSucceeded(big);
    EXPECT_EQ(exact.getPercentDone(), 100u);

    FsRestoreStatistics over(3);
    over.setFilesSucceeded(UINT64_MAX);
    EXPECT_EQ(over.getPercentDone(), UINT32_MAX);

    FsRestoreStatistics justBelow(100);
    justBelow.setFilesSucceeded(UINT32_MAX);
    EXPECT_EQ(justBelow.getPercentDone(), UINT32_MAX);
    justBelow.setFilesSucceeded(static_cast<unsigned long>(UINT32_MAX) - 1);
    EXPECT_EQ(justBelow.getPercentDone(), UINT32_MAX - 1);
}

TEST(StatisticsCounters, SecondSwitchKeepsTheLockAndCountingGoesOn) {
    FsRestoreStatistics s(2);
    EXPECT_TRUE(s.switchMultiThreadModeOn());
    EXPECT_TRUE(s.switchMultiThreadModeOn());
    s.setCurrFileSize(9);
    s.fileSucceeded();
    EXPECT_TRUE(s.timeToUpdateByFiles());
    EXPECT_EQ(s.getNumBytes(), 9u);
    EXPECT_EQ(s.getPercentDone(), 50u);
}

}  // namespace
