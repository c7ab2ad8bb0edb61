// Removing a directory tree: everything inside goes, links are removed and never followed, and a path that does not
// name its directory by its last part is refused.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/files/CQiDirectory.h"
#include "platform/support/FXErrorUtil.h"
#include "tests/common/TestSupport.h"

namespace {

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

class DirectoryTreeRemoval : public ::testing::Test {
protected:
    DirectoryTreeRemoval() : scratch_("fclrmdir"), outside_("fclrmout") {
        fcltest::writeFile(outside_ / "keep", "k");
        const std::string top = scratch_ / "top";
        std::string deep = top;
        for (int i = 0; i < 40; ++i) {
            deep += "/d" + std::to_string(i);
        }
        EXPECT_EQ(system(("mkdir -p '" + deep + "'").c_str()), 0);
        fcltest::writeFile(deep + "/leaf", "l");
        fcltest::writeFile(top + "/file", "f");
        EXPECT_EQ(symlink(outside_.path().c_str(), (top + "/to-outside").c_str()), 0);
        EXPECT_EQ(symlink((outside_ / "keep").c_str(), (top + "/d0/to-file").c_str()), 0);
        EXPECT_EQ(mkdir((top + "/empty").c_str(), 0700), 0);
    }

    fcltest::ScratchDir scratch_;
    fcltest::ScratchDir outside_;
};

TEST_F(DirectoryTreeRemoval, WholeTreeGoesAndLinkTargetsStay) {
    EXPECT_FALSE(CQiDirectory::Remove((scratch_ / "top").c_str(), true, false).IsError());
    EXPECT_FALSE(exists(scratch_ / "top"));
    EXPECT_EQ(fcltest::readFile(outside_ / "keep"), "k");
}

TEST_F(DirectoryTreeRemoval, ContentsOnlyKeepsTheDirectory) {
    EXPECT_FALSE(CQiDirectory::Remove((scratch_ / "top/").c_str(), true, true).IsError());
    ASSERT_TRUE(exists(scratch_ / "top"));
    EXPECT_FALSE(exists(scratch_ / "top/file"));
    EXPECT_FALSE(exists(scratch_ / "top/d0"));
    EXPECT_EQ(fcltest::readFile(outside_ / "keep"), "k");
}

TEST_F(DirectoryTreeRemoval, RefusalsLeaveEverything) {
    const std::string top = scratch_ / "top";
    const struct {
        const char* name;
        std::string path;
        bool recursive;
        int err;
    } cases[] = {
        {"not empty without recursion", top, false, ENOTEMPTY},
        {"a link to a directory is not entered", top + "/to-outside", true, ENOTDIR},
        {"a path ending in ..", top + "/d0/..", true, EINVAL},
        {"a path ending in .", top + "/.", true, EINVAL},
        {"the root", "/", true, EINVAL},
        {"nothing", "", true, EINVAL},
    };
    for (const auto& c : cases) {
        const CQiError result = CQiDirectory::Remove(c.path.c_str(), c.recursive, false);
        EXPECT_TRUE(result.IsError()) << c.name;
        EXPECT_TRUE(FXErrorUtil::IsErrNo(result, c.err)) << c.name << ": " << result.AsString();
        EXPECT_TRUE(exists(top + "/file")) << c.name;
        EXPECT_EQ(fcltest::readFile(outside_ / "keep"), "k") << c.name;
    }
    EXPECT_FALSE(CQiDirectory::Remove((top + "/empty").c_str(), false, false).IsError());
    EXPECT_FALSE(exists(top + "/empty"));
}

}  // namespace
