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

TEST(ArchiveIndex, ParsesTheThreeFieldsAndTheEscapes) {
    const struct {
        const char* line;
        bool ok;
        uint64_t offset;
        const char* kind;
        const char* path;
    } cases[] = {
        {"0\tdir\t/src", true, 0, "dir", "/src"},
        {"18446744073709551615\tfile\t/a b", true, 18446744073709551615ull, "file", "/a b"},
        {"5\tfile\t/a\\tb\\nc\\\\d", true, 5, "file", "/a\tb\nc\\d"},
        {"5\tfile\t/tab\tinside", true, 5, "file", "/tab\tinside"},
        {"18446744073709551616\tfile\t/a", false, 0, "", ""},
        {"-1\tfile\t/a", false, 0, "", ""},
        {"\tfile\t/a", false, 0, "", ""},
        {"1\t\t/a", false, 0, "", ""},
        {"1\tfile\t", false, 0, "", ""},
        {"1\tfile\t/a\\", false, 0, "", ""},
        {"1\tfile\t/a\\x", false, 0, "", ""},
        {"1 file /a", false, 0, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        fclarchive::IndexEntry item;
        ASSERT_EQ(fclarchive::parseIndexLine(c.line, item), c.ok);
        if (c.ok) {
            EXPECT_EQ(item.offset, c.offset);
            EXPECT_EQ(item.kind, c.kind);
            EXPECT_EQ(item.path, c.path);
        }
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
    EXPECT_EQ(reader.lineNumber(), 3u) << "the broken line is named";

    EXPECT_FALSE(reader.open(dir / "missing.index"));
}

}  // namespace
