// What a job's source paths select in a backup's indexes: a --path that selects nothing is known before the job.
#include <gtest/gtest.h>

#include "platform/archive/ArchiveIndex.h"
#include "tests/common/TestSupport.h"
#include "tools/fcl-restore/BackupIndex.h"

namespace {

using fclarchive::IndexEntry;

TEST(BackupIndex, APathSelectsWhatLiesAtOrUnderItAndNothingElse) {
    const std::vector<IndexEntry> items = {
        {0, "dir", "/src"},
        {96, "file", "/src/one"},
        {200, "dir", "/src/sub"},
        {300, "file", "/src/sub/two"},
        {400, "file", "/src/sub two"},
    };
    struct Case {
        std::vector<std::string> paths;
        std::vector<std::string> selectingNothing;
    };
    const Case cases[] = {
        {{}, {}},
        {{"/"}, {}},
        {{"/src"}, {}},
        {{"/src/sub"}, {}},
        {{"/src/sub/two"}, {}},
        {{"/src/on"}, {"/src/on"}},
        {{"/sr"}, {"/sr"}},
        {{"/src/one/more"}, {"/src/one/more"}},
        {{"/other", "/src/one", "/src/none"}, {"/other", "/src/none"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fclhost::pathsSelectingNothing(items, c.paths), c.selectingNothing)
            << ::testing::PrintToString(c.paths);
    }
    EXPECT_TRUE(fclhost::selects({}, "/anything"));
    EXPECT_TRUE(fclhost::selects({"/src/sub"}, "/src/sub/two"));
    EXPECT_FALSE(fclhost::selects({"/src/sub"}, "/src/sub two"));
}

TEST(BackupIndex, EveryArchivesIndexIsReadInOrder) {
    fcltest::ScratchDir media("backupindex");
    fcltest::writeFile(media / "2.afile", "");
    fcltest::writeFile(media / "2.index", fclarchive::formatIndexLine(0, "file", "/b/new\nline"));
    fcltest::writeFile(media / "1.afile", "");
    fcltest::writeFile(media / "1.index",
                       fclarchive::formatIndexLine(0, "dir", "/a") + fclarchive::formatIndexLine(96, "file", "/a/x"));
    std::vector<IndexEntry> items;
    std::string why;
    ASSERT_TRUE(fclhost::readBackupIndex(media.path(), &items, &why)) << why;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].path, "/a");
    EXPECT_EQ(items[1].path, "/a/x");
    EXPECT_EQ(items[2].path, "/b/new\nline");

    fcltest::ScratchDir empty("backupindex");
    EXPECT_FALSE(fclhost::readBackupIndex(empty.path(), &items, &why));
    EXPECT_NE(why.find("no archive files in"), std::string::npos) << why;
}

}  // namespace
