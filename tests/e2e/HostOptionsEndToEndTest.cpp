// The host's options as a user sees them: a selection restores only what it names; an existing item is kept unless
// --overwrite asks to replace it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "tests/common/ArchiveBuilder.h"
#include "tests/e2e/AdversarialSupport.h"
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
    static std::string readLink(const std::string& path) {
        char target[PATH_MAX];
        const ssize_t length = readlink(path.c_str(), target, sizeof target);
        return length < 0 ? std::string() : std::string(target, static_cast<size_t>(length));
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

// The line of the results file that names `path`: no text and status -1 when none does.
ResultLine resultOf(const std::string& resultsFile, const std::string& path) {
    for (const ResultLine& line : readResults(resultsFile)) {
        if (line.text.compare(0, path.size() + 1, path + " ") == 0) {
            return line;
        }
    }
    return ResultLine();
}

// What the results file says of an item kept because existing items are not overwritten, and of one kept because the
// copy at the destination is not older than the backup's.
const char kKeptAsExisting[] = "The item exists at the destination and was not overwritten.";
const char kKeptAsNotOlder[] =
    "The item at the destination is not older than the backup's copy and was not overwritten.";

TEST_F(HostOptionsEndToEnd, ExistingItemsAreKeptWhateverTheirTimesUnlessOverwriteIsAsked) {
    build({file("older", 100), file("newer", 100), file("same", 100), symlink("link", "older")});
    pack();
    // The user's own versions, dated against the backup's copies: older, newer, and to the second the same.
    struct Change {
        std::string name;
        time_t shift;
    };
    const Change changes[] = {{"older", -3600}, {"newer", 3600}, {"same", 0}, {"link", -3600}};
    // The job as fcl-restore plays it, and as the fir command plays it against a listening host.
    for (const bool throughFir : {false, true}) {
        SCOPED_TRACE(throughFir ? "fir" : "fcl-restore");
        auto run = [&](const std::vector<std::string>& options) {
            fcltest::ProgramRun fir;
            fcltest::ProgramRun host = throughFir ? restoreThroughFir(options, &fir) : restore(options);
            EXPECT_EQ(fir.status, throughFir ? 0 : -1) << fir.describe();
            return host;
        };
        fcltest::ProgramRun whole = run({"--overwrite"});
        ASSERT_EQ(whole.status, 0) << whole.describe();
        ASSERT_EQ(differences(), "");
        for (const Change& change : changes) {
            const std::string path = restored(change.name);
            struct stat st;
            ASSERT_EQ(lstat(source(change.name).c_str(), &st), 0);
            ASSERT_EQ(unlink(path.c_str()), 0);
            if (S_ISLNK(st.st_mode)) {
                ASSERT_EQ(::symlink("mine", path.c_str()), 0);
            } else {
                fcltest::writeFile(path, "mine");
            }
            const timespec times[2] = {{st.st_mtime + change.shift, 0}, {st.st_mtime + change.shift, 0}};
            ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
        }

        fcltest::ProgramRun plain = run({});
        EXPECT_EQ(plain.status, 0) << plain.describe();
        EXPECT_EQ(fcltest::summaryField(plain.out, "items skipped:"), "4") << plain.out;
        const std::string resultsFile = fcltest::summaryField(plain.out, "results file:");
        for (const Change& change : changes) {
            const std::string path = restored(change.name);
            EXPECT_EQ(change.name == "link" ? readLink(path) : fcltest::readFile(path), "mine") << change.name;
            EXPECT_EQ(resultOf(resultsFile, path).status, 4) << change.name;
            EXPECT_NE(resultOf(resultsFile, path).text.find(kKeptAsExisting), std::string::npos) << change.name;
        }

        fcltest::ProgramRun overwrite = run({"--overwrite"});
        EXPECT_EQ(overwrite.status, 0) << overwrite.describe();
        EXPECT_EQ(fcltest::summaryField(overwrite.out, "items skipped:"), "0") << overwrite.out;
        EXPECT_EQ(differences(), "");
    }
}

// A copy of a storage-management stub is made from the stub's restored file, and what stands at the copy's name is
// kept unless --overwrite asks to replace it.
TEST_F(HostOptionsEndToEnd, AStubCopyKeepsWhatStandsAtItsNameUnlessOverwriteIsAsked) {
    {
        fcltest::ArchiveBuilder stream(media());
        stream.directory(source());
        stream.stubGroup(source("stub"), {source("copy")}, "the stub's data");
        // The copy's pre-header is not an item's end: an item follows, as the stream never ends on a pre-header.
        stream.file(source("after"), "after");
        stream.finish();
    }
    fcltest::ProgramRun first = restore();
    ASSERT_EQ(first.status, 0) << first.describe();
    ASSERT_EQ(fcltest::readFile(restored("copy")), "the stub's data");
    fcltest::writeFile(restored("copy"), "mine");
    const timespec old[2] = {{1, 0}, {1, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, restored("copy").c_str(), old, 0), 0);

    fcltest::ProgramRun plain = restore();
    EXPECT_EQ(plain.status, 0) << plain.describe();
    EXPECT_EQ(fcltest::readFile(restored("copy")), "mine");
    const std::string resultsFile = fcltest::summaryField(plain.out, "results file:");
    EXPECT_EQ(resultOf(resultsFile, restored("copy")).status, 4) << fcltest::readFile(resultsFile);

    fcltest::ProgramRun overwrite = restore({"--overwrite"});
    EXPECT_EQ(overwrite.status, 0) << overwrite.describe();
    EXPECT_EQ(fcltest::readFile(restored("copy")), "the stub's data");
}

// A job of a FIR that leaves existing items to the rule of their times: the copy at the destination that is not older
// is kept, and its line says why.
TEST_F(HostOptionsEndToEnd, AnItemKeptForItsTimeSaysSo) {
    build({file("kept", 100)});
    packAndRestore();
    InPlaceChoice intoDest;
    intoDest.intoDest = true;
    const InPlaceRun run = restoreInChild(intoDest);
    EXPECT_TRUE(run.succeeded) << run.reason;
    EXPECT_EQ(run.skipped, 1u) << run.reason;
    EXPECT_NE(resultOf(findResults(results()), restored("kept")).text.find(kKeptAsNotOlder), std::string::npos)
        << fcltest::readFile(findResults(results()));
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
