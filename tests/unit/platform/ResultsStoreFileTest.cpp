// The results store's file: where it lies, what one call writes, and what a store that is not open answers.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>

#include "platform/events/MessageCatalogue.h"
#include "platform/results/StoreResults.h"
#include "tests/unit/platform/PlatformFixture.h"

namespace fcltest {
namespace {

class ResultsStoreFileTest : public PlatformFixture {};

TEST_F(ResultsStoreFileTest, EachCallIsOneLineInTheJobsDirectory) {
    StoreResults store(7, 4711, true, nullptr);
    EXPECT_EQ(store.getDirectory(), scratch_ / "results/7/4711/");
    ASSERT_EQ(store.openFile(StoreResults::kRestoreResults, true, false), 0);
    EXPECT_EQ(store.putLine("Begin", true), 0);
    EXPECT_EQ(store.setRestoreStatusOnObject("/a\rb\nc ", 3, false), 0);
    // A tab or another control byte in a name must not pass for the status's separator or break the line.
    EXPECT_EQ(store.setRestoreStatusOnObject("/t\tab\x01\x7f\x1b[2J", 5, false), 0);
    EXPECT_EQ(store.closeFile(), 0);
    EXPECT_EQ(readFile(scratch_ / "results/7/4711/restore.results"),
              "Begin\n/a<CR>b<LF>c \t3\n/t<TAB>ab<x01><x7f><x1b>[2J\t5\n");
}

// A later run of the same job adds to what the first left.
TEST_F(ResultsStoreFileTest, ReopeningAppends) {
    for (const char* line : {"first run", "second run"}) {
        StoreResults store(7, 4711, true, nullptr);
        ASSERT_EQ(store.openFile(StoreResults::kRestoreResults, true, false), 0);
        EXPECT_EQ(store.putLine(line, true), 0);
    }
    EXPECT_EQ(readFile(scratch_ / "results/7/4711/restore.results"), "first run\nsecond run\n");
}

// Item lines wait to go out together: until a flush, a putLine line or the close, until enough gathered, or until the
// oldest is old enough. Whatever reaches the file is whole lines in their order.
TEST_F(ResultsStoreFileTest, ItemLinesGoOutTogetherInTheirOrder) {
    StoreResults store(7, 4711, true, nullptr);
    ASSERT_EQ(store.openFile(StoreResults::kRestoreResults, true, false), 0);
    const std::string file = store.filePath();
    EXPECT_EQ(store.setRestoreStatusOnObject("/a", 5, false), 0);
    EXPECT_EQ(store.flushIfStale(), 0);
    EXPECT_EQ(readFile(file), "");
    EXPECT_EQ(store.putLine("Begin", true), 0);
    EXPECT_EQ(readFile(file), "/a\t5\nBegin\n");

    EXPECT_EQ(store.setRestoreStatusOnObject("/b", 3, false), 0);
    std::this_thread::sleep_for(StoreResults::kPendingAge + std::chrono::milliseconds(5));
    EXPECT_EQ(store.flushIfStale(), 0);
    EXPECT_EQ(readFile(file), "/a\t5\nBegin\n/b\t3\n");

    EXPECT_EQ(store.setRestoreStatusOnObject("/c", 5, false), 0);
    EXPECT_EQ(store.flushPending(), 0);
    EXPECT_EQ(readFile(file), "/a\t5\nBegin\n/b\t3\n/c\t5\n");

    const std::string name(1000, 'n');
    const std::string before = readFile(file);
    std::string expected = before;
    size_t added = 0;
    while (readFile(file) == before) {
        ASSERT_LT(added, 2 * StoreResults::kPendingBytes) << "the lines never went out";
        ASSERT_EQ(store.setRestoreStatusOnObject(name.c_str(), 5, false), 0);
        expected += name + "\t5\n";
        added += name.size() + 3;
    }
    EXPECT_EQ(readFile(file), expected);

    EXPECT_EQ(store.setRestoreStatusOnObject("/last", 5, false), 0);
    EXPECT_EQ(store.closeFile(), 0);
    EXPECT_EQ(readFile(file), expected + "/last\t5\n");
}

TEST_F(ResultsStoreFileTest, ClosedStoreRefusesLines) {
    StoreResults store(7, 4711, true, nullptr);
    EXPECT_EQ(store.putLine("nothing open", true), EBADF);
    EXPECT_EQ(store.closeFile(), EBADF);
    EXPECT_EQ(store.openFile(1, true, false), EINVAL);
    std::string path;
    EXPECT_EQ(store.openRaw(1, path), EINVAL);
    ASSERT_EQ(store.openRaw(StoreResults::kRestoreResults, path), 0);
    EXPECT_EQ(path, scratch_ / "results/7/4711/restore.out");
}

TEST_F(ResultsStoreFileTest, InjectedFailuresAreAnswered) {
    StoreResults store(7, 4711, true, nullptr);
    StoreResults::openFaults().failNext(1, EROFS);
    EXPECT_EQ(store.openFile(StoreResults::kRestoreResults, true, false), EROFS);
    ASSERT_EQ(store.openFile(StoreResults::kRestoreResults, true, false), 0);
    StoreResults::writeFaults().failNext(1);
    EXPECT_EQ(store.putLine("lost", false), EIO);
    EXPECT_EQ(store.putLine("kept", false), 0);
    EXPECT_EQ(readFile(store.filePath()), "kept\n");
}

TEST(MessageCatalogue, TextsAreFixedAndCutToTheLimit) {
    EXPECT_EQ(wzplatform::catalogueText(0x17000040), wzplatform::catalogueText(0x17000040));
    EXPECT_NE(wzplatform::catalogueText(0x17000040), wzplatform::catalogueText(0x1700003e));
    EXPECT_EQ(wzplatform::catalogueText(0x12345678), "Message 0x12345678");
    EvEvent event;
    char buffer[8];
    EXPECT_EQ(event.evPrintf(buffer, 7, 0x12345678), 7);
    EXPECT_STREQ(buffer, "Message");
}

}  // namespace
}  // namespace fcltest
