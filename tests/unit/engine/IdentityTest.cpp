// The permission fix-ups only add bits to regular files and directories, and never follow a symbolic link out of the
// tree they walk; the enforced user id is a whole decimal number that fits a user id.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/JobIdentity.h"
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

// Each text as the enforced user id: a user, "no user enforced", or a refused start-up.
TEST(EnforcedUserId, OnlyAWholeDecimalThatFitsIsAUser) {
    const struct {
        const char* text;
        fclstartup::UserIdText kind;
        uid_t uid;
    } cases[] = {
        {"1000", fclstartup::UserIdText::kUser, 1000},
        {"0", fclstartup::UserIdText::kUser, 0},
        {"007", fclstartup::UserIdText::kUser, 7},
        {"1000:100", fclstartup::UserIdText::kUser, 1000},  // the text before ':' is the user
        {"4294967294", fclstartup::UserIdText::kUser, 4294967294u},
        {"-1", fclstartup::UserIdText::kNegative, 0},
        {"-42:7", fclstartup::UserIdText::kNegative, 0},
        {"4294967295", fclstartup::UserIdText::kBad, 0},  // (uid_t)-1 is "no change" to every id call
        {"4294967296", fclstartup::UserIdText::kBad, 0},  // would wrap to 0, root
        {"18446744073709551616", fclstartup::UserIdText::kBad, 0},
        {"99999999999999999999999", fclstartup::UserIdText::kBad, 0},
        {"12abc", fclstartup::UserIdText::kBad, 0},
        {" 12", fclstartup::UserIdText::kBad, 0},
        {"+12", fclstartup::UserIdText::kBad, 0},
        {"1e3", fclstartup::UserIdText::kBad, 0},
        {"", fclstartup::UserIdText::kBad, 0},
        {"-", fclstartup::UserIdText::kBad, 0},
        {":5", fclstartup::UserIdText::kBad, 0},
        {"--1", fclstartup::UserIdText::kBad, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        uid_t uid = 4242;
        EXPECT_EQ(fclstartup::parseUserId(c.text, &uid), c.kind);
        EXPECT_EQ(uid, c.kind == fclstartup::UserIdText::kUser ? c.uid : 4242u) << "only a user id is taken";
    }
}

// Only regular files and directories are changed: a FIFO is neither opened (that would wait for a writer) nor
// changed, and a directory entry that is a link to a FIFO or file outside is left as it is.
TEST(PermissionFixUps, OtherKindsOfEntryAreLeftAlone) {
    fcltest::ScratchDir scratch("fclperm");
    const std::string tree = scratch / "tree";
    ASSERT_EQ(mkdir(tree.c_str(), 0700), 0);
    ASSERT_EQ(mkfifo((tree + "/pipe").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((scratch / "outside pipe").c_str(), 0600), 0);
    ASSERT_EQ(symlink((scratch / "outside pipe").c_str(), (tree + "/link-to-pipe").c_str()), 0);
    fclstartup::addPermissionsBeneath(tree, 0777, 0666);
    FclRestore::SetPermissionForOthers(tree + "/pipe", 0444);
    EXPECT_EQ(modeOf(tree + "/pipe"), 0600u);
    EXPECT_EQ(modeOf(scratch / "outside pipe"), 0600u);
}

}  // namespace
