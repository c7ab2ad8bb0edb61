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

// What the mapping leaves out, by an entry with an empty destination or by naming no entry for it, is excluded:
// neither failed nor skipped, and the job succeeds.
TEST_F(HostOptionsEndToEnd, AMappingFileSendsItemsElsewhereAndWhatItLeavesOutIsExcluded) {
    build(kTwoBranches);
    pack();
    const std::string map = beside("map.txt");
    fcltest::writeFile(map, "\"" + source("a") + "\",\"" + dest() + "/mapped\"\n\"" + source("b") + "\",\"\"\n");
    fcltest::ProgramRun run = restore({"--map", map});
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), "5") << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), "0") << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items excluded:"), "4 (left out by the mapping file)") << run.out;
    EXPECT_EQ(rsyncDifferences(source("a"), dest() + "/mapped"), "");
    EXPECT_NE(access(restored("b").c_str(), F_OK), 0);
    EXPECT_NE(access(restored("top").c_str(), F_OK), 0);
    EXPECT_EQ(run.err, "");

    // A line of another form is an error naming the file and the line, before anything is made.
    fcltest::writeFile(map, "\"" + source("a") + "\",\"" + dest() + "/mapped\"\n# a comment\n");
    fcltest::removeTree(dest());
    fcltest::ProgramRun wrong = restore({"--map", map});
    EXPECT_EQ(wrong.status, 2) << wrong.describe();
    EXPECT_NE(wrong.err.find("the mapping file " + map + ", line 2: "), std::string::npos) << wrong.err;
    EXPECT_NE(access(dest().c_str(), F_OK), 0);
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
