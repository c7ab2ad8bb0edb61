// Statistics shared by two threads once multi-thread mode is on: no update is lost, and the totals agree.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "clRestore/support/FsRestoreStatistics.h"

namespace {

const unsigned kRounds = 200000;

TEST(StatisticsConcurrency, TwoUpdatingThreadsLoseNothing) {
    FsRestoreStatistics s(2 * kRounds);
    ASSERT_TRUE(s.switchMultiThreadModeOn());
    std::atomic<bool> go(false);
    std::atomic<bool> done(false);
    auto reader = [&] {
        while (!go) {
        }
        unsigned long long last = 0;
        while (!done) {
            // Readers take no lock; what they see only grows.
            unsigned long long bytes = s.getNumBytes();
            EXPECT_GE(bytes, last);
            last = bytes;
            EXPECT_LE(s.getPercentDone(), 100u);
        }
    };
    auto restored = [&] {
        while (!go) {
        }
        for (unsigned i = 0; i < kRounds; ++i) {
            s.fileSucceeded();
            s.bytesSucceeded(3);
            s.bytesCompressedSucceeded(1);
            s.ObjectProcessed();
            s.timeToUpdateByBytes();
        }
    };
    auto skipped = [&] {
        while (!go) {
        }
        for (unsigned i = 0; i < kRounds; ++i) {
            s.fileSkipped();
            s.bytesSkipped(5);
            s.fileFailed();
            s.bytesFailed(7);
            s.timeToUpdateByFiles();
        }
    };
    std::thread r(reader);
    std::thread a(restored);
    std::thread b(skipped);
    go = true;
    a.join();
    b.join();
    done = true;
    r.join();

    EXPECT_EQ(s.getNumFilesSucceeded(), kRounds);
    EXPECT_EQ(s.getNumFilesSkipped(), kRounds);
    EXPECT_EQ(s.getNumFilesFailed(), kRounds);
    EXPECT_EQ(s.getNumFiles(), 3ull * kRounds);
    EXPECT_EQ(s.getCurrFileNum(), 3ull * kRounds);
    EXPECT_EQ(s.getNumBytesSucceeded(), 3ull * kRounds);
    EXPECT_EQ(s.getNumBytesSkipped(), 5ull * kRounds);
    EXPECT_EQ(s.getNumBytesFailed(), 7ull * kRounds);
    EXPECT_EQ(s.getNumBytes(), 15ull * kRounds);
    EXPECT_EQ(s.getNumCompBytesSucceeded(), 1ull * kRounds);
    EXPECT_EQ(s.getObjectsProcessed(), 1ull * kRounds);
    EXPECT_EQ(s.getPercentDone(), 100u);
}

// Each outcome books the current file's size as one step: two threads each setting a size and booking it see every
// byte counted exactly once in the total.
TEST(StatisticsConcurrency, OutcomesBookEachSizeAtMostOnce) {
    FsRestoreStatistics s(0);
    ASSERT_TRUE(s.switchMultiThreadModeOn());
    auto worker = [&](bool succeed) {
        for (unsigned i = 0; i < kRounds / 4; ++i) {
            s.setCurrFileSize(1);
            if (succeed) {
                s.fileSucceeded();
            } else {
                s.fileFailed();
            }
        }
    };
    std::thread a(worker, true);
    std::thread b(worker, false);
    a.join();
    b.join();
    EXPECT_EQ(s.getNumFiles(), kRounds / 2);
    EXPECT_LE(s.getNumBytes(), kRounds / 2);
    EXPECT_EQ(s.getNumBytes(), s.getNumBytesSucceeded() + s.getNumBytesFailed());
}

}  // namespace
