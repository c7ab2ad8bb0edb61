// A restore killed while it writes a file, then resumed with --restart: the copy ends exact, the file that was cut is
// restored again whole, and what the job kept of the user's stays kept. And what --restart and --path refuse.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "platform/settings/PlatformPaths.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

constexpr uint64_t kBigFile = 192ull << 20;

const TreeLayout kCutTree = {
    file("a/one", 5000),     file("a/two", 70000),  dir("a/empty"),     symlink("a/link", "two"),
    file("b/big", kBigFile), file("b/after", 3000), file("c/last", 10),
};

off_t sizeOf(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

class RestartEndToEnd : public EndToEnd {
protected:
    // The default results directories go under a state directory of the test's own.
    std::vector<std::string> environment() const { return {"XDG_STATE_HOME=" + beside("state")}; }

    // Runs a whole restore and kills it once `cutFile` holds part of its data; the size it had then.
    off_t restoreAndKillWhileWriting(const std::string& cutFile, uint64_t fullSize) {
        fcltest::StartedProgram host =
            fcltest::startProgram({fcltest::toolPath("fcl-restore"), media(), dest()}, environment());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        off_t size = -1;
        while (std::chrono::steady_clock::now() < deadline) {
            size = sizeOf(cutFile);
            if (size > 0 && static_cast<uint64_t>(size) < fullSize) {
                kill(host.pid, SIGKILL);
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        fcltest::ProgramRun cut = fcltest::finishProgram(host, 120);
        EXPECT_EQ(cut.status, 128 + SIGKILL) << cut.describe();
        return sizeOf(cutFile);
    }
};

// The lines of `text` that do not name `name`.
std::string linesWithout(const std::string& text, const std::string& name) {
    std::istringstream in(text);
    std::string line;
    std::string rest;
    while (std::getline(in, line)) {
        if (line.find(name) == std::string::npos) {
            rest += line + "\n";
        }
    }
    return rest;
}

TEST_F(RestartEndToEnd, AJobKilledWhileWritingAFileIsResumedIntoAnExactCopy) {
    build(kCutTree);
    pack();
    // The user's own file where the backup has one: the job keeps it, and so does the resumed job.
    ASSERT_TRUE(wzplatform::makeDirectories(restored("a")));
    fcltest::writeFile(restored("a/one"), "mine");

    const off_t cutSize = restoreAndKillWhileWriting(restored("b/big"), kBigFile);
    ASSERT_GT(cutSize, 0);
    ASSERT_LT(static_cast<uint64_t>(cutSize), kBigFile) << "the job was not cut while it wrote the file";

    fcltest::ProgramRun resumed = fcltest::runTool("fcl-restore", {"--restart", media(), dest()}, 300, environment());
    EXPECT_EQ(resumed.status, 0) << resumed.describe();
    EXPECT_NE(resumed.out.find("Restore succeeded\n"), std::string::npos) << resumed.out;
    EXPECT_NE(resumed.err.find(restored("b/big") + " was cut while being written: it is restored again whole"),
              std::string::npos)
        << resumed.err;
    EXPECT_EQ(linesWithout(resumed.err, "was cut while being written"), "") << "no other file is taken for cut";

    // The cut job's own results directory and job id: its results file goes on.
    const std::string resultsDir = fcltest::summaryField(resumed.out, "results dir:");
    EXPECT_EQ(resultsDir.rfind(beside("state") + "/fcl-restore/job-", 0), 0u) << resumed.out;
    const std::vector<std::string> jobs =
        fcltest::entryNames(open((resultsDir + "/2").c_str(), O_RDONLY | O_DIRECTORY));
    ASSERT_EQ(jobs.size(), 1u) << "one job id, the cut job's";
    EXPECT_EQ(fcltest::summaryField(resumed.out, "results file:"), resultsDir + "/2/" + jobs[0] + "/restore.results");

    EXPECT_EQ(fcltest::readFile(restored("a/one")), "mine");
    EXPECT_EQ(linesWithout(differences(), "a/one"), "");
    EXPECT_NE(rsyncDifferences(source(), restored()), "") << "the user's file is the one difference";

    fcltest::ProgramRun again = fcltest::runTool("fcl-restore", {"--restart", media(), dest()}, 300, environment());
    EXPECT_EQ(again.status, 2) << again.describe();
    EXPECT_NE(again.err.find("no cut job restoring " + media() + " into " + dest()), std::string::npos) << again.err;
}

// Run again without --restart, the same command never calls the cut file restored or kept: it is refused, naming
// --restart, and nothing is touched; --restart then gives the exact copy, and a plain run after it is no longer
// refused.
TEST_F(RestartEndToEnd, APlainRunAfterACutJobIsRefusedNamingRestart) {
    build(kCutTree);
    pack();
    const off_t cutSize = restoreAndKillWhileWriting(restored("b/big"), kBigFile);
    ASSERT_GT(cutSize, 0);
    ASSERT_LT(static_cast<uint64_t>(cutSize), kBigFile) << "the job was not cut while it wrote the file";

    fcltest::ProgramRun plain = fcltest::runTool("fcl-restore", {media(), dest()}, 300, environment());
    EXPECT_EQ(plain.status, 2) << plain.describe();
    EXPECT_NE(plain.err.find("was cut"), std::string::npos) << plain.err;
    EXPECT_NE(plain.err.find("--restart"), std::string::npos) << plain.err;
    EXPECT_EQ(plain.out.find("Restore succeeded"), std::string::npos) << plain.out;
    EXPECT_EQ(sizeOf(restored("b/big")), cutSize) << "the refused run touched the cut file";

    fcltest::ProgramRun resumed = fcltest::runTool("fcl-restore", {"--restart", media(), dest()}, 300, environment());
    EXPECT_EQ(resumed.status, 0) << resumed.describe();
    EXPECT_EQ(differences(), "");
    fcltest::ProgramRun again = fcltest::runTool("fcl-restore", {media(), dest()}, 300, environment());
    EXPECT_EQ(again.status, 0) << again.describe();
    EXPECT_EQ(fcltest::summaryField(again.out, "items restored:"), "5") << again.out;  // the directories
}

TEST_F(RestartEndToEnd, OnlyACutJobOfTheSameBackupAndDestinationIsResumed) {
    build({file("a/one", 10)});
    pack();
    fcltest::ProgramRun done = restore();
    ASSERT_EQ(done.status, 0) << done.describe();
    struct Case {
        std::vector<std::string> arguments;
        std::string says;
    };
    const Case cases[] = {
        {{"--restart", "--results", results(), media(), dest()}, "restored everything it asked for"},
        {{"--restart", "--results", beside("none"), media(), dest()}, "no job to resume in " + beside("none")},
        {{"--restart", "--results", results(), media(), beside("elsewhere")}, "MEDIA_DIR or DEST_DIR differs"},
        {{"--restart", "--results", results(), "--path", source("a"), media(), dest()}, "--path differs"},
        {{"--restart", media(), dest()}, "no cut job restoring"},
    };
    for (const Case& c : cases) {
        fcltest::ProgramRun run = fcltest::runTool("fcl-restore", c.arguments, 120, environment());
        EXPECT_EQ(run.status, 2) << run.describe();
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.says << "\n" << run.describe();
    }
}

TEST_F(RestartEndToEnd, APathThatSelectsNothingFailsBeforeAnythingIsRestored) {
    build({file("a/one", 10), file("a/two", 10), file("b/three", 10)});
    pack();
    fcltest::ProgramRun run = restore({"--path", source("a"), "--path", source("a/on"), "--path", source("c")});
    EXPECT_EQ(run.status, 2) << run.describe();
    EXPECT_NE(run.err.find("fcl-restore: " + source("a/on") + ": not found in the backup\n"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("fcl-restore: " + source("c") + ": not found in the backup\n"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find(source("a") + ":"), std::string::npos) << "a path that selects items is not named";
    EXPECT_NE(access(dest().c_str(), F_OK), 0) << "nothing is made, nothing restored";
}

}  // namespace
}  // namespace e2e
