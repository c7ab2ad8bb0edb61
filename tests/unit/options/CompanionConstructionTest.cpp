// A fresh companion's answers, its seek window from the settings, its seek batch and what its destruction frees.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "clRestore/support/PerfCounterTable.h"
#include "platform/mounts/FileShareAutoMountManager.h"
#include "platform/sync/CSyncRestorePathMapper.h"
#include "platform/tasks/EvTask.h"
#include "tests/unit/options/CompanionFixture.h"

namespace {

using fcltest::CompanionTest;

TEST_F(CompanionTest, FreshCompanionAnswersTheConstructionValues) {
    FclRestoreUNIX& c = makeCompanion();
    EXPECT_TRUE(c.getIsProxyHeaderEntry());
    EXPECT_TRUE(c.ShouldUnmountShares());
    const bool flags[] = {c.IsSyncRestore(),
                          c.IsRefCopyRestore(),
                          c.GetDeleteFileBeforeRestore(),
                          c.IsFsBlockLevelLiveRestore(),
                          c.IsRuvoSyncRestore(),
                          c.isDBRestoreFromMultiplexedBackup(),
                          c.IsStopMsgSent(),
                          c.IsTimestampRestoreEnabled(),
                          c.IsDistributedTimestampRestore(),
                          c.IsMultiNodeRestore(),
                          c.IsSkipAddtoRestoreStatus(),
                          c.IsContentIndexingRestore(),
                          c.IsVLRBackupCopyMultiStreamRestore(),
                          c.IsContainerFileLastExtent(),
                          c.ShouldAutoMountShare(),
                          c.ShouldAutoMountDestShare(),
                          c._hlinkBaseFile,
                          c._aclPassthroughOff,
                          c._distributedRestore,
                          c._hadoopRestore,
                          c._cloudRestore};
    for (size_t i = 0; i < sizeof(flags) / sizeof(flags[0]); ++i) {
        EXPECT_FALSE(flags[i]) << "flag " << i;
    }
    EXPECT_EQ(c.getRestorePathParameterIndex(), 0);
    EXPECT_EQ(c.GetMultiNodeTaskId(), 0);
    EXPECT_EQ(c.GetSyncPathMapper(), nullptr);
    EXPECT_EQ(c.GetAutoMountManager(), nullptr);
    EXPECT_EQ(c._sourceStubType, STUB_TYPE_UNKNOWN);
    EXPECT_EQ(c._lustreCopyToolState, -1);
    EXPECT_EQ(c._seeksSent.load(), 0);
    EXPECT_EQ(c._suspendReasons.load(), 0u);
    EXPECT_EQ(c._owner, nullptr);
}

TEST_F(CompanionTest, PerformanceCounterTableIsTheJobsTwentyCounters) {
    FclRestoreUNIX& c = makeCompanion();
    const std::vector<_rstrPerfCounterInfo>& table = *c.GetRestrePerfCounterInfo();
    std::vector<_rstrPerfCounterInfo> expected = restorePerfCounterInfoList();
    ASSERT_EQ(table.size(), 20u);
    for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].name, expected[i].name) << i;
        EXPECT_EQ(table[i].counterId, expected[i].counterId) << i;
    }
    EXPECT_EQ(table[1].name, "sendMsgToRestHead");
    EXPECT_EQ(table[16].name, "sendMsgToRestHead");
    EXPECT_NE(table[1].counterId, table[16].counterId);
    EXPECT_EQ(table[18].name, "Seek Decision");
}

struct BatchCase {
    const char* name;
    const char* setting;  // null: no settings file
    int batch;
    int allowed;
    bool registryLine;  // "Registry key ... exists" is written
};

void PrintTo(const BatchCase& c, std::ostream* os) {
    *os << c.name;
}

class SeekMarkerBatch : public CompanionTest, public ::testing::WithParamInterface<BatchCase> {};

TEST_P(SeekMarkerBatch, SettingGivesAUsableWindowOrTheDefaults) {
    const BatchCase& c = GetParam();
    if (c.setting != nullptr) {
        writeSettings(std::string("[FileSystemAgent]\nnSeekMarkerBatchSize = ") + c.setting + "\n");
    }
    FclRestoreUNIX& companion = makeCompanion();
    EXPECT_EQ(companion._seekMarkerBatch, c.batch);
    EXPECT_EQ(companion._seeksAllowed.load(), c.allowed);
    EXPECT_EQ(logged("Registry key nSeekMarkerBatchSize exists in FileSystemAgent section with value"), c.registryLine);
    EXPECT_TRUE(logged("Seek marker will be sent every " + std::to_string(c.batch) +
                       " msgs, Allowed=" + std::to_string(c.allowed) + " msgs"));
}

