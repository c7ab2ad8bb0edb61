// Whether a job is a synchronised restore, and the scan lock such a job shares with the client's sync scan: taken
// at the start, waited for as long as the settings say, and given back only by the job that holds it.
#include <chrono>
#include <future>
#include <memory>
#include <string>

#include "platform/settings/PlatformPaths.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/sync/SyncRestoreSetup.h"
#include "platform/threads/WzNamedMutex.h"
#include "tests/unit/options/CompanionFixture.h"

namespace {

class SyncScanLock : public fcltest::CompanionTest {
protected:
    SyncScanLock() : runDir_(scratch_ / "install/run") { writeSettings(baseSettings()); }
    ~SyncScanLock() override {
        wzsync::clearSyncRestoreSetup();
        WzNamedMutex::timeOutFaults().clear();
    }

    std::string baseSettings() const { return "[Base]\ndBASEHOME = " + scratch_ / "install" + "\n"; }

    // A companion of a synchronised restore.
    FclRestoreUNIX& syncJob(bool preserveModified) {
        wzsync::SyncRestoreSetup setup;
        setup.initResult = 0;
        setup.preserveModifiedFiles = preserveModified;
        wzsync::setSyncRestoreSetup(setup);
        FclRestoreUNIX& job = makeCompanion();
        EXPECT_FALSE(job.CreateSyncPathMapper(77).IsError());
        EXPECT_TRUE(job.IsSyncRestore());
        capture_->clear();
        return job;
    }

    // The client's sync scan, holding the lock.
    std::unique_ptr<WzNamedMutex> scan() {
        wzplatform::makeDirectories(runDir_);
        std::unique_ptr<WzNamedMutex> holder(
            new WzNamedMutex(SXSyncMisc::syncSubClientMutexName(0).c_str(), runDir_.c_str()));
        EXPECT_TRUE(holder->tryLock());
        return holder;
    }
    bool lockIsFree() {
        WzNamedMutex probe(SXSyncMisc::syncSubClientMutexName(0).c_str(), runDir_.c_str());
        return probe.tryLock();
    }

