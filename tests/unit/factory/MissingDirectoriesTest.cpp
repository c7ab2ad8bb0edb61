// Directories created above each source's top-level destination: the top-level paths and existing levels recorded
// at construction, which items count as direct children, and the fix-up that gives created directories the item's
// mode and owner, never a directory that existed before the job, never through a link.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/factory/JobFactoryFixture.h"

namespace {

int componentsOf(const std::string& path) {
    int count = 0;
    for (char c : path) {
        count += c == '/';
    }
    return count;
}

class MissingDirectories : public fcltest::JobFactoryFixture {
protected:
    void dir(const std::string& at, mode_t mode = 0755) {
        ASSERT_EQ(mkdir(at.c_str(), mode), 0) << at;
        ASSERT_EQ(chmod(at.c_str(), mode), 0);
    }
    // Who the fix-up may make the owner: another user when the tests run as root.
    uid_t itemUid() const { return fcltest::isRoot() ? 4321 : getuid(); }
    gid_t itemGid() const { return fcltest::isRoot() ? 8765 : getgid(); }
    static uid_t ownerOf(const std::string& path) {
        struct stat st;
        return lstat(path.c_str(), &st) == 0 ? st.st_uid : static_cast<uid_t>(-1);
    }
};

struct TopCase {
    const char* name;
    const char* dest;      // under the scratch directory; null: in place
    const char* existing;  // made under the scratch directory first, or null
    const char* source;
    uint64_t strip;
    const char* top;        // under the scratch directory when dest is given
    int levelAboveScratch;  // existing levels beyond those of the scratch path; -1: whatever /a is on this machine
};

void PrintTo(const TopCase& c, std::ostream* os) {
    *os << c.name;
}

const TopCase kTopCases[] = {
    {"DestExistsStripOne", "dest", "dest", "/a/b", 1, "dest/b/", 1},
    {"DestWithTrailingSlashes", "dest//", "dest", "/a/b", 1, "dest/b/", 1},
    {"NeitherExists", "x/y", nullptr, "/a", 0, "x/y/a/", 0},
    {"StripBeyondComponents", "dest", "dest", "/a", 5, "dest/", 1},
    {"PhotoSourceIsAppended", "dest", "dest", "/%Photo%/", 0, "dest/%Photo%/", 1},
    {"WindowsSourceInUnixForm", "dest", "dest", "C:\\data\\x", 1, "dest/data/x/", 1},
    {"InPlaceStripTwo", nullptr, nullptr, "/a/b/c", 2, "/a/b/", -1},
    {"InPlaceStripBeyondComponents", nullptr, nullptr, "/a", 3, "/", 0},
    {"InPlaceStripZero", nullptr, nullptr, "/a", 0, "", 0},
};

class TopLevelPaths : public MissingDirectories, public ::testing::WithParamInterface<TopCase> {};

TEST_P(TopLevelPaths, AreRecordedWithTheirExistingLevels) {
    const TopCase& c = GetParam();
    if (c.existing != nullptr) {
        dir(scratch_ / c.existing);
    }
    addSource(c.source, c.strip);
    const std::string dest = c.dest != nullptr ? scratch_ / c.dest : "";
    wzlog::ScopedCapture capture;
    auto factory = make(0, dest, false);
    const std::string top = c.dest != nullptr ? scratch_ / c.top : c.top;
    ASSERT_EQ(factory->topLevelDestPaths().size(), 1u);
    EXPECT_EQ(factory->topLevelDestPaths()[0], top);
    int level = c.levelAboveScratch;
    if (c.dest != nullptr) {
        level += componentsOf(scratch_.path());
    } else if (level < 0) {
        level = access("/a", F_OK) == 0 ? 1 + (access("/a/b", F_OK) == 0) : 0;
    }
    ASSERT_EQ(factory->mkdirLevels().size(), 1u);
    EXPECT_EQ(factory->mkdirLevels()[0], level);
    EXPECT_TRUE(capture->contains(":" + std::string(" srcPath :") + c.source + ": topLevelDestPath :" + top +
                                  ": mkdirLevel=" + std::to_string(level) + ", srcPathIdx =0"));
}

INSTANTIATE_TEST_SUITE_P(Table, TopLevelPaths, ::testing::ValuesIn(kTopCases),
                         [](const ::testing::TestParamInfo<TopCase>& info) { return info.param.name; });

TEST_F(MissingDirectories, SourceWithoutTextHasAnEmptyTopLevelPath) {
    addSource("/a", 0);
    addMissingSource();
    auto factory = make(0, scratch_ / "dest", false);
    ASSERT_EQ(factory->topLevelDestPaths().size(), 2u);
    EXPECT_EQ(factory->topLevelDestPaths()[1], "");
    std::string top;
    int index = -1;
    EXPECT_FALSE(factory->isDirectChildDir((scratch_ / "dest/x").c_str(), top, index));
}

TEST_F(MissingDirectories, NdmpRestoresRecordNothingAndChangeNothing) {
    addSource(std::string(1024, 'w'), 0);  // too long to convert: no other job would get this far
    dir(scratch_ / "x");
    wzlog::ScopedCapture capture;
    auto factory = make(FSR_OPT_NDMP, scratch_ / "x", false);
    EXPECT_TRUE(capture->contains("Skipping calculateMkdirLevel for NDMP restores"));
    EXPECT_TRUE(factory->topLevelDestPaths().empty());
    EXPECT_TRUE(factory->mkdirLevels().empty());
    std::string top;
    int index = -1;
    EXPECT_FALSE(factory->isDirectChildDir((scratch_ / "x/www").c_str(), top, index)) << "and no exception";
    factory->resetMkdirPermOwnerGroup(scratch_ / "x", 0, 0700, getuid(), getgid());
    EXPECT_EQ(modeOf(scratch_ / "x"), 0755u);
}

// The first item of a source as a direct child of its top-level destination, and what the fix-up changes then.
TEST_F(MissingDirectories, DirectoriesTheRestoreCreatedGetTheItemsModeAndOwner) {
    addSource("/a", 0);
    auto factory = make(0, scratch_ / "x/y", false);
    dir(scratch_ / "x", 0700);
    dir(scratch_ / "x/y", 0700);
    dir(scratch_ / "x/y/a", 0700);
    std::string top;
    int index = -1;
    ASSERT_TRUE(factory->isDirectChildDir((scratch_ / "x/y/a").c_str(), top, index));
    EXPECT_EQ(top, scratch_ / "x/y");
    EXPECT_EQ(index, 0);
    wzlog::ScopedCapture capture;
    factory->resetMkdirPermOwnerGroup(top, index, 0751, itemUid(), itemGid());
    EXPECT_EQ(modeOf(scratch_ / "x"), 0751u);
    EXPECT_EQ(modeOf(scratch_ / "x/y"), 0751u);
    EXPECT_EQ(modeOf(scratch_ / "x/y/a"), 0700u) << "the item itself is its own object's work";
    EXPECT_EQ(ownerOf(scratch_ / "x/y"), itemUid());
    EXPECT_TRUE(capture->contains("changed " + scratch_ / "x/ to mode 0751 owner " + std::to_string(itemUid()) +
                                  " group " + std::to_string(itemGid())));
    EXPECT_TRUE(capture->contains("changed " + scratch_ / "x/y/ to mode 0751"));
}

// The existing levels are skipped: with /dest already there, restoring /dest/b changes nothing.
TEST_F(MissingDirectories, ExistingDestinationIsSkippedByItsLevel) {
    dir(scratch_ / "dest", 0755);
    addSource("/a/b", 1);
    auto factory = make(0, scratch_ / "dest", false);
    dir(scratch_ / "dest/b", 0700);
    std::string top;
    int index = -1;
    ASSERT_TRUE(factory->isDirectChildDir((scratch_ / "dest/b").c_str(), top, index));
    EXPECT_EQ(top, scratch_ / "dest");
    wzlog::ScopedCapture capture;
    factory->resetMkdirPermOwnerGroup(top, index, 0700, itemUid(), itemGid());
    EXPECT_EQ(modeOf(scratch_ / "dest"), 0755u);
    EXPECT_FALSE(capture->contains("changed "));
}

// In place with strip level 0 no level protects the ancestors: a home directory restored into must keep its own
// mode and owner, and so must every directory above it.
TEST_F(MissingDirectories, InPlaceRestoreLeavesDirectoriesThatExistedAlone) {
    dir(scratch_ / "home", 0755);
    dir(scratch_ / "home/user", 0750);
    const std::string parent = scratch_.path().substr(0, scratch_.path().rfind('/'));
    const mode_t parentMode = modeOf(parent);
    const mode_t scratchMode = modeOf(scratch_.path());
    addSource(scratch_ / "home/user", 0);
    auto factory = make(0, "", false);
    std::string top;
    int index = -1;
    ASSERT_TRUE(factory->isDirectChildDir((scratch_ / "home/user").c_str(), top, index));
    EXPECT_EQ(top, scratch_ / "home");
    wzlog::ScopedCapture capture;
    factory->resetMkdirPermOwnerGroup(top, index, 0700, itemUid(), itemGid());
    EXPECT_EQ(modeOf(scratch_ / "home"), 0755u);
    EXPECT_EQ(modeOf(scratch_.path()), scratchMode);
    EXPECT_EQ(modeOf(parent), parentMode);
    EXPECT_FALSE(capture->contains("changed "));
}

TEST_F(MissingDirectories, InPlaceRestoreFixesOnlyWhatItCreated) {
    dir(scratch_ / "home", 0755);
    addSource(scratch_ / "home/newuser/docs", 0);
    auto factory = make(0, "", false);
    dir(scratch_ / "home/newuser", 0700);
    dir(scratch_ / "home/newuser/docs", 0700);
    std::string top;
    int index = -1;
    ASSERT_TRUE(factory->isDirectChildDir((scratch_ / "home/newuser/docs").c_str(), top, index));
    EXPECT_EQ(top, scratch_ / "home/newuser");
    factory->resetMkdirPermOwnerGroup(top, index, 0711, itemUid(), itemGid());
    EXPECT_EQ(modeOf(scratch_ / "home/newuser"), 0711u);
    EXPECT_EQ(modeOf(scratch_ / "home"), 0755u);
}

// A link planted where the restore created a directory is never followed: the directory it names keeps its mode.
TEST_F(MissingDirectories, FixUpNeverFollowsALink) {
    const struct {
        const char* name;
        bool firstIsDirectory;  // scratch/<name>/x is made a directory and the link planted at x/y; else at x
        mode_t xMode;
    } cases[] = {
        {"deeper", true, 0751},
        {"first", false, 0},
    };
    addSource("/a", 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string base = scratch_ / c.name;
        dir(base);
        auto factory = make(0, base + "/x/y", false);
        dir(base + "/victim", 0755);
        if (c.firstIsDirectory) {
            dir(base + "/x", 0700);
        }
        const std::string linkAt = c.firstIsDirectory ? base + "/x/y" : base + "/x";
        ASSERT_EQ(symlink((base + "/victim").c_str(), linkAt.c_str()), 0);
        factory->resetMkdirPermOwnerGroup(base + "/x/y", 0, 0751, itemUid(), itemGid());
        EXPECT_EQ(modeOf(base + "/victim"), 0755u);
        EXPECT_EQ(ownerOf(base + "/victim"), getuid());
        if (c.firstIsDirectory) {
            EXPECT_EQ(modeOf(base + "/x"), c.xMode);
        }
    }
}

// A file directly under a source is matched once; a directory every time it is one.
TEST_F(MissingDirectories, FileIsMatchedOnceDirectoryEveryTime) {
    addSource("/a/f", 1);
    addSource("/a/d", 1);
    auto factory = make(0, scratch_ / "dest", false);
    std::string top;
    int index = -1;
    const std::string file = scratch_ / "dest/f/";
    EXPECT_TRUE(factory->isDirectChildDir(file.c_str(), top, index));
    EXPECT_EQ(index, 0);
    EXPECT_EQ(top, scratch_ / "dest");
    EXPECT_FALSE(factory->isDirectChildDir(file.c_str(), top, index));
    const std::string directory = scratch_ / "dest/d";
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(factory->isDirectChildDir(directory.c_str(), top, index)) << round;
        EXPECT_EQ(index, 1);
    }
}

