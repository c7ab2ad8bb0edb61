// The conflict rules of synchronised restores: which destination items are kept, and the names the restored copies
// then take.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "clRestore/objects/FsRestoreDirectory.h"
#include "clRestore/objects/SyncConflictRules.h"
#include "platform/files/FileCallHooks.h"
#include "platform/sync/SyncRestoreSetup.h"
#include "protocol/FsrMessages.h"
#include "tests/common/LockedByChild.h"
#include "tests/unit/objects/ItemFixture.h"

namespace {

using objtest::ItemLayout;
using objtest::PathState;
using objtest::stateOf;

const unsigned long kRestored = 0;
// Every test of this process gives the same machine name: the first conflict of the process fixes it.
const char kMachine[] = "ws/../07";
const long long kLastSyncBackup = 1650000000;

using fcltest::LockedByChild;

class SyncConflict : public objtest::ItemFixture {
protected:
    SyncConflict() {
        job_._initData = new FSRInitData();
        job_._initData->jobId = kJobId;
        job_._initData->sourceMachine = new char[sizeof kMachine];
        memcpy(job_._initData->sourceMachine, kMachine, sizeof kMachine);
    }
    ~SyncConflict() override { wzsync::clearSyncRestoreSetup(); }

    void makeSyncJob(bool preserveModified) {
        wzsync::SyncRestoreSetup setup;
        setup.initResult = 0;
        setup.preserveModifiedFiles = preserveModified;
        setup.lastSyncBackupTime = kLastSyncBackup;
        wzsync::setSyncRestoreSetup(setup);
        ASSERT_FALSE(job_.getUnixCompanion()->CreateSyncPathMapper(kJobId).IsError());
        ASSERT_TRUE(job_.IsSyncRestore());
        useFactory(FSR_OPT_OVERWRITE);
    }

    static std::string conflictOf(const std::string& path) {
        std::string name;
        EXPECT_TRUE(fclsync::conflictName(path, fclsync::safeMachineName(kMachine), &name));
        return name;
    }
};

TEST(SyncConflictNames, DotOfTheLastComponentOnly) {
    const std::string m = "host";
    const std::string longest = "/" + std::string(199, 'a');
    struct Case {
        std::string path;
        std::string expected;  // "" when the path gets no conflict name
    } cases[] = {
        {"/data/report.txt", "/data/report.[host].wzconflict.txt"},
        {"/data/Makefile", "/data/Makefile.[host].wzconflict"},
        {"/data/lib.old/Makefile", "/data/lib.old/Makefile.[host].wzconflict"},
        {"/data/archive.tar.gz", "/data/archive.tar.[host].wzconflict.gz"},
        {"/data/.profile", "/data/.[host].wzconflict.profile"},
        {"relative", "relative.[host].wzconflict"},
        {longest, longest + ".[host].wzconflict"},
        {longest + "b", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 40));
        std::string out = "untouched";
        EXPECT_EQ(fclsync::conflictName(c.path, m, &out), !c.expected.empty());
        EXPECT_EQ(out, c.expected.empty() ? "untouched" : c.expected);
    }
}

TEST(SyncConflictNames, MachineNameCannotClimbOrSplitThePath) {
    struct Case {
        const char* name;
        const char* expected;
    } cases[] = {
        {"host1", "host1"},
        {"web-01.example.com", "web-01.example.com"},
        {"../../etc", ".__.__etc"},
        {"a/b", "a_b"},
        {"..", "._"},
        {"bad\nname", "bad_name"},
        {"", ""},
        {nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name != nullptr ? c.name : "(null)");
        const std::string safe = fclsync::safeMachineName(c.name);
        EXPECT_EQ(safe, c.expected);
        EXPECT_EQ(safe.find('/'), std::string::npos);
        EXPECT_EQ(safe.find(".."), std::string::npos);
    }
    EXPECT_EQ(fclsync::safeMachineName(std::string(100, 'x').c_str()).size(), 64u);
}

enum class Dest {
    Absent,
    Unchanged,
    Modified,
    ModifiedAtBackup,
    Locked,
    LinkToLocked,
    LinkToUnlocked,
    Directory,
    DirectoryAndConflict
};

