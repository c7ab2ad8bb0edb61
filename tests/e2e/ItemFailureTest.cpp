// An item the destination cannot hold fails alone: the job goes on, the other items are restored, and the host
// exits 1 with the failure counted and named.
#include <sys/stat.h>

#include "tests/common/ArchiveBuilder.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

class ItemFailure : public EndToEnd {};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// In a user namespace that maps only the caller, as root, every other owner is refused.
bool userNamespaces() {
    return fcltest::runProgram({"unshare", "-Ur", "true"}, 30).status == 0;
}

TEST_F(ItemFailure, AFileLargerThanTheProcessMayWriteFailsAlone) {
    build({file("small", 4096), file("too large", 4 * kMiB), file("z after", 10)});
    pack();
    // Writes past 2 MiB fail with EFBIG instead of ending the process; the log stays far below that.
    fcltest::ProgramRun run =
        fcltest::runProgram({"sh", "-c", "trap '' XFSZ; exec prlimit --fsize=2097152 \"$0\" \"$@\"",
                             fcltest::toolPath("fcl-restore"), "--results", results(), media(), dest()});
    EXPECT_EQ(run.status, 1) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), "1") << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), std::to_string(sourceItems() - 1)) << run.out;
    EXPECT_EQ(fcltest::readFile(restored("small")), fcltest::readFile(source("small")));
    EXPECT_EQ(fcltest::readFile(restored("z after")), fcltest::readFile(source("z after")));
    // Standard error names the item with the results file's reason and the system's, and where the full list is;
    // standard output holds the summary alone.
    EXPECT_TRUE(contains(run.err, "fcl-restore: not restored: " + restored("too large") + ": ")) << run.err;
    EXPECT_TRUE(contains(run.err, "(File too large)")) << run.err;
    EXPECT_TRUE(contains(run.err, fcltest::summaryField(run.out, "results file:") + " lists them")) << run.err;
    EXPECT_FALSE(contains(run.out, "not restored:")) << run.out;
}

// An owner the destination refuses fails the item after its open created the file. The file must not be left
// looking restored: a later restore that keeps newer files then restores it whole.
TEST_F(ItemFailure, AnItemWhoseOwnerIsRefusedIsRestoredByTheNextRestore) {
    if (!userNamespaces()) {
        GTEST_SKIP() << "no user namespace can be made here";
    }
    build({file("plain", 10), file("foreign owner", 4096).owner(1234, 5678), file("z after", 10)});
    pack();
    fcltest::ProgramRun refused = fcltest::runProgram(
        {"unshare", "-Ur", fcltest::toolPath("fcl-restore"), "--results", results(), media(), dest()});
    EXPECT_EQ(refused.status, 1) << refused.describe();
    EXPECT_EQ(fcltest::summaryField(refused.out, "items failed:"), "1") << refused.out;
    EXPECT_EQ(fcltest::readFile(restored("z after")), fcltest::readFile(source("z after")));

    fcltest::ProgramRun again = restore();
    EXPECT_EQ(fcltest::summaryField(again.out, "items failed:"), "0") << again.describe();
    EXPECT_TRUE(fcltest::readFile(restored("foreign owner")) == fcltest::readFile(source("foreign owner")))
        << "the failed item was not restored again";
    struct stat copy = {};
    struct stat original = {};
    ASSERT_EQ(lstat(restored("foreign owner").c_str(), &copy), 0);
    ASSERT_EQ(lstat(source("foreign owner").c_str(), &original), 0);
    EXPECT_EQ(copy.st_mtime, original.st_mtime);
    EXPECT_EQ(copy.st_uid, 1234u);
}

// A directory whose item fails (here its owner is refused) is never left more open than it was backed up: it stays
// closed to group and others, even with a file-creation mask of 0, while what lies inside it is restored.
TEST_F(ItemFailure, ADirectoryWhoseItemFailsStaysClosedToGroupAndOthers) {
    if (!userNamespaces()) {
        GTEST_SKIP() << "no user namespace can be made here";
    }
    const struct {
        const char* name;
        uint32_t mode;
    } directories[] = {{"sticky", 01777}, {"setgid", 02775}, {"open", 0777}, {"read-only", 0555}};
    {
        fcltest::ArchiveBuilder archive(media());
        // Inside the namespace the caller is root: items of owner 0 are the caller's.
        archive.setOwner(0, 0);
        archive.directory(source());
        for (const auto& d : directories) {
            archive.header(fcltest::ItemHeader::directory(source(d.name), d.mode).owner(1234, 5678));
            archive.end();
            archive.file(source(std::string(d.name) + "/inside"), "inside\n");
        }
        archive.file(source("z after"), "after\n");
        archive.finish();
    }
    fcltest::ProgramRun run =
        fcltest::runProgram({"sh", "-c", "umask 0; exec unshare -Ur \"$0\" \"$@\"", fcltest::toolPath("fcl-restore"),
                             "--results", results(), media(), dest()});
    EXPECT_EQ(run.status, 1) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), std::to_string(std::size(directories))) << run.out;
    for (const auto& d : directories) {
        struct stat st = {};
        ASSERT_EQ(lstat(restored(d.name).c_str(), &st), 0) << d.name;
        EXPECT_EQ(st.st_mode & 07777, d.mode & 0700) << d.name << std::oct << ": mode 0" << (st.st_mode & 07777);
        EXPECT_EQ(fcltest::readFile(restored(std::string(d.name) + "/inside")), "inside\n") << d.name;
    }
    EXPECT_EQ(fcltest::readFile(restored("z after")), "after\n");
}

}  // namespace
}  // namespace e2e