TEST_F(MissingDirectories, DeeperItemsAndOtherNamesAreNotDirectChildren) {
    addSource("/a/b", 1);
    auto factory = make(0, scratch_ / "dest", false);
    std::string top;
    int index = -1;
    EXPECT_FALSE(factory->isDirectChildDir((scratch_ / "dest/b/c").c_str(), top, index));
    EXPECT_FALSE(factory->isDirectChildDir((scratch_ / "dest/other").c_str(), top, index));
    EXPECT_FALSE(factory->isDirectChildDir("/elsewhere/b", top, index));
}

TEST_F(MissingDirectories, PhotoLibraryItemsResetTheirParent) {
    companion()._iphotoFileRestore = true;
    addSource("/a", 0);
    auto factory = make(0, scratch_ / "dest", true);
    std::string top;
    int index = -1;
    EXPECT_TRUE(factory->isDirectChildDir((scratch_ / "dest/album/photo.jpg/").c_str(), top, index));
    EXPECT_EQ(top, scratch_ / "dest/album");
    EXPECT_EQ(index, 0);
}

// A job that restores out of place into a new directory creates it before any item; the fix-up then treats it as
// the job's own.
TEST_F(MissingDirectories, DestinationTheJobCreatedIsFixedUp) {
    addSource("/a", 0);
    auto factory = make(FSR_OPT_OUT_OF_PLACE, scratch_ / "x/y");
    EXPECT_EQ(modeOf(scratch_ / "x"), 0700u);
    EXPECT_EQ(modeOf(scratch_ / "x/y"), 0700u);
    dir(scratch_ / "x/y/a", 0700);
    std::string top;
    int index = -1;
    ASSERT_TRUE(factory->isDirectChildDir((scratch_ / "x/y/a").c_str(), top, index));
    factory->resetMkdirPermOwnerGroup(top, index, 0755, itemUid(), itemGid());
    EXPECT_EQ(modeOf(scratch_ / "x"), 0755u);
    EXPECT_EQ(modeOf(scratch_ / "x/y"), 0755u);
}

}  // namespace