    std::string runDir_;
};

TEST_F(SyncScanLock, TheSyncLibraryDecidesWhatTheJobIs) {
    struct Case {
        int answer;
        bool error;
        bool syncRestore;
        bool mapperKept;
    } cases[] = {{0, false, true, true}, {1, false, false, false}, {-1, true, false, false}, {2, false, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        wzsync::SyncRestoreSetup setup;
        setup.initResult = c.answer;
        wzsync::setSyncRestoreSetup(setup);
        FclRestoreUNIX& job = makeCompanion();
        CQiError error = job.CreateSyncPathMapper(5);
        EXPECT_EQ(error.IsError(), c.error);
        if (c.error) {
            EXPECT_NE(error.AsString().find("Critical error while initializing SYNC_RESTORE"), std::string::npos);
        }
        EXPECT_EQ(job.IsSyncRestore(), c.syncRestore);
        EXPECT_EQ(job.GetSyncPathMapper() != nullptr, c.mapperKept);
        EXPECT_FALSE(job.lockSyncScan().IsError());
        EXPECT_FALSE(job.unLockSyncScan().IsError());
        EXPECT_FALSE(logged("Suspending Sync Scan Check"));
    }
}

TEST_F(SyncScanLock, SettingsFileDescribesTheRestore) {
    writeSettings(baseSettings() +
                  "[SyncRestore]\nbSyncRestore = y\nbPreserveModifiedFiles = y\nnLastSyncBackupTime = 1650000000\n"
                  "sMappedPair = /home/a => /restore/a\nsMappedPair1 = /home/b=>/restore/b\n");
    FclRestoreUNIX& job = makeCompanion();
    ASSERT_FALSE(job.CreateSyncPathMapper(9).IsError());
    ASSERT_TRUE(job.IsSyncRestore());
    CSyncRestorePathMapper* mapper = job.GetSyncPathMapper();
    EXPECT_TRUE(mapper->ShouldPreserveModifiedFiles());
    EXPECT_EQ(mapper->GetLastSyncBackupTime(), 1650000000);
    ASSERT_EQ(mapper->GetMappedPaths().size(), 2u);
    EXPECT_EQ(mapper->GetMappedPaths()[1].source, "/home/b");
    EXPECT_EQ(mapper->GetMappedPaths()[1].destination, "/restore/b");

    writeSettings(baseSettings() + "[SyncRestore]\nbSyncRestore = y\nbInitFails = y\n");
    EXPECT_TRUE(makeCompanion().CreateSyncPathMapper(9).IsError());
}

TEST_F(SyncScanLock, WithoutKeptChangesNothingIsLocked) {
    auto holder = scan();
    FclRestoreUNIX& job = syncJob(false);
    EXPECT_FALSE(job.lockSyncScan().IsError());
    EXPECT_FALSE(job.unLockSyncScan().IsError());
    EXPECT_FALSE(logged("Suspending Sync Scan Check"));
    EXPECT_FALSE(logged("Resuming Sync Scan Check"));
}

TEST_F(SyncScanLock, TakenAtStartGivenBackOnce) {
    FclRestoreUNIX& job = syncJob(true);
    ASSERT_FALSE(job.lockSyncScan().IsError());
    EXPECT_TRUE(logged("Suspending Sync Scan Check"));
    EXPECT_FALSE(lockIsFree());
    EXPECT_FALSE(job.unLockSyncScan().IsError());
    EXPECT_FALSE(job.unLockSyncScan().IsError());
    EXPECT_EQ(capture_->count("Resuming Sync Scan Check"), 1u);
    EXPECT_TRUE(lockIsFree());

    // A job that ends without its release gives the lock back as it goes.
    ASSERT_FALSE(syncJob(true).lockSyncScan().IsError());
    EXPECT_FALSE(lockIsFree());
    companion_.reset();
    EXPECT_TRUE(lockIsFree());
}

// The wait the lock is given: the setting's seconds as milliseconds, never under ten minutes; without a setting, or
// with one too large to count in milliseconds, no limit at all. Each is waited out until the scan lets go.
TEST_F(SyncScanLock, TimeOutSettingsAndTheirWait) {
    struct Case {
        const char* setting;  // null: absent
        const char* logLine;  // null: none
        unsigned long waitMs;
    } cases[] = {
        {nullptr, nullptr, WzNamedMutex::kNoTimeOut},
        {"10", "Timeout for sync lock set to 600 seconds", 600000},
        {"601", "Timeout for sync lock set to 601 seconds", 601000},
        {"900", "Timeout for sync lock set to 900 seconds", 900000},
        {"86400", "Timeout for sync lock set to 86400 seconds", 86400000},
        {"18446744073709551615", "Timeout for sync lock set to", WzNamedMutex::kNoTimeOut},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting != nullptr ? c.setting : "absent");
        writeSettings(baseSettings() + (c.setting != nullptr ? std::string("[FileSystemAgent]\n = ") + c.setting + "\n"
                                                             : std::string()));
        auto holder = scan();
        FclRestoreUNIX& job = syncJob(true);
        WzNamedMutex::timeOutFaults().failNext(1);
        EXPECT_TRUE(job.lockSyncScan().IsError());
        EXPECT_EQ(WzNamedMutex::lastFaultedWaitMs(), c.waitMs);

        // Every one of these waits long: none may end at once because its milliseconds overflowed.
        auto taking = std::async(std::launch::async, [&job] { return job.lockSyncScan(); });
        EXPECT_EQ(taking.wait_for(std::chrono::milliseconds(400)), std::future_status::timeout);
        holder.reset();
        ASSERT_EQ(taking.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        EXPECT_FALSE(taking.get().IsError());
        EXPECT_TRUE(logged("Suspending Sync Scan Check"));
        EXPECT_EQ(c.logLine != nullptr && logged(c.logLine), c.logLine != nullptr);
        EXPECT_FALSE(job.unLockSyncScan().IsError());
    }
}

TEST_F(SyncScanLock, TimedOutJobLeavesTheOthersLockAlone) {
    writeSettings(baseSettings() + "[FileSystemAgent]\n = 600\n");
    auto holder = scan();
    FclRestoreUNIX& job = syncJob(true);
    WzNamedMutex::timeOutFaults().failNext(1);
    CQiError error = job.lockSyncScan();
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(FXErrorUtil::GetEventMessage(error), 0x3e0000b6);
    EXPECT_NE(error.AsString().find("timeout: another sync operaton is running"), std::string::npos);

    EXPECT_FALSE(job.unLockSyncScan().IsError());
    EXPECT_FALSE(logged("Resuming Sync Scan Check"));
    companion_.reset();
    EXPECT_TRUE(holder->isLocked());
    EXPECT_FALSE(lockIsFree()) << "the timed-out job gave back a lock it never held";
}

}  // namespace