INSTANTIATE_TEST_SUITE_P(Settings, SeekMarkerBatch,
                         ::testing::Values(BatchCase{"absent", nullptr, 4096, 8192, false},
                                           BatchCase{"zero", "0", 4096, 8192, false},
                                           BatchCase{"hundred", "100", 100, 200, true},
                                           // A sign is no number to the settings reader: the key counts as absent.
                                           BatchCase{"negativeText", "-5", 4096, 8192, false},
                                           BatchCase{"negativeLow32", "0xFFFFFFFB", 4096, 8192, true},
                                           BatchCase{"twoTo31", "2147483648", 4096, 8192, true},
                                           BatchCase{"doubleOverflows", "1073741824", 4096, 8192, true},
                                           BatchCase{"largestThatDoubles", "1073741823", 1073741823, 2147483646, true},
                                           BatchCase{"low32Zero", "8589934592", 4096, 8192, true},
                                           BatchCase{"twoTo33Plus5", "8589934597", 5, 10, true}),
                         [](const ::testing::TestParamInfo<BatchCase>& info) { return std::string(info.param.name); });

TEST_F(CompanionTest, SeekBatchHasCapacityPlusOneZeroedRecords) {
    FclRestoreUNIX& c = makeCompanion();
    EXPECT_EQ(c._seekBatchCapacity, 16);
    EXPECT_EQ(c._seekBatch.count, 0u);
    ASSERT_NE(c._seekBatch.entries, nullptr);
    for (int i = 0; i <= c._seekBatchCapacity; ++i) {
        EXPECT_EQ(c._seekBatch.entries[i].offset, 0u) << i;
        EXPECT_EQ(c._seekBatch.entries[i].linkName, nullptr) << i;
    }
}

// Records beyond the count are not the companion's to free: pointing one at static storage makes a wrong free
// fail loudly under the sanitizers, and the allocated names of the counted records would leak if not freed.
TEST_F(CompanionTest, DestructionFreesTheLinkNamesOfCountedRecordsOnly) {
    static char notOwned[] = "not owned";
    FclRestoreUNIX& c = makeCompanion();
    ASSERT_NE(c._seekBatch.entries, nullptr);
    c._seekBatch.count = 3;
    for (int i = 0; i < 3; ++i) {
        c._seekBatch.entries[i].linkName = strdup("link");
    }
    c._seekBatch.entries[5].linkName = notOwned;
    companion_.reset();
    EXPECT_STREQ(notOwned, "not owned");
}

TEST_F(CompanionTest, DestructionBoundsAnOversizedCountToTheRecords) {
    FclRestoreUNIX& c = makeCompanion();
    ASSERT_NE(c._seekBatch.entries, nullptr);
    c._seekBatch.count = 1000;
    c._seekBatch.entries[16].linkName = strdup("last staging record");
    companion_.reset();
}

TEST_F(CompanionTest, DestructionDeletesTheOwnedServiceObjects) {
    FclRestoreUNIX& c = makeCompanion();
    c._autoMountMgr = new FileShareAutoMountManager();
    c.SetSyncPathMapper(new CSyncRestorePathMapper(7));
    companion_.reset();  // the sanitizers report a leak if either is left
}

TEST_F(CompanionTest, RuvoItemIsEmptyUntilSetAndPathDecidesForRuvoRestores) {
    FclRestoreUNIX& c = makeCompanion();
    EXPECT_TRUE(c.EmptyRuvoSyncRestoreObjects());
    c.SetRuvoSyncObjects("guid", "/p", "v1", true);
    EXPECT_FALSE(c.EmptyRuvoSyncRestoreObjects());
    EXPECT_TRUE(logged("Recived GUID=[guid], Path=[/p], VTag=[v1] for LAST FILE"));
    c.SetRuvoSyncObjects("", "/p", "", false);
    EXPECT_TRUE(c.EmptyRuvoSyncRestoreObjects());
    c._ruvoRestore = true;
    EXPECT_FALSE(c.EmptyRuvoSyncRestoreObjects());
    c.ResetRuvoObjects();
    EXPECT_TRUE(c.EmptyRuvoSyncRestoreObjects());
    EXPECT_FALSE(c._ruvoLastFile);
    EXPECT_EQ(c.GenerateRuvoRestoreStagingPath("x"), "");
}

