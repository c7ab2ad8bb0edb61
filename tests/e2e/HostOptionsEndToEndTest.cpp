// The host's options as a user sees them: a selection restores only what it names; an existing item is kept unless
// --overwrite asks to replace it.
#include <fcntl.h>
#include <unistd.h>

#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

const TreeLayout kTwoBranches = {
    file("a/one", 100), file("a/deeper/two", 5000), symlink("a/link", "one"), file("b/three", 100), file("top", 10),
};

class HostOptionsEndToEnd : public EndToEnd {
protected:
    void alter(const std::string& path) {
        int fd = open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0) << path;
        ASSERT_EQ(pwrite(fd, "changed", 7, 0), 7);
        close(fd);
    }
};

TEST_F(HostOptionsEndToEnd, APathRestoresOnlyWhatLiesUnderIt) {
    build(kTwoBranches);
    pack();
    fcltest::ProgramRun run = restore({"--path", source("a")});
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), "5") << run.out;  // a, a/one, a/deeper, .../two, link
    EXPECT_EQ(
        rsyncDifferences(source("a"), restored("a")) + contentDifferences(source("a"), restored("a"), Holes::Kept), "");
    EXPECT_NE(access(restored("b").c_str(), F_OK), 0);
    EXPECT_NE(access(restored("top").c_str(), F_OK), 0);
}

TEST_F(HostOptionsEndToEnd, AnExistingItemIsKeptUnlessOverwriteIsAsked) {
    build(kTwoBranches);
    packAndRestore();
    ASSERT_EQ(differences(), "");
    alter(restored("a/one"));

    fcltest::ProgramRun again = restore();
    EXPECT_EQ(again.status, 0) << again.describe();
    EXPECT_EQ(fcltest::summaryField(again.out, "items skipped:"), "5") << again.out;  // every item but directories
    EXPECT_EQ(fcltest::readFile(restored("a/one")).substr(0, 7), "changed");

    fcltest::ProgramRun overwrite = restore({"--overwrite"});
    EXPECT_EQ(overwrite.status, 0) << overwrite.describe();
    EXPECT_EQ(fcltest::summaryField(overwrite.out, "items skipped:"), "0") << overwrite.out;
    EXPECT_EQ(differences(), "");
}

TEST_F(HostOptionsEndToEnd, TheSummaryNamesTheResultsFileOutsideTheDestination) {
    build(kTwoBranches);
    fcltest::ProgramRun run = packAndRestore();
    std::string resultsFile = fcltest::summaryField(run.out, "results file:");
    EXPECT_EQ(resultsFile.rfind(results() + "/", 0), 0u) << run.out;
    EXPECT_NE(fcltest::readFile(resultsFile).find("BeginIndexedRestore pid:"), std::string::npos);
    EXPECT_EQ(differences(), "") << "nothing of the job's own lands in the destination";
}

}  // namespace
}  // namespace e2e
