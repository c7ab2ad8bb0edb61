// A user's symbolic links to directories at the destination. In place they are the user's layout: every item under
// them goes into the directory they reach, and the link stays. Out of place the destination decides: a link that
// stays inside it is used, one that leaves it fails its items and nothing outside changes. The comparison takes the
// links on the restored side as the directories they reach, as the restore does.
#include <sys/stat.h>
#include <unistd.h>

#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

const TreeLayout kTree = {
    file("top", 100),  dir("a").mode(0750), file("a/f", 5000),   dir("a/b"),
    file("a/b/g", 10), symlink("a/l", "f"), dir("c").mode(0700), file("c/h", 3 * kKiB),
};
// The items at and under a and c.
const uint64_t kItemsUnderA = 5;
const uint64_t kItemsUnderC = 2;

class DirectoryLinks : public EndToEnd {
protected:
    void copyTree(const std::string& from, const std::string& to) {
        fcltest::ProgramRun run = fcltest::runProgram({"cp", "-a", from, to});
        ASSERT_EQ(run.status, 0) << run.describe();
    }
    void makeDirectories(const std::string& path) {
        fcltest::ProgramRun run = fcltest::runProgram({"mkdir", "-p", path});
        ASSERT_EQ(run.status, 0) << run.describe();
    }
    static bool isLink(const std::string& path) {
        struct stat st;
        return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    }
    // "../" up to "/" from the directory `from`, then `to`: a relative link text that climbs out of everything.
    static std::string climbingTo(const std::string& from, const std::string& to) {
        std::string text;
        for (char c : from) {
            if (c == '/') {
                text += "../";
            }
        }
        return text + to.substr(1);
    }
};

TEST_F(DirectoryLinks, InPlaceRestoreGoesThroughTheUsersLinks) {
    build(kTree);
    pack();
    const uint64_t items = sourceItems();
    const std::string reference = beside("reference");
    copyTree(source(), reference);
    // The user moved the two directories away, left a relative and an absolute link in their places, and lost the
    // files.
    const std::string elsewhere = beside("elsewhere");
    ASSERT_EQ(mkdir(elsewhere.c_str(), 0755), 0);
    ASSERT_EQ(rename(source("a").c_str(), (elsewhere + "/a").c_str()), 0);
    ASSERT_EQ(rename(source("c").c_str(), (elsewhere + "/c").c_str()), 0);
    ASSERT_EQ(::symlink("../elsewhere/a", source("a").c_str()), 0);
    ASSERT_EQ(::symlink((elsewhere + "/c").c_str(), source("c").c_str()), 0);
    for (const char* name : {"top", "a/f", "a/b/g", "a/l", "c/h"}) {
        ASSERT_EQ(unlink(source(name).c_str()), 0) << name;
    }

    const InPlaceRun run = restoreInPlace();
    EXPECT_TRUE(run.succeeded) << run.reason;
    EXPECT_EQ(run.failed, 0u);
    EXPECT_EQ(run.restored, items);
    EXPECT_EQ(rsyncDifferences(reference, source(), DirLinks::Followed), "");
    EXPECT_EQ(contentDifferences(reference, source(), Holes::Kept), "");
    EXPECT_TRUE(isLink(source("a")));
    EXPECT_TRUE(isLink(source("c")));
}

TEST_F(DirectoryLinks, OutOfPlaceRestoreGoesThroughALinkInsideTheDestination) {
    build(kTree);
    pack();
    // The directory the link reaches lies inside the destination, beside the restored tree.
    makeDirectories(restored());
    const std::string real = restored() + "/../a.real";
    ASSERT_EQ(mkdir(real.c_str(), 0750), 0);
    ASSERT_EQ(::symlink("../a.real", restored("a").c_str()), 0);

    fcltest::ProgramRun run = restore();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), std::to_string(sourceItems())) << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), "0") << run.out;
    EXPECT_EQ(rsyncDifferences(source(), restored(), DirLinks::Followed), "");
    EXPECT_EQ(contentDifferences(source(), restored(), Holes::Kept), "");
    EXPECT_TRUE(isLink(restored("a")));
    EXPECT_EQ(fcltest::readFile(real + "/f"), fcltest::readFile(source("a/f")));
}

TEST_F(DirectoryLinks, ALinkLeavingTheDestinationFailsItsItemsAndNothingOutsideChanges) {
    build(kTree);
    pack();
    const std::string outside = beside("outside");
    for (const std::string& dir : {outside, outside + "/a", outside + "/c"}) {
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        fcltest::writeFile(dir + "/precious", "outside the destination");
    }
    const std::string before = beside("outside-before");
    copyTree(outside, before);
    makeDirectories(restored());
    // An absolute link (refused beneath the root, wherever it points) and a relative one that climbs out.
    ASSERT_EQ(::symlink((outside + "/a").c_str(), restored("a").c_str()), 0);
    ASSERT_EQ(::symlink(climbingTo(restored(), outside + "/c").c_str(), restored("c").c_str()), 0);

    fcltest::ProgramRun run = restore();
    EXPECT_EQ(run.status, 1) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), std::to_string(kItemsUnderA + kItemsUnderC)) << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"),
              std::to_string(sourceItems() - kItemsUnderA - kItemsUnderC))
        << run.out;
    EXPECT_EQ(rsyncDifferences(before, outside), "");
    EXPECT_TRUE(isLink(restored("a")));
    EXPECT_TRUE(isLink(restored("c")));
    EXPECT_EQ(fcltest::readFile(restored("top")), fcltest::readFile(source("top")));
}

}  // namespace
}  // namespace e2e
