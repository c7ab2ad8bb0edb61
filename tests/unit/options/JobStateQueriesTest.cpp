// The job object's questions about the kind of restore, answered from its Unix companion.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"

namespace {

class JobStateQueries : public ::testing::Test {
protected:
    FclRestoreUNIX& companion() { return *job_.getUnixCompanion(); }

    wzlog::ScopedCapture capture_;
    FclRestore job_;
};

TEST_F(JobStateQueries, FreshJobAnswersNoSpecialKind) {
    FclRestore& j = job_;
    const bool kinds[] = {j.IsRuvoSyncRestore(),
                          j.IsRuvoRestore(),
                          j.IsHadoopRestore(),
                          j.IsReplicateHadoopExtentsAfterConcat(),
                          j.IsCacheDBRestore(),
                          j.IsDontRestoreData(),
                          j.isDistributedRestore(),
                          j.IsSpannerInstance(),
                          j.IsCloudRestore(),
                          j.IsHBaseRestore(),
                          j.IsDestinationGluster(),
                          j.IsFileDeleteBeforeRestore(),
                          j.IsVLRBackupCopyMultiStreamRestore(),
                          j.IsTimestampRestoreEnabled(),
                          j.IsDistributedTimestampRestore(),
                          j.IsMultiNodeRestore(),
                          j.IsContentIndexingRestore(),
                          j.IsSolrDBRestore(),
                          j.IsSolrCloudRestore(),
                          j.IsLiveSyncRestore(),
                          j.IsAutoScaleIndexRestore(),
                          j.isDBRestoreFromMultiplexedBackup(),
                          j.IsSkipAddtoRestoreStatus()};
    for (size_t i = 0; i < sizeof(kinds) / sizeof(kinds[0]); ++i) {
        EXPECT_FALSE(kinds[i]) << "question " << i;
    }
    EXPECT_EQ(j.GetHadoopDestinationInstanceID(), 0u);
    EXPECT_EQ(j.getGreenplumRestoreOption(), 0);
    EXPECT_EQ(j.getDestAppType(), 0u);
    EXPECT_EQ(j.GetMultiNodeTaskId(), 0);
    EXPECT_EQ(j.GetSolrCloudClientID(), 0u);
    EXPECT_EQ(j.IsStopMsgSent(), 0);
    EXPECT_EQ(j.getRestorePathParameterIndex(), 0);
    EXPECT_TRUE(j.getDBPathRestoreList().empty());
    EXPECT_TRUE(j.getIsProxyHeaderEntry());
}

struct QueryCase {
    const char* name;
    std::function<void(FclRestoreUNIX&)> set;
    std::function<bool(FclRestore&)> answer;
};

TEST_F(JobStateQueries, EachQuestionReadsItsOwnField) {
    const QueryCase cases[] = {
        {"ruvoSync", [](FclRestoreUNIX& c) { c._ruvoSyncRestore = true; },
         [](FclRestore& j) { return j.IsRuvoSyncRestore(); }},
        {"ruvo", [](FclRestoreUNIX& c) { c._ruvoRestore = true; }, [](FclRestore& j) { return j.IsRuvoRestore(); }},
        {"hadoop", [](FclRestoreUNIX& c) { c._hadoopRestore = true; },
         [](FclRestore& j) { return j.IsHadoopRestore(); }},
        {"hadoopReplicate", [](FclRestoreUNIX& c) { c._replicateHadoopExtentsAfterConcat = true; },
         [](FclRestore& j) { return j.IsReplicateHadoopExtentsAfterConcat(); }},
        {"hadoopInstance", [](FclRestoreUNIX& c) { c._hadoopDestinationInstanceId = 1ull << 40; },
         [](FclRestore& j) { return j.GetHadoopDestinationInstanceID() == 1ull << 40; }},
        {"cacheDb", [](FclRestoreUNIX& c) { c._cacheDbRestore = true; },
         [](FclRestore& j) { return j.IsCacheDBRestore(); }},
        {"aclOnly", [](FclRestoreUNIX& c) { c._aclOnly = true; }, [](FclRestore& j) { return j.IsDontRestoreData(); }},
        {"distributed", [](FclRestoreUNIX& c) { c._distributedRestore = true; },
         [](FclRestore& j) { return j.isDistributedRestore(); }},
        {"greenplum", [](FclRestoreUNIX& c) { c._greenplumRestoreOption = -2; },
         [](FclRestore& j) { return j.getGreenplumRestoreOption() == -2; }},
        {"spanner", [](FclRestoreUNIX& c) { c._cloudInstanceType = 37; },
         [](FclRestore& j) { return j.IsSpannerInstance(); }},
        {"cloud", [](FclRestoreUNIX& c) { c._cloudRestore = true; }, [](FclRestore& j) { return j.IsCloudRestore(); }},
        {"hbase", [](FclRestoreUNIX& c) { c._hbaseRestore = true; }, [](FclRestore& j) { return j.IsHBaseRestore(); }},
        {"destAppType", [](FclRestoreUNIX& c) { c._destAppType = 0x86; },
         [](FclRestore& j) { return j.getDestAppType() == 0x86; }},
        {"gluster", [](FclRestoreUNIX& c) { c._destinationGluster = true; },
         [](FclRestore& j) { return j.IsDestinationGluster(); }},
        {"deleteBefore", [](FclRestoreUNIX& c) { c.SetDeleteFileBeforeRestore(true); },
         [](FclRestore& j) { return j.IsFileDeleteBeforeRestore(); }},
        {"vlr", [](FclRestoreUNIX& c) { c._vlrBackupCopyRestore = true; },
         [](FclRestore& j) { return j.IsVLRBackupCopyMultiStreamRestore(); }},
        {"timestamps", [](FclRestoreUNIX& c) { c.SetTimestampRestoreEnabled(true); },
         [](FclRestore& j) { return j.IsTimestampRestoreEnabled(); }},
        {"timestampPhase", [](FclRestoreUNIX& c) { c._distributedTimestampPhase = true; },
         [](FclRestore& j) { return j.IsDistributedTimestampRestore(); }},
        {"multiNode", [](FclRestoreUNIX& c) { c._multiNodeRestore = true; },
         [](FclRestore& j) { return j.IsMultiNodeRestore(); }},
        {"taskId", [](FclRestoreUNIX& c) { c.SetMultiNodeTaskId(12); },
         [](FclRestore& j) { return j.GetMultiNodeTaskId() == 12; }},
        {"contentIndexing", [](FclRestoreUNIX& c) { c._contentIndexingRestore = true; },
         [](FclRestore& j) { return j.IsContentIndexingRestore(); }},
        {"solrDb", [](FclRestoreUNIX& c) { c._solrDBRestore = true; },
         [](FclRestore& j) { return j.IsSolrDBRestore(); }},
        {"solrCloud", [](FclRestoreUNIX& c) { c._solrCloudRestore = true; },
         [](FclRestore& j) { return j.IsSolrCloudRestore(); }},
        {"solrClientId", [](FclRestoreUNIX& c) { c._solrCloudClientId = 99; },
         [](FclRestore& j) { return j.GetSolrCloudClientID() == 99; }},
        {"stopSent", [](FclRestoreUNIX& c) { c.SetStopMsgSent(true); },
         [](FclRestore& j) { return j.IsStopMsgSent() == 1; }},
        {"proxyHeader", [](FclRestoreUNIX& c) { c.setIsProxyHeaderEntry(false); },
         [](FclRestore& j) { return !j.getIsProxyHeaderEntry(); }},
        {"multiplexed", [](FclRestoreUNIX& c) { c.setDBRestoreFromMultiplexedBackup(true); },
         [](FclRestore& j) { return j.isDBRestoreFromMultiplexedBackup(); }},
        {"skipResults", [](FclRestoreUNIX& c) { c.SetSkipAddtoRestoreStatus(true); },
         [](FclRestore& j) { return j.IsSkipAddtoRestoreStatus(); }},
    };
    for (const QueryCase& c : cases) {
        FclRestore job;
        EXPECT_FALSE(c.answer(job)) << c.name << " already answers so on a fresh job";
        c.set(*job.getUnixCompanion());
        EXPECT_TRUE(c.answer(job)) << c.name;
    }
}

TEST_F(JobStateQueries, SpannerIsInstanceType37Only) {
    for (int type : {0, 36, 38, -37, 37 + 256}) {
        companion()._cloudInstanceType = type;
        EXPECT_FALSE(job_.IsSpannerInstance()) << type;
    }
}

TEST_F(JobStateQueries, SettersReachTheCompanion) {
    job_.SetLiveSyncRestore(true);
    job_.SetAutoScaleIndexRestore(true);
    job_.SetSkipAddtoRestoreStatus(true);
    job_.incrementRestorePathIndex();
    job_.getDBPathRestoreList().push_back("/db/a");
    EXPECT_TRUE(companion()._liveSyncRestore);
    EXPECT_TRUE(companion()._autoScaleIndexRestore);
    EXPECT_TRUE(companion().IsSkipAddtoRestoreStatus());
    EXPECT_EQ(companion().getRestorePathParameterIndex(), 1);
    EXPECT_EQ(companion()._dbPathRestoreList.size(), 1u);
    EXPECT_EQ(job_.GetSolrIndexDB(), &companion()._solrIndexDB);
    EXPECT_EQ(job_.GetRestoreTimestampHandler(), companion().GetRestoreTsHandler());
}

// A host may run a job whose companion is gone; the guarded questions answer their defaults then.
TEST_F(JobStateQueries, GuardedQuestionsAnswerDefaultsWithoutACompanion) {
    FclRestoreUNIX* kept = job_._fclRestoreUnix;
    kept->_distributedRestore = kept->_solrDBRestore = kept->_solrCloudRestore = true;
    kept->_solrCloudClientId = 5;
    kept->SetStopMsgSent(true);
    job_._fclRestoreUnix = nullptr;
    EXPECT_FALSE(job_.isDistributedRestore());
    EXPECT_FALSE(job_.IsSolrDBRestore());
    EXPECT_FALSE(job_.IsSolrCloudRestore());
    EXPECT_EQ(job_.GetSolrCloudClientID(), 0u);
    EXPECT_FALSE(job_.IsLiveSyncRestore());
    EXPECT_FALSE(job_.IsAutoScaleIndexRestore());
    EXPECT_EQ(job_.IsStopMsgSent(), 0);
    job_.SetLiveSyncRestore(true);
    job_.SetAutoScaleIndexRestore(true);
    job_._fclRestoreUnix = kept;
    EXPECT_FALSE(kept->_liveSyncRestore);
    EXPECT_FALSE(kept->_autoScaleIndexRestore);
}

TEST_F(JobStateQueries, JobClientIsNullUntilRegistered) {
    EXPECT_EQ(job_.GetJobClient(), nullptr);
    job_._rstJobClient = new WZRstJobClient();
    EXPECT_EQ(job_.GetJobClient(), nullptr);
    job_._rstJobClientReady = 1;
    EXPECT_EQ(job_.GetJobClient(), job_._rstJobClient);
}

class ValidateOnlyFactory : public FsRestoreUnixObjectsFactory {
public:
    ValidateOnlyFactory(FclRestore* job, bool validateOnly)
        : FsRestoreUnixObjectsFactory(nullptr, nullptr, 0, nullptr, 0, job) {
        _validateOnlyOption = validateOnly;
    }
};

struct ValidateOnlyCase {
    const char* name;
    bool factory;
    bool validateOnly;
    bool statistics;
    int failedFiles;
    bool jobClient;
    bool raised;  // the pending cause, once per call
};

const ValidateOnlyCase kValidateOnlyCases[] = {
    {"failed validation", true, true, true, 1, true, true},   {"several failed files", true, true, true, 3, true, true},
    {"no failed file", true, true, true, 0, true, false},     {"not validate-only", true, false, true, 2, true, false},
    {"no factory yet", false, true, true, 1, true, false},    {"no statistics yet", true, true, false, 1, true, false},
    {"no job client yet", true, true, true, 1, false, false},
};

TEST_F(JobStateQueries, FailedValidationLeavesThePendingCauseOncePerCall) {
    for (const ValidateOnlyCase& c : kValidateOnlyCases) {
        SCOPED_TRACE(c.name);
        wzplatform::clearPendingCauses();
        FclRestore job;
        if (c.factory) {
            job._factory = new ValidateOnlyFactory(&job, c.validateOnly);
        }
        if (c.statistics) {
            job._statistics = new FsRestoreStatistics(5);
            for (int i = 0; i < c.failedFiles; ++i) {
                job._statistics->fileFailed();
            }
        }
        if (c.jobClient) {
            job._rstJobClient = new WZRstJobClient();
        }
        job.SetValidateOnlyJPR();
        job.SetValidateOnlyJPR();
        const std::vector<JMPendingCause> causes = wzplatform::pendingCauses();
        ASSERT_EQ(causes.size(), c.raised ? 2u : 0u);
        for (const JMPendingCause& cause : causes) {
            EXPECT_EQ(cause.code, 0x17000091);
            EXPECT_EQ(cause.messageType, 300);
            EXPECT_FALSE(cause.withEvent);
            EXPECT_TRUE(cause.arguments.empty());
        }
    }
}

TEST_F(JobStateQueries, ResettingTheCurrentFileSizesNeedsStatistics) {
    job_.ResetRestoreStatsCurFileSizeAndCompSize();
    job_._statistics = new FsRestoreStatistics(3);
    job_._statistics->setCurrFileSize(10);
    job_._statistics->setCurrFileCompSize(4);
    job_.ResetRestoreStatsCurFileSizeAndCompSize();
    EXPECT_EQ(job_._statistics->getCurrFileSize(), 0u);
    EXPECT_EQ(job_._statistics->getCurrFileCompSize(), 0u);
    EXPECT_EQ(job_._statistics->getNumBytes(), 0u);
}

TEST_F(JobStateQueries, NoPathIsAnExtentItemOnThisPlatform) {
    for (const char* path : {"", "/data/big.file_EXTENT_0001", "Extent", "/a/b"}) {
        EXPECT_FALSE(job_.IsFileExtentItem(path)) << path;
    }
}

TEST_F(JobStateQueries, ReservedOptionsParsedIntoTheCompanionAreTheJobsAnswers) {
    ASSERT_FALSE(companion()
                     .ParseInitDataReservedString("DistributedRestore=1\nDistributedMultiNodeRestore=1\n"
                                                  "SolrIndexRestoreType=2\nSolrCloudClientID=8\nHadoopInstance=3")
                     .IsError());
    EXPECT_TRUE(job_.isDistributedRestore());
    EXPECT_TRUE(job_.IsMultiNodeRestore());
    EXPECT_TRUE(job_.IsSolrCloudRestore());
    EXPECT_EQ(job_.GetSolrCloudClientID(), 8u);
    EXPECT_TRUE(job_.IsHadoopRestore());
    EXPECT_EQ(job_.GetHadoopDestinationInstanceID(), 3u);
}

}  // namespace
