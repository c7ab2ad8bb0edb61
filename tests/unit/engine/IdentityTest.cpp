// The permission fix-ups only add bits, and never follow a symbolic link out of the tree they walk.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/StartUpSteps.h"
#include "tests/common/TestSupport.h"

namespace {

mode_t modeOf(const std::string& path) {
    struct stat st;
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(PermissionFixUps, WalkAddsBitsAndNeverFollowsLinks) {
    fcltest::ScratchDir scratch("fclperm");
    const std::string tree = scratch / "tree";
    const std::string outside = scratch / "outside";
    ASSERT_EQ(mkdir(tree.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((tree + "/sub").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(outside.c_str(), 0700), 0);
    fcltest::writeFile(tree + "/sub/file", "x");
    fcltest::writeFile(outside + "/secret", "s");
    chmod((tree + "/sub/file").c_str(), 0600);
    chmod((outside + "/secret").c_str(), 0600);
    fcltest::writeFile(tree + "/full", "y");
    chmod((tree + "/full").c_str(), 0777);
    ASSERT_EQ(symlink((outside + "/secret").c_str(), (tree + "/link-to-file").c_str()), 0);
    ASSERT_EQ(symlink(outside.c_str(), (tree + "/link-to-dir").c_str()), 0);

    fclstartup::addPermissionsBeneath(tree, 0777, 0666);

    EXPECT_EQ(modeOf(tree + "/sub"), 0777u);
    EXPECT_EQ(modeOf(tree + "/sub/file"), 0666u);
    EXPECT_EQ(modeOf(tree + "/full"), 0777u);  // bits are only added
    EXPECT_EQ(modeOf(outside), 0700u);
    EXPECT_EQ(modeOf(outside + "/secret"), 0600u);
    EXPECT_EQ(modeOf(tree), 0700u);  // the root is not part of the walk
}

TEST(PermissionFixUps, SinglePathThatIsALinkIsLeftAlone) {
    fcltest::ScratchDir scratch("fclperm");
    const std::string target = scratch / "target";
    fcltest::writeFile(target, "t");
    chmod(target.c_str(), 0600);
    ASSERT_EQ(symlink(target.c_str(), (scratch / "link").c_str()), 0);
    FclRestore::SetPermissionForOthers(scratch / "link", 0444);
    EXPECT_EQ(modeOf(target), 0600u);
    FclRestore::SetPermissionForOthers(target, 0444);
    EXPECT_EQ(modeOf(target), 0644u);
    FclRestore::SetPermissionForOthers(scratch / "missing", 0444);  // nothing to do, no failure
}

}  // namespace
