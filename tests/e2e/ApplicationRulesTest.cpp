// Items a rule of the job's application leaves out: a fake directory of a file-system backup, a PostgreSQL server's
// postmaster.pid. Each is left out, counted as skipped with its reason in the results, never as restored, and the
// job ends well.
#include <sys/stat.h>

#include "tests/common/ArchiveBuilder.h"
#include "tests/e2e/AdversarialSupport.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

const char kRuleText[] = "The item was skipped by a rule of its application.";

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

class ApplicationRules : public EndToEnd {
protected:
    // The result line of the item at `path` (status -1 when there is none); fails the test when it has several.
    ResultLine lineOf(const std::string& path) const {
        ResultLine found;
        int lines = 0;
        for (const ResultLine& line : readResults(findResults(results()))) {
            if (line.status != -1 && line.path() == path) {
                found = line;
                ++lines;
            }
        }
        EXPECT_LE(lines, 1) << path;
        return found;
    }
    void expectSkippedByRule(const std::string& path) const {
        const ResultLine line = lineOf(path);
        EXPECT_EQ(line.status, 4) << line.text;
        EXPECT_NE(line.text.find(kRuleText), std::string::npos) << line.text;
    }
    // Packs the tree and restores it with a job of `appType`, in which a rule leaves out one item: the job ends
    // well, with every other item restored.
    void restoreLeavingOneOut(uint64_t appType, const TreeLayout& tree) {
        build(tree);
        pack();
        InPlaceChoice job;
        job.appType = appType;
        const InPlaceRun run = restoreInChild(job);
        EXPECT_TRUE(run.succeeded) << run.reason;
        EXPECT_EQ(run.skipped, 1u) << run.reason;
        EXPECT_EQ(run.failed, 0u) << run.reason;
        EXPECT_EQ(run.restored, sourceItems() - 1) << run.reason;
    }
};

// A directory the backup made up (no permission bit, one link, its three times alike) is not restored: the host
// counts it skipped and exits 0.
TEST_F(ApplicationRules, AFakeDirectoryOfAFileSystemBackupIsSkippedWithItsReason) {
    const std::string root = source();
    {
        fcltest::ArchiveBuilder stream(media());
        stream.directory(root);
        stream.file(root + "/before", "before");
        fcltest::ItemHeader fake = fcltest::ItemHeader::directory(root + "/fake", 0);
        fake.linkCount = 1;
        stream.header(fake);
        stream.end();
        stream.file(root + "/after", "after");
        stream.finish();
    }
    const fcltest::ProgramRun run = restore();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), "3") << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items skipped:"), "1") << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), "0") << run.out;
    EXPECT_FALSE(exists(restored("fake")));
    EXPECT_EQ(fcltest::readFile(restored("after")), "after");
    expectSkippedByRule(root + "/fake");
}

// A PostgreSQL job leaves out the server's lock file wherever it lies; what follows it is restored.
TEST_F(ApplicationRules, APostgresJobLeavesOutThePostmasterPid) {
    restoreLeavingOneOut(0x7d, {file("pg/postmaster.pid", 20), file("pg/PG_VERSION", 3), file("pg/base/1", 8192)});
    // A PostgreSQL job drops the first component of a source path.
    auto landed = [this](const std::string& name) {
        const std::string path = source(name);
        return dest() + path.substr(path.find('/', 1));
    };
    EXPECT_FALSE(exists(landed("pg/postmaster.pid")));
    EXPECT_EQ(fcltest::readFile(landed("pg/base/1")), fcltest::readFile(source("pg/base/1")));
    expectSkippedByRule(source("pg/postmaster.pid"));
}

// A job of the application that marks items with its GUID leaves the marked items out; the job still ends well.
// Its results go to a plain file: the line says why the item was skipped.
TEST_F(ApplicationRules, AMarkedItemIsLeftOut) {
    const std::string marked = "data/{20d03aa2-7726-42d8-8381-fdda7a8a1c47}.bin";
    restoreLeavingOneOut(0x16, {file(marked, 100), file("data/kept", 10)});
    EXPECT_FALSE(exists(restored(marked)));
    const std::string lines = fcltest::runProgram({"sh", "-c", "cat \"$0\"/*/*/restore.out", results()}).out;
    EXPECT_NE(lines.find(source(marked) + "  [ "), std::string::npos) << lines;
    EXPECT_NE(lines.find(kRuleText), std::string::npos) << lines;
}

}  // namespace
}  // namespace e2e