TEST_F(CompanionTest, AutoMountOptionsReachAManagerOnlyOnceItExists) {
    FclRestoreUNIX& c = makeCompanion();
    c.SetAutoMountOptions("vers=3");
    EXPECT_EQ(c.GetAutoMountOptions(), "vers=3");
    c._autoMountMgr = new FileShareAutoMountManager();
    EXPECT_EQ(c._autoMountMgr->GetAutoMountOptions(), "");
    c.SetAutoMountOptions("vers=4");
    EXPECT_EQ(c._autoMountMgr->GetAutoMountOptions(), "vers=4");
}

TEST_F(CompanionTest, AccessorsStoreWhatTheyAreGiven) {
    FclRestoreUNIX& c = makeCompanion();
    c.DisableACLPassthrough();
    c.DisableACLPassthrough();
    EXPECT_TRUE(c._aclPassthroughOff);
    c.setDBRestoreFromMultiplexedBackup(true);
    c.incrementRestorePathIndex();
    c.incrementRestorePathIndex();
    EXPECT_EQ(c.getRestorePathParameterIndex(), 2);
    c.resetDBRestoreFromMultiplexedBackup();
    EXPECT_FALSE(c.isDBRestoreFromMultiplexedBackup());
    EXPECT_EQ(c.getRestorePathParameterIndex(), 0);
    c.UpdateTotalProcExtents(3);
    c.UpdateTotalProcExtents(4);
    EXPECT_EQ(c._totalProcExtents, 7u);
    c.setEBLongRealPath("/long/path");
    EXPECT_EQ(c.getEBLongRealPath(), "/long/path");
    c.SetSourceStubType(STUB_TYPE_CELERRA);
    EXPECT_EQ(c._sourceStubType, STUB_TYPE_CELERRA);
    c.SetDestDirOrig("//server/share");
    EXPECT_EQ(c.GetDestDirOrig(), "//server/share");
    EXPECT_EQ(c.GetRestoreTsHandler(), &c._restoreTsHandler);
    EXPECT_EQ(c.GetFileExtentContainerConfigs(), &c._containerTable);
}

TEST_F(CompanionTest, SuspendAddsReasonsAndResumeClearsThemAll) {
    FclRestoreUNIX& c = makeCompanion();
    c.SuspendRestoreMessageProcessor(RESTORE_MSG_PROCESSOR_SUSPEND_SEEK_WINDOW_FULL);
    EXPECT_EQ(c._suspendReasons.load(), 1u);
    EXPECT_TRUE(logged("Suspending restore message processor, reason=1"));
    c.ResumeRestoreMessageProcessor();
    EXPECT_EQ(c._suspendReasons.load(), 0u);
    EXPECT_TRUE(logged("Resumign restore message processor"));
}

// Several threads stopping the job at once: exactly one of them is told to send the stop.
TEST_F(CompanionTest, StopIsMarkedSentForExactlyOneOfManyThreads) {
    FclRestoreUNIX& c = makeCompanion();
    std::atomic<int> senders(0);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            if (c.MarkStopMsgSent()) {
                ++senders;
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(senders.load(), 1);
    EXPECT_TRUE(c.IsStopMsgSent());
}

TEST_F(CompanionTest, RestoreTaskIsReusedUntilContentIsWanted) {
    FclRestoreUNIX& c = makeCompanion();
    boost::shared_ptr<EvRstTask> first;
    boost::shared_ptr<EvRstTask> again;
    boost::shared_ptr<EvRstTask> withContent;
    boost::shared_ptr<EvRstTask> afterContent;
    ASSERT_FALSE(c.getRestoreTaskObject(9, first, false).IsError());
    ASSERT_FALSE(c.getRestoreTaskObject(9, again, false).IsError());
    EXPECT_EQ(first, again);
    EXPECT_TRUE(logged("Reusing cached EvRstTask with m_bFetchContent=false"));
    ASSERT_FALSE(c.getRestoreTaskObject(9, withContent, true).IsError());
    EXPECT_NE(withContent, first);
    EXPECT_TRUE(c.m_bFetchContent);
    ASSERT_FALSE(c.getRestoreTaskObject(9, afterContent, false).IsError());
    EXPECT_EQ(afterContent, withContent);
}

}  // namespace
