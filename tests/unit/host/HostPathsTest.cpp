// Where the host's paths really lie: the results directory must never land inside the destination, whatever links
// and ".." say.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/common/TestSupport.h"
#include "tools/fcl-restore/HostPaths.h"

namespace {

using fclhost::isWithin;
using fclhost::resolvedPath;

class HostPaths : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = resolvedPath(scratch_.path());
        ASSERT_EQ(mkdir((root_ + "/dest").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((root_ + "/dest/sub").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((root_ + "/other").c_str(), 0755), 0);
        ASSERT_EQ(symlink((root_ + "/dest/sub").c_str(), (root_ + "/other/into-dest").c_str()), 0);
        ASSERT_EQ(symlink("../dest", (root_ + "/other/relative-into-dest").c_str()), 0);
        ASSERT_EQ(symlink((root_ + "/dest/not-yet").c_str(), (root_ + "/other/dangling").c_str()), 0);
        ASSERT_EQ(symlink("loop", (root_ + "/other/loop").c_str()), 0);
    }

    fcltest::ScratchDir scratch_{"hostpaths"};
    std::string root_;
};

TEST_F(HostPaths, ResolvesLinksDotsAndTheMissingRest) {
    EXPECT_EQ(resolvedPath(root_ + "/other/into-dest/new/deeper"), root_ + "/dest/sub/new/deeper");
    EXPECT_EQ(resolvedPath(root_ + "/other/relative-into-dest/./x"), root_ + "/dest/x");
    EXPECT_EQ(resolvedPath(root_ + "//other/../dest/sub/"), root_ + "/dest/sub");
    EXPECT_EQ(resolvedPath(root_ + "/missing/../dest"), root_ + "/dest");
    EXPECT_EQ(resolvedPath(root_ + "/other/dangling/x"), root_ + "/dest/not-yet/x");
    EXPECT_EQ(resolvedPath(root_ + "/other/loop/x"), root_ + "/other/loop/x")
        << "a loop ends; the path is refused later";
    EXPECT_EQ(resolvedPath("/"), "/");
    EXPECT_EQ(resolvedPath("/.."), "/");
    EXPECT_EQ(resolvedPath(""), "");
}

TEST_F(HostPaths, ARelativePathStartsAtTheWorkingDirectory) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir((root_ + "/other").c_str()), 0);
    std::string resolved = resolvedPath("into-dest/r");
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(resolved, root_ + "/dest/sub/r");
}

struct Within {
    const char* inner;
    const char* outer;
    bool within;
};

TEST_F(HostPaths, WithinComparesWholeComponentsOfResolvedPaths) {
    const Within cases[] = {
        {"/dest", "/dest", true},
        {"/dest/sub/x", "/dest", true},
        {"/dest-results", "/dest", false},
        {"/other/into-dest/results", "/dest", true},
        {"/other/relative-into-dest", "/dest", true},
        {"/other/results", "/dest", false},
        {"/dest/../other/results", "/dest", false},
        {"/dest/sub/../../dest/r", "/dest", true},
        {"/dest", "/dest/sub", false},
        {"/other/into-dest", "/dest/sub", true},
        {"/other/dangling/results", "/dest", true},
    };
    for (const Within& c : cases) {
        EXPECT_EQ(isWithin(root_ + c.inner, root_ + c.outer), c.within) << c.inner << " in " << c.outer;
    }
    EXPECT_TRUE(isWithin(root_ + "/anything", "/"));
}

TEST(HostStateDirectory, FollowsXdgStateHomeOnlyWhenAbsolute) {
    const char* saved = getenv("XDG_STATE_HOME");
    std::string keep = saved != nullptr ? saved : "";
    setenv("XDG_STATE_HOME", "/var/tmp/state-here", 1);
    EXPECT_EQ(fclhost::stateDirectory(), "/var/tmp/state-here");
    setenv("XDG_STATE_HOME", "relative/state", 1);
    std::string fallback = fclhost::stateDirectory();
    EXPECT_EQ(fallback.substr(fallback.size() - 13), "/.local/state");
    EXPECT_EQ(fallback[0], '/');
    if (saved != nullptr) {
        setenv("XDG_STATE_HOME", keep.c_str(), 1);
    } else {
        unsetenv("XDG_STATE_HOME");
    }
}

TEST(HostStateDirectory, EachJobGetsANewResultsDirectory) {
    fcltest::ScratchDir state("hoststate");
    const char* saved = getenv("XDG_STATE_HOME");
    std::string keep = saved != nullptr ? saved : "";
    setenv("XDG_STATE_HOME", state.path().c_str(), 1);
    std::string first, second, why;
    ASSERT_TRUE(fclhost::makeDefaultResultsDirectory(&first, &why)) << why;
    ASSERT_TRUE(fclhost::makeDefaultResultsDirectory(&second, &why)) << why;
    if (saved != nullptr) {
        setenv("XDG_STATE_HOME", keep.c_str(), 1);
    } else {
        unsetenv("XDG_STATE_HOME");
    }
    EXPECT_NE(first, second);
    const std::string prefix = state.path() + "/fcl-restore/job-";
    EXPECT_EQ(first.compare(0, prefix.size(), prefix), 0) << first;
    struct stat st;
    ASSERT_EQ(stat(second.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST(HostResultsFile, IsFoundByTheJobsFolderOnly) {
    fcltest::ScratchDir results("hostresults");
    EXPECT_EQ(fclhost::findResultsFile(results.path(), 77), "");
    ASSERT_EQ(mkdir((results / "2").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((results / "2/76").c_str(), 0755), 0);
    fcltest::writeFile(results / "2/76/restore.results", "another job\n");
    EXPECT_EQ(fclhost::findResultsFile(results.path(), 77), "");
    ASSERT_EQ(mkdir((results / "2/77").c_str(), 0755), 0);
    EXPECT_EQ(fclhost::findResultsFile(results.path(), 77), "") << "a folder without the file is no results file";
    fcltest::writeFile(results / "2/77/restore.results", "BeginIndexedRestore pid:1\n");
    EXPECT_EQ(fclhost::findResultsFile(results.path(), 77), results / "2/77/restore.results");
}

}  // namespace
