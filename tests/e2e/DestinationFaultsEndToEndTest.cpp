// Restores into a destination that cannot take them, on small file systems made for the test: a full disk, no inodes
// left, read-only. Each says why on standard error and in the summary, and never exits 0.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

class DestinationFaults : public EndToEnd {
protected:
    ~DestinationFaults() override {
        if (mounted_) {
            umount2(beside("small").c_str(), MNT_DETACH);
        }
    }
    // A tmpfs at beside("small") with `options`; the test is skipped where it cannot be mounted.
    void mountSmall(const std::string& options) {
        if (!fcltest::isRoot()) {
            GTEST_SKIP() << "mounting a small file system needs root";
        }
        ASSERT_EQ(mkdir(beside("small").c_str(), 0755), 0);
        if (mount("tmpfs", beside("small").c_str(), "tmpfs", 0, options.c_str()) != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here: " << strerror(errno);
        }
        mounted_ = true;
    }
    fcltest::ProgramRun restoreInto(const std::string& dest) {
        return fcltest::runTool("fcl-restore", {"--results", results(), media(), dest});
    }

    bool mounted_ = false;
};

TEST_F(DestinationFaults, AFullDiskFailsTheJobNamingTheItem) {
    build({file("a/first", 100000), file("a/second", 600000), file("a/third", 10)});
    pack();
    mountSmall("size=512k");
    fcltest::ProgramRun run = restoreInto(beside("small/dest"));
    EXPECT_EQ(run.status, 2) << run.describe();
    const std::string reason = "the destination's file system is full: " + source("a/second") + " could not be written";
    EXPECT_NE(run.out.find("Restore failed: " + reason), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("fcl-restore: the job failed: " + reason), std::string::npos) << run.err;
    // The file it was writing is a failed item with its line; the one after it was never reached.
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), "1") << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "not reached:"), "1 (the job ended before them)") << run.out;
    const std::string results = fcltest::readFile(fcltest::summaryField(run.out, "results file:"));
    EXPECT_NE(results.find(source("a/second") + "  [ Restore of the item did not complete:  " + reason + "  ] \t3\n"),
              std::string::npos)
        << results;
    EXPECT_NE(run.err.find("fcl-restore: not restored: " + source("a/second")), std::string::npos) << run.err;
}

TEST_F(DestinationFaults, NoInodesLeftIsSaidAndTheItemsAreFailed) {
    build({file("a/one", 1), file("a/two", 1), file("a/three", 1), file("a/four", 1), file("a/five", 1),
           file("a/six", 1), file("a/seven", 1), file("a/eight", 1)});
    pack();
    // The file system's root, the destination and each folder down to a/, then room for two of the eight files.
    const std::string folder = source("a");
    const long folders = static_cast<long>(std::count(folder.begin(), folder.end(), '/'));
    mountSmall("size=1m,nr_inodes=" + std::to_string(2 + folders + 2));
    fcltest::ProgramRun run = restoreInto(beside("small/dest"));
    EXPECT_NE(run.status, 0) << run.describe();
    EXPECT_NE(run.err.find("the destination's file system has no free inodes left"), std::string::npos)
        << run.describe();
}

TEST_F(DestinationFaults, AReadOnlyDestinationFailsTheJobBeforeItStarts) {
    build({file("a/one", 10)});
    pack();
    mountSmall("size=64k");
    ASSERT_EQ(mkdir(beside("small/dest").c_str(), 0755), 0);
    ASSERT_EQ(mount(nullptr, beside("small").c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0) << strerror(errno);
    for (const std::string& dest : {beside("small/dest"), beside("small/missing")}) {
        fcltest::ProgramRun run = restoreInto(dest);
        EXPECT_EQ(run.status, 2) << run.describe();
        EXPECT_TRUE(run.err.find(dest + " lies on a read-only file system") != std::string::npos ||
                    run.err.find("cannot create the destination " + dest + ": Read-only file system") !=
                        std::string::npos)
            << run.err;
    }
}

}  // namespace
}  // namespace e2e