struct RuleCase {
    const char* what;
    Dest dest;
    bool directoryItem;
    bool preserveModified;
    unsigned long expected;
    bool conflictCopy;  // the archive copy went to the conflict name, the destination item stayed
};

const RuleCase kRuleCases[] = {
    {"missing destination", Dest::Absent, false, true, kRestored, false},
    {"unchanged since the backup", Dest::Unchanged, false, true, kRestored, false},
    {"modified after the backup", Dest::Modified, false, true, fclitem::kConflictName, true},
    {"modified at the backup time", Dest::ModifiedAtBackup, false, true, fclitem::kConflictName, true},
    {"modified, changes not kept", Dest::Modified, false, false, kRestored, false},
    {"locked by another process", Dest::Locked, false, false, fclitem::kConflictName, true},
    {"link to a locked file", Dest::LinkToLocked, false, false, fclitem::kConflictName, true},
    {"link to a file nobody locks", Dest::LinkToUnlocked, false, false, kRestored, false},
    {"file over a directory", Dest::Directory, false, true, fclitem::kConflictName, true},
    {"file over a directory and its conflict name", Dest::DirectoryAndConflict, false, true, fclitem::kSkippedExisting,
     false},
    {"directory over a directory", Dest::Directory, true, true, kRestored, false},
    {"directory over a modified file", Dest::Modified, true, true, fclitem::kSkippedExisting, false},
};

TEST_F(SyncConflict, DestinationStatesAndTheirOutcome) {
    const std::string lockedOutside = outside_ + "/locked";
    fcltest::writeFile(lockedOutside, "outside, locked");
    LockedByChild outsideLock(lockedOutside);
    const std::string unlockedOutside = outside_ + "/unlocked";
    fcltest::writeFile(unlockedOutside, "outside");
    int index = 0;
    for (const RuleCase& c : kRuleCases) {
        SCOPED_TRACE(c.what);
        makeSyncJob(c.preserveModified);
        const std::string path = dest_ + "/item" + std::to_string(index++) + ".txt";
        const std::string conflict = conflictOf(path);
        std::unique_ptr<LockedByChild> lock;
        switch (c.dest) {
            case Dest::Absent:
                break;
            case Dest::Unchanged:
            case Dest::Modified:
            case Dest::ModifiedAtBackup:
            case Dest::Locked: {
                fcltest::writeFile(path, "the user's copy");
                const time_t mtime = c.dest == Dest::Unchanged          ? kLastSyncBackup - 1
                                     : c.dest == Dest::ModifiedAtBackup ? kLastSyncBackup
                                     : c.dest == Dest::Locked           ? 1000
                                                                        : kLastSyncBackup + 100;
                objtest::setTimes(path, 1000, mtime);
                if (c.dest == Dest::Locked) {
                    lock.reset(new LockedByChild(path));
                }
                break;
            }
            case Dest::LinkToLocked:
                ASSERT_EQ(symlink(lockedOutside.c_str(), path.c_str()), 0);
                break;
            case Dest::LinkToUnlocked:
                ASSERT_EQ(symlink(unlockedOutside.c_str(), path.c_str()), 0);
                break;
            case Dest::DirectoryAndConflict:
                ASSERT_EQ(mkdir(conflict.c_str(), 0755), 0);
                // fall through
            case Dest::Directory:
                ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
                break;
        }
        const PathState before = stateOf(path);
        const PathState outside = stateOf(lockedOutside);

        ItemLayout plan;
        plan.mode = c.directoryItem ? S_IFDIR | 0755 : S_IFREG | 0644;
        EXPECT_EQ(c.directoryItem ? restore<FsRestoreDirectory>(path, plan) : restore(path, plan), c.expected);

        EXPECT_EQ(stateOf(lockedOutside), outside) << "a link's target changed";
        EXPECT_EQ(stateOf(unlockedOutside).content, "outside") << "a link's target changed";
        if (c.conflictCopy) {
            EXPECT_EQ(stateOf(path), before) << "the user's item was not kept";
            EXPECT_EQ(stateOf(conflict).content, plan.data);
        } else if (c.expected == fclitem::kSkippedExisting) {
            EXPECT_EQ(stateOf(path), before);
        } else {
            if (!c.directoryItem) {
                EXPECT_EQ(stateOf(path).content, plan.data);
            }
            EXPECT_FALSE(stateOf(conflict).exists) << "a conflict copy was made";
        }
    }
}

