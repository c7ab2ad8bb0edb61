// What a resumed job restores again whole: the files its cut run made and never finished, and nothing of the user's.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/common/TestSupport.h"
#include "tools/fcl-restore/CutItems.h"
#include "tools/fcl-restore/HostPaths.h"

namespace {

using fclarchive::IndexEntry;

TEST(CutItemDestination, LandsUnderTheDestinationWithItsLeadingNamesStripped) {
    struct Case {
        std::string dest;
        std::string source;
        uint64_t strip;
        std::string expected;
    };
    const Case cases[] = {
        {"/d", "/a/b/c", 0, "/d/a/b/c"}, {"/d", "/a/b/c", 1, "/d/b/c"}, {"/d", "/a/b/c", 2, "/d/c"},
        {"/d", "/a/b/c", 9, "/d/c"},     {"/", "/a/b", 0, "/a/b"},      {"/d/", "/a", 0, "/d//a"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fclhost::destinationOf(c.dest, c.source, c.strip), c.expected) << c.source << " strip " << c.strip;
    }
}

class CutItems : public ::testing::Test {
protected:
    void SetUp() override {
        dest_ = fclhost::resolvedPath(scratch_ / "dest");
        ASSERT_EQ(mkdir(dest_.c_str(), 0755), 0);
        ASSERT_EQ(mkdir((dest_ + "/src").c_str(), 0755), 0);
        // The user's file, there before the job and changed while it ran.
        fcltest::writeFile(dest_ + "/src/users", "mine");
        job_.destDir = dest_;
        job_.started = fclhost::fileClockTick();
        fcltest::writeFile(dest_ + "/src/users", "mine, changed");
        // Made by the job: one finished (its times set to those of the backup), one cut.
        fcltest::writeFile(dest_ + "/src/finished", "whole");
        const timespec old[2] = {{1000, 0}, {1000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, (dest_ + "/src/finished").c_str(), old, 0), 0);
        fcltest::writeFile(dest_ + "/src/cut", "half");
        fcltest::writeFile(dest_ + "/src/linked", "half");
        ASSERT_EQ(link((dest_ + "/src/linked").c_str(), (dest_ + "/src/second-name").c_str()), 0);
        ASSERT_EQ(symlink("cut", (dest_ + "/src/link").c_str()), 0);
        ASSERT_EQ(mkdir((dest_ + "/src/dir").c_str(), 0755), 0);
        fcltest::writeFile(dest_ + "/src/unselected", "half");
    }

    fcltest::ScratchDir scratch_{"cutitems"};
    std::string dest_;
    fclhost::JobRecord job_;
};

TEST_F(CutItems, OnlyFilesTheJobMadeAndNeverFinishedAreFound) {
    const std::vector<IndexEntry> items = {
        {0, "dir", "/src"},
        {1, "file", "/src/users"},
        {2, "file", "/src/finished"},
        {3, "file", "/src/cut"},
        {4, "file", "/src/linked"},
        {4, "hardlink", "/src/second-name"},
        {5, "symlink", "/src/link"},
        {6, "dir", "/src/dir"},
        {7, "file", "/src/missing"},
        {8, "file", "/src/dir"},
        {9, "file", "/elsewhere/unselected"},
    };
    job_.paths = {"/src"};
    std::vector<std::string> undecided;
    std::vector<std::string> cut = fclhost::findCutItems(items, job_, &undecided);
    if (!undecided.empty()) {
        GTEST_SKIP() << "this file system keeps no birth times";
    }
    EXPECT_EQ(cut, (std::vector<std::string>{dest_ + "/src/cut"}));
}

TEST_F(CutItems, AnUnfinishedFileIsRemovedAndNothingOutsideIsTouched) {
    std::string why;
    ASSERT_TRUE(fclhost::removeUnfinished(dest_ + "/src/cut", dest_, &why)) << why;
    EXPECT_NE(access((dest_ + "/src/cut").c_str(), F_OK), 0);

    // Through a link in the destination to a file outside it, and through a link at the name itself.
    fcltest::writeFile(scratch_ / "outside", "keep");
    ASSERT_EQ(symlink(scratch_.path().c_str(), (dest_ + "/out").c_str()), 0);
    ASSERT_EQ(symlink((scratch_ / "outside").c_str(), (dest_ + "/src/to-outside").c_str()), 0);
    struct stat before;
    ASSERT_EQ(stat((scratch_ / "outside").c_str(), &before), 0);
    EXPECT_FALSE(fclhost::removeUnfinished(dest_ + "/out/outside", dest_, &why));
    EXPECT_NE(why.find("does not lie under"), std::string::npos) << why;
    ASSERT_TRUE(fclhost::removeUnfinished(dest_ + "/src/to-outside", dest_, &why)) << why;
    EXPECT_NE(access((dest_ + "/src/to-outside").c_str(), F_OK), 0) << "the link goes, not what it names";
    struct stat after;
    ASSERT_EQ(stat((scratch_ / "outside").c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

}  // namespace
