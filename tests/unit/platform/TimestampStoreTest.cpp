// The folder-time store: deepest folders first, the order of arrival within a depth, and its memory bound.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/timestamps/TimestampStore.h"

namespace {

using wztimestamps::kOwnTask;
using wztimestamps::QueuedFolder;
using wztimestamps::TimestampStore;

std::vector<std::string> visitOrder(const TimestampStore& store) {
    std::vector<std::string> order;
    store.forEachDeepestFirst([&](const QueuedFolder& folder) { order.push_back(folder.path); });
    return order;
}

TEST(TimestampStore, VisitsDeeperFoldersFirstAndKeepsArrivalOrderWithinADepth) {
    TimestampStore store;
    // As a stream brings them: every folder before what it holds.
    for (const char* path : {"/r", "/r/a", "/r/a/b", "/r//c/", "/r/a/b/d", "/r/c/e", "/s"}) {
        ASSERT_TRUE(store.add(path, "", 1, 2, kOwnTask));
    }
    EXPECT_EQ(visitOrder(store),
              (std::vector<std::string>{"/r/a/b/d", "/r/a/b", "/r/c/e", "/r/a", "/r//c/", "/r", "/s"}));
}

TEST(TimestampStore, AFolderQueuedTwiceIsVisitedWithItsLaterTimesLast) {
    TimestampStore store;
    ASSERT_TRUE(store.add("/d/x", "", 10, 11, kOwnTask));
    ASSERT_TRUE(store.add("/d/y", "", 20, 21, kOwnTask));
    ASSERT_TRUE(store.add("/d/x", "", 30, 31, kOwnTask));
    std::vector<long long> modified;
    store.forEachDeepestFirst([&](const QueuedFolder& folder) {
        if (std::string(folder.path) == "/d/x") {
            modified.push_back(folder.modifiedTicks);
        }
    });
    EXPECT_EQ(modified, (std::vector<long long>{11, 31}));
}

TEST(TimestampStore, KeepsEachFieldOfEachFolder) {
    TimestampStore store;
    ASSERT_TRUE(store.add("/mnt/share/dir", "//server/share/dir", 100, 200, 7));
    ASSERT_TRUE(store.add("/dest/plain", "", 0, 300, kOwnTask));
    std::vector<QueuedFolder> seen;
    std::vector<std::string> texts;
    store.forEachDeepestFirst([&](const QueuedFolder& folder) {
        seen.push_back(folder);
        texts.push_back(std::string(folder.path) + "|" + folder.reportingName);
    });
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(texts, (std::vector<std::string>{"/mnt/share/dir|//server/share/dir", "/dest/plain|"}));
    EXPECT_EQ(seen[0].accessTicks, 100);
    EXPECT_EQ(seen[0].modifiedTicks, 200);
    EXPECT_EQ(seen[0].taskId, 7);
    EXPECT_EQ(seen[1].accessTicks, 0);
    EXPECT_EQ(seen[1].taskId, kOwnTask);
    EXPECT_EQ(store.taskFolders(), 1u);
}

TEST(TimestampStore, RefusesFoldersPastItsLimitAndKeepsWhatItHas) {
    TimestampStore store(200);
    ASSERT_TRUE(store.add("/dest/first", "", 1, 1, kOwnTask));
    size_t accepted = 1;
    while (store.add("/dest/another-folder", "", 1, 1, kOwnTask)) {
        ++accepted;
    }
    EXPECT_EQ(store.size(), accepted);
    EXPECT_LE(store.bytesUsed(), 200u);
    EXPECT_EQ(visitOrder(store).front(), "/dest/first");
}

TEST(TimestampStore, HundredThousandFoldersStayWithinTenMegabytes) {
    TimestampStore store;
    char path[64];
    for (int i = 0; i < 100000; ++i) {
        snprintf(path, sizeof path, "/restore/dest/d%03d/folder%06d", i % 1000, i);
        ASSERT_TRUE(store.add(path, "", 1, 2, kOwnTask));
    }
    EXPECT_EQ(store.size(), 100000u);
    EXPECT_LT(store.bytesUsed(), size_t(10) << 20);
    store.clear();
    EXPECT_EQ(store.size(), 0u);
    EXPECT_EQ(store.bytesUsed(), 0u);
    EXPECT_TRUE(visitOrder(store).empty());
}

}  // namespace
