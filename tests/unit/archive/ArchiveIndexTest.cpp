#include <gtest/gtest.h>

#include <string>

#include "platform/archive/ArchiveIndex.h"
#include "tests/common/TestSupport.h"

namespace {

TEST(ArchiveIndex, PathsWithTabsLineFeedsAndBackslashesSurviveTheLine) {
    const std::string paths[] = {"/plain", "/a\tb", "/line\nfeed", "/back\\slash", "/\\t literal", "/ünï cødé"};
    for (const std::string& path : paths) {
        std::string line = fclarchive::formatIndexLine(123, "file", path);
        ASSERT_EQ(line.back(), '\n');
        line.pop_back();
        EXPECT_EQ(line.find('\n'), std::string::npos) << path;
        fclarchive::IndexEntry entry;
        ASSERT_TRUE(fclarchive::parseIndexLine(line, entry)) << path;
        EXPECT_EQ(entry.offset, 123u);
        EXPECT_EQ(entry.kind, "file");
        EXPECT_EQ(entry.path, path);
    }
    EXPECT_EQ(fclarchive::escapeIndexPath("a\tb\nc\\d"), "a\\tb\\nc\\\\d");
}

TEST(ArchiveIndex, MalformedLinesAreRefused) {
    const char* lines[] = {"",
                           "12",
                           "12\tfile",
                           "\tfile\t/p",
                           "12\t\t/p",
                           "x12\tfile\t/p",
                           "-1\tfile\t/p",
                           "99999999999999999999999\tfile\t/p",
                           "12\tfile\t/bad\\q",
                           "12\tfile\t/trailing\\"};
    for (const char* line : lines) {
        fclarchive::IndexEntry entry;
        EXPECT_FALSE(fclarchive::parseIndexLine(line, entry)) << line;
    }
}

TEST(ArchiveIndex, ReaderGoesEntryByEntryAndFlagsABrokenLine) {
    fcltest::ScratchDir dir("index");
    fcltest::writeFile(dir / "1.index", "0\tdir\t/r\n1352\tfile\t/r/a\\nb\nbroken\n5\tfile\t/r/c\n");
    fclarchive::IndexReader reader;
    ASSERT_TRUE(reader.open(dir / "1.index"));
    fclarchive::IndexEntry entry;
    ASSERT_TRUE(reader.next(entry));
    EXPECT_EQ(entry.path, "/r");
    ASSERT_TRUE(reader.next(entry));
    EXPECT_EQ(entry.offset, 1352u);
    EXPECT_EQ(entry.path, "/r/a\nb");
    EXPECT_FALSE(reader.next(entry));
    EXPECT_TRUE(reader.malformed());

    EXPECT_FALSE(reader.open(dir / "missing.index"));
}

}  // namespace