TEST_F(SyncConflict, ConflictNameKeepsItsDirectory) {
    makeSyncJob(true);
    const std::string dir = dest_ + "/lib.old";
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    const std::string path = dir + "/Makefile";
    fcltest::writeFile(path, "the user's copy");
    objtest::setTimes(path, 1000, kLastSyncBackup + 100);

    EXPECT_EQ(restore(path), fclitem::kConflictName);
    EXPECT_EQ(stateOf(path).content, "the user's copy");
    EXPECT_EQ(stateOf(path + ".[" + fclsync::safeMachineName(kMachine) + "].wzconflict").content, "archive data");
    EXPECT_FALSE(stateOf(dest_ + "/lib.[" + fclsync::safeMachineName(kMachine) + "].wzconflict.old").exists);
}

TEST_F(SyncConflict, LockedPathAtTheLengthLimit) {
    makeSyncJob(false);
    for (size_t length : {size_t(200), size_t(201)}) {
        SCOPED_TRACE(length);
        const std::string prefix = dest_ + "/n";
        ASSERT_LT(prefix.size(), length);
        const std::string path = prefix + std::string(length - prefix.size(), 'x');
        fcltest::writeFile(path, "the user's copy");
        LockedByChild lock(path);
        const PathState before = stateOf(path);

        EXPECT_EQ(restore(path), length == 200 ? fclitem::kConflictName : fclitem::kSkippedExisting);
        EXPECT_EQ(stateOf(path), before);
    }
}

// A conflict name the file system cannot hold (its names are shorter than the name the rules give): the user's item
// stays, the item fails, and the log says why at error level.
TEST_F(SyncConflict, AConflictNameTooLongForTheFileSystemFailsTheItem) {
    makeSyncJob(true);
    const std::string path = dest_ + "/long-named.txt";
    fcltest::writeFile(path, "the user's copy");
    objtest::setTimes(path, 1000, kLastSyncBackup + 100);
    const PathState before = stateOf(path);
    for (wzfiles::FileCall call : {wzfiles::FileCall::kLstat, wzfiles::FileCall::kOpen}) {
        wzfiles::failNextCalls(call, ENAMETOOLONG, 100, fclsync::kConflictTag);
    }

    EXPECT_EQ(restore(path), fclitem::kCreateFailed);
    wzfiles::clearInjectedFailures();
    EXPECT_EQ(stateOf(path), before);
    EXPECT_FALSE(stateOf(conflictOf(path)).exists);
    bool said = false;
    for (const wzlog::CaptureLogWriter::Line& line : log_->lines()) {
        said = said || (line.level == -1 && line.text.find(conflictOf(path)) != std::string::npos &&
                        line.text.find("longer than the file system allows") != std::string::npos);
    }
    EXPECT_TRUE(said) << "no error line says why the item failed";
}

TEST_F(SyncConflict, ExtentItemKeepsItsConflictNameOnTheRestart) {
    makeSyncJob(true);
    const std::string path = dest_ + "/extent.bin";
    fcltest::writeFile(path, "the user's copy");
    objtest::setTimes(path, 1000, kLastSyncBackup + 100);

    factory_->setErrCode(0);
    auto item = makeItem(dest_ + "/not-the-extent-path");
    item->_flags2 |= CXHDR_F2_EXTENT;
    item->setTranslatedPathForExtentRestore(path);
    ASSERT_EQ(item->openObject(), 1);
    EXPECT_EQ(item->_filename, conflictOf(path));
    EXPECT_EQ(factory_->getErrCode(), fclitem::kConflictName);
    EXPECT_EQ(item->_dontRestore, 0);
    item->closeObject();
    EXPECT_EQ(stateOf(path).content, "the user's copy");
}

}  // namespace
