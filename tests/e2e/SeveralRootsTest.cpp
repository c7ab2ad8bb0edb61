// A backup whose items lie under several top-level paths (a reference copy of several clients, any peer's stream):
// every item lands at DEST/<its whole source path>, through fcl-restore and through the fir command, and the
// destination directory itself never takes an item's owner, mode or times, also where --strip makes an item of it.
#include <sys/stat.h>
#include <unistd.h>

#include "tests/common/ArchiveBuilder.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

using fcltest::ArchiveBuilder;
using fcltest::ItemHeader;

constexpr uint32_t kItemTime = 5;
constexpr uid_t kItemOwner = 4321;
constexpr mode_t kDestMode = 0750;

class SeveralRoots : public EndToEnd, public ::testing::WithParamInterface<bool> {
protected:
    // Directories named `roots`, each holding a file x; every directory item carries a mode, a time and (when the test
    // runs as root) an owner that the destination must never take.
    void writeBackup(const std::vector<std::string>& roots) {
        ArchiveBuilder stream(media());
        for (const std::string& root : roots) {
            ItemHeader directory = ItemHeader::directory(root, 0777);
            directory.mtime = directory.ctime = directory.atime = kItemTime;
            if (geteuid() == 0) {
                directory.owner(kItemOwner, kItemOwner);
            }
            stream.header(directory);
            stream.end();
            stream.file(root + "/x", "x of " + root);
        }
        stream.finish();
        ASSERT_EQ(mkdir(dest().c_str(), kDestMode), 0);
        ASSERT_EQ(lstat(dest().c_str(), &destBefore_), 0);
    }
    // The job as fcl-restore plays it, or as the fir command plays it against a listening host.
    fcltest::ProgramRun run(const std::vector<std::string>& options) {
        if (!GetParam()) {
            return restore(options);
        }
        fcltest::ProgramRun fir;
        fcltest::ProgramRun host = restoreThroughFir(options, &fir);
        EXPECT_EQ(fir.status, 0) << fir.describe();
        return host;
    }
    void expectDestinationUnchanged() {
        struct stat st;
        ASSERT_EQ(lstat(dest().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode, destBefore_.st_mode);
        EXPECT_EQ(st.st_uid, destBefore_.st_uid);
        EXPECT_EQ(st.st_gid, destBefore_.st_gid);
        // Entries made in it move its modification time on, never back to an item's.
        EXPECT_GE(st.st_mtime, destBefore_.st_mtime);
        EXPECT_GE(st.st_atime, destBefore_.st_atime);
    }

    struct stat destBefore_ {};
};

TEST_P(SeveralRoots, EveryRootLandsUnderItsOwnName) {
    writeBackup({"/A", "/B", "/C"});
    for (const std::vector<std::string>& options : {std::vector<std::string>{}, {"--overwrite"}}) {
        SCOPED_TRACE(options.empty() ? "plain" : "--overwrite");
        const fcltest::ProgramRun restored = run(options);
        EXPECT_EQ(restored.status, 0) << restored.describe();
        EXPECT_EQ(fcltest::summaryField(restored.out, "items failed:"), "0") << restored.out;
        for (const std::string root : {"/A", "/B", "/C"}) {
            EXPECT_EQ(fcltest::readFile(dest() + root + "/x"), "x of " + root);
            struct stat st;
            ASSERT_EQ(lstat((dest() + root).c_str(), &st), 0) << root;
            EXPECT_EQ(st.st_mode & 07777, 0777u) << root;
            EXPECT_EQ(st.st_mtime, kItemTime) << root;
            if (geteuid() == 0) {
                EXPECT_EQ(st.st_uid, kItemOwner) << root;
            }
        }
        EXPECT_EQ(fcltest::entryNames(dest()), (std::vector<std::string>{"A", "B", "C"}));
        expectDestinationUnchanged();
    }
}

TEST_P(SeveralRoots, AnItemStrippedToTheDestinationLeavesItAsItIs) {
    writeBackup({"/A"});
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--strip", "1"}, {"--strip", "1", "--overwrite"}}) {
        SCOPED_TRACE(options.size() == 2 ? "plain" : "--overwrite");
        const fcltest::ProgramRun restored = run(options);
        EXPECT_EQ(restored.status, 0) << restored.describe();
        EXPECT_EQ(fcltest::summaryField(restored.out, "items failed:"), "0") << restored.out;
        EXPECT_EQ(fcltest::summaryField(restored.out, "items skipped:"), "1") << "the item that is the destination";
        EXPECT_EQ(fcltest::readFile(dest() + "/x"), "x of /A");
        expectDestinationUnchanged();
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, SeveralRoots, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Fir" : "FclRestore"; });

}  // namespace
}  // namespace e2e
