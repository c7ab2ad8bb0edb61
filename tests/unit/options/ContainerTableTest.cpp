// The container-file table of extent-based restores, through the companion's wrappers: what each answer is, and
// that its counts stay exact when several threads account extents at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "protocol/CXFileHeader.h"
#include "tests/unit/options/CompanionFixture.h"

namespace {

using fcltest::CompanionTest;

// A container of `total` extents going to `mapped`.
CContainerConfig container(const std::string& path, unsigned long long total, const std::string& mapped = "/dest/c") {
    return CContainerConfig(path, mapped, 11, 22, 33, 4096, total, total * 4096);
}

std::string extent(const std::string& container, int n) {
    return container + "/Extent" + std::to_string(n);
}

class ContainerTable : public CompanionTest {};

TEST_F(ContainerTable, ExtentsAreCountedAgainstTheirContainerAndOneFailureStopsTheRest) {
    FclRestoreUNIX& unix = makeCompanion();
    const std::string c = "/data/big.img";
    // No record: no extent of it is worth restoring, and that is no error.
    capture_->clear();
    EXPECT_FALSE(unix.ShouldRestoreCurrFileExtent(extent(c, 0)));
    EXPECT_FALSE(logged("checking if extent"));

    ASSERT_FALSE(unix.AddContainerItem(container(c, 0)).IsError());
    // Index metadata reaches the container through an extent's path as well as through its own, trailing "/" or not.
    ASSERT_FALSE(unix.UpdateContainerItemWithIdxMeta(c + "/", 4, 4096).IsError());
    EXPECT_TRUE(unix.ShouldRestoreCurrFileExtent(extent(c, 1)));

    for (int n = 1; n <= 3; ++n) {
        EXPECT_TRUE(unix.HandleRestoreExtentUpdate(extent(c, n), 0));
    }
    capture_->clear();
    EXPECT_FALSE(unix.AreAllExtentsRestoredForContainerFile(c));
    EXPECT_TRUE(logged("ExtentRestore: Total(4) processed(3) AnyExtentFailure(NO) rc(0)"));

    unsigned long long processed = 0;
    bool anyFailed = true;
    EXPECT_TRUE(unix.GetProcessedExtentsForExtentPath(extent(c, 4), processed, anyFailed));
    EXPECT_EQ(processed, 3u);
    EXPECT_FALSE(anyFailed);
    unsigned long long size = 0;
    EXPECT_TRUE(unix.GetContainerFileSizeForExtentPath(extent(c, 4), size));
    EXPECT_EQ(size, 0u);  // the record was made with no extents, so no size

    // The fourth extent fails: the container is complete in count but not restored, and no further extent is.
    EXPECT_TRUE(unix.HandleRestoreExtentUpdate(extent(c, 4), 0x17000012));
    EXPECT_FALSE(unix.ShouldRestoreCurrFileExtent(extent(c, 5)));
    capture_->clear();
    EXPECT_FALSE(unix.AreAllExtentsRestoredForContainerFile(c));
    EXPECT_TRUE(logged("ExtentRestore: Total(4) processed(4) AnyExtentFailure(YES) rc(385875986)"));

    // A new record for the same path starts it afresh.
    ASSERT_FALSE(unix.AddContainerItem(container(c, 0)).IsError());
    EXPECT_TRUE(unix.ShouldRestoreCurrFileExtent(extent(c, 1)));
    EXPECT_TRUE(unix.AreAllExtentsRestoredForContainerFile(c));  // 0 of 0, nothing failed

    ASSERT_FALSE(unix.RemoveContainerFileEntry(c).IsError());
    EXPECT_FALSE(unix.HandleRestoreExtentUpdate(extent(c, 1), 0));
    EXPECT_TRUE(unix.RemoveContainerFileEntry(c).IsError());
}

TEST_F(ContainerTable, ContainerResultsMappedPathsAndHeaderRecords) {
    FclRestoreUNIX& unix = makeCompanion();
    // A container without a record takes its result without complaint; one with a record keeps a failure.
    EXPECT_TRUE(unix.HandleRestoreContainerUpdate("/nowhere", 0x17000012));
    ASSERT_FALSE(unix.AddContainerItem(container("/c", 2)).IsError());
    EXPECT_TRUE(unix.HandleRestoreContainerUpdate("/c", 0));
    EXPECT_TRUE(unix.ShouldRestoreCurrFileExtent(extent("/c", 1)));
    EXPECT_TRUE(unix.HandleRestoreContainerUpdate("/c", 0x17000012));
    EXPECT_FALSE(unix.ShouldRestoreCurrFileExtent(extent("/c", 1)));

    std::string mapped;
    EXPECT_TRUE(unix.GetMappedPathForHdrPath("/c", mapped));
    EXPECT_EQ(mapped, "/dest/c");
    ASSERT_FALSE(unix.AddContainerItem(container("/unmapped", 1, "")).IsError());
    capture_->clear();
    EXPECT_FALSE(unix.GetMappedPathForHdrPath("/unmapped", mapped));
    EXPECT_TRUE(logged("fetching mapped path for file=/unmapped"));
    EXPECT_FALSE(unix.GetMappedPathForHdrPath("/missing", mapped));

    // From a header: its name (read no further than its field), low 32 bits of the times, its size.
    CXFileHeader header;
    std::memset(header.h_filename, 'n', sizeof header.h_filename);
    header.h_ctime = 0x100000005ULL;
    header.h_atime = 6;
    header.h_mtime = 0x200000007ULL;
    header.h_size = 123456;
    ASSERT_FALSE(unix.AddContainerItem(&header, "/dest/n").IsError());
    CContainerConfig record;
    const std::string name(sizeof header.h_filename, 'n');
    ASSERT_FALSE(unix.GetFileExtentContainerConfigs()->Query(name, record).IsError());
    EXPECT_EQ(record.m_ctime, 5u);
    EXPECT_EQ(record.GetATime(), 6u);
    EXPECT_EQ(record.GetMTime(), 7u);
    EXPECT_EQ(record.GetFileSize(), 123456u);
    EXPECT_EQ(record.m_totalExtents, 0u);
}

TEST_F(ContainerTable, ConcurrentExtentUpdatesAreEachCountedOnce) {
    FclRestoreUNIX& unix = makeCompanion();
    constexpr int kContainers = 8;
    constexpr int kThreads = 6;
    constexpr int kExtentsPerThread = 200;
    constexpr unsigned long long kTotal = kThreads * kExtentsPerThread;
    auto name = [](int c) { return "/vol/container" + std::to_string(c); };
    for (int c = 0; c < kContainers; ++c) {
        ASSERT_FALSE(unix.AddContainerItem(container(name(c), kTotal)).IsError());
    }
    // Every thread accounts its extents of every container; in container 3 one of them fails. Meanwhile a churn
    // thread adds and removes records of other containers and the readers keep asking.
    std::atomic<bool> stop{false};
    std::atomic<int> wrongAnswers{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kExtentsPerThread; ++i) {
                const int n = t * kExtentsPerThread + i;
                for (int c = 0; c < kContainers; ++c) {
                    const int rc = c == 3 && n == 777 ? 0x17000012 : 0;
                    if (!unix.HandleRestoreExtentUpdate(extent(name(c), n), rc)) {
                        ++wrongAnswers;
                    }
                }
                unix.UpdateTotalProcExtents(1);
            }
        });
    }
    threads.emplace_back([&] {
        for (int i = 0; !stop.load(); ++i) {
            const std::string other = "/other/" + std::to_string(i % 16);
            unix.AddContainerItem(container(other, 1));
            unix.RemoveContainerFileEntry(other);
            unsigned long long processed = 0;
            bool anyFailed = false;
            if (!unix.GetProcessedExtentsForExtentPath(extent(name(0), 1), processed, anyFailed) ||
                processed > kTotal || anyFailed) {
                ++wrongAnswers;
            }
        }
    });
    for (int t = 0; t < kThreads; ++t) {
        threads[t].join();
    }
    stop = true;
    threads.back().join();

    EXPECT_EQ(wrongAnswers.load(), 0);
    EXPECT_EQ(unix.GetTotalProcExtents(), kTotal);
    for (int c = 0; c < kContainers; ++c) {
        SCOPED_TRACE(name(c));
        unsigned long long processed = 0;
        bool anyFailed = false;
        ASSERT_TRUE(unix.GetProcessedExtentsForExtentPath(extent(name(c), 0), processed, anyFailed));
        EXPECT_EQ(processed, kTotal);
        EXPECT_EQ(anyFailed, c == 3);
        EXPECT_EQ(unix.AreAllExtentsRestoredForContainerFile(name(c)), c != 3);
        EXPECT_EQ(unix.ShouldRestoreCurrFileExtent(extent(name(c), 0)), c != 3);
    }
}

}  // namespace
