// The restore end: folder times, the final statistics, the restore end to the restore head, the failure cause of a
// file-system job in which nothing succeeded, the partial-restore summary of database jobs, the results end line,
// the reboot notice and the final report, and the stop of both loops.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>

#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/events/EvEvent.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/PlatformPaths.h"
#include "platform/timestamps/CRestoreTimestampHandler.h"
#include "tests/unit/engine/JobFixture.h"

namespace jobtest {
namespace {

const long long kJobId = 4711;
const unsigned long kZendrel = 2;

// A job that records its final progress report instead of sending it.
class EndJob : public FclRestore {
public:
    void updateRestoreProgress(int final) override { progress.push_back(final); }
    std::vector<int> progress;
};

// The Unix factory of a job whose locked files may need a reboot.
class EndFactory : public FsRestoreUnixObjectsFactory {
public:
    EndFactory(FclRestore* job, unsigned long options, bool reboot)
        : FsRestoreUnixObjectsFactory(nullptr, nullptr, 0, nullptr, options, job) {
        _reboot = reboot ? 1 : 0;
    }
};

char* copyOf(const char* text) {
    char* copy = new char[std::strlen(text) + 1];
    std::strcpy(copy, text);
    return copy;
}

struct Outcomes {
    int succeeded;
    int skipped;
    int failed;
};

class RestoreEndTest : public JobFixture {
protected:
    EndJob& prepare(unsigned long appType, unsigned long options, Outcomes outcomes = {2, 1, 1}, bool reboot = false) {
        EndJob* job = makeJob<EndJob>();
        job->_initData = new FSRInitData;
        job->_initData->appType = appType;
        job->_initData->jobId = kJobId;
        job->_initData->zendrelNumber = kZendrel;
        job->_initData->numFiles = 4;
        job->_initData->subclientName = copyOf("sub1");
        job->_clientName = copyOf("client1");
        job->_event = new EvEvent;
        job->_statistics = new FsRestoreStatistics(4);
        for (int i = 0; i < outcomes.succeeded; ++i) {
            job->_statistics->setCurrFileSize(100);
            job->_statistics->setCurrFileCompSize(40);
            job->_statistics->fileSucceeded();
        }
        for (int i = 0; i < outcomes.skipped; ++i) {
            job->_statistics->setCurrFileSize(7);
            job->_statistics->fileSkipped();
        }
        for (int i = 0; i < outcomes.failed; ++i) {
            job->_statistics->setCurrFileSize(50);
            job->_statistics->fileFailed();
        }
        job->_factory = new EndFactory(job, options, reboot);
        job->_network = engineEnd_.get();
        job->_headSession = head_.jobEnd.get();
        job->_rstJobClient = new WZRstJobClient;
        job->_rstJobClientReady = 1;
        wzplatform::clearPendingCauses();
        return *job;
    }
    // The raw results file of the job, with one item line in it.
    void giveRawResults(FclRestore& job) {
        rawPath_ = scratch_ / "raw.results";
        job._rawResultsMode = 1;
        job._rawResultsFile = fopen(rawPath_.c_str(), "w");
        ASSERT_NE(job._rawResultsFile, nullptr);
        fprintf(job._rawResultsFile, "/item 1\n");
    }
    std::string summaryPath() const {
        return wzplatform::jobResultsDirectory() + "/WZ_JobResults/" + std::to_string(kZendrel) + "/0/" +
               std::to_string(kJobId) + "/PartialRestore.txt";
    }
    static bool exists(const std::string& path) {
        struct stat st;
        return ::lstat(path.c_str(), &st) == 0;
    }

    HeadPair head_;
    std::string rawPath_;
};

TEST_F(RestoreEndTest, EveryStepRunsAndBothLoopsStop) {
    wzlog::ScopedCapture log;
    EndJob& job = prepare(29, FSR_OPT_REPORT_PROGRESS);
    giveRawResults(job);
    EXPECT_TRUE(job.OnMsgRestoreEnd());

    EXPECT_TRUE(log->contains("Restore on client [client1] subclient [sub1] completed..."));
    EXPECT_TRUE(log->contains("File Statistics: Total [4], Succeeded [2], Skipped [1] Failed [1]"));
    EXPECT_TRUE(log->contains("Byte Statistics: Total [257], Succeeded [200], Failed [50]"));
    EXPECT_TRUE(log->contains("sending FSR_MSG_RESTORE_END to FSRestoreHead"));
    EXPECT_EQ(head_.next(5), FSR_MSG_RESTORE_END);
    EXPECT_EQ(fcltest::readFile(rawPath_),
              "/item 1\nEndRestoreByJob pid:" + std::to_string(getpid()) + " MediaGrpId\n");
    EXPECT_EQ(job._rawResultsFile, nullptr);
    EXPECT_EQ(job.progress, std::vector<int>{1}) << "the final report";
    EXPECT_EQ(job._terminateReceiveMsgs, 1);
    EXPECT_EQ(job._terminateProcessMsgs, 1);
    EXPECT_EQ(job._terminateReadPipeline, 0) << "the reader ended with its archive";
    EXPECT_FALSE(job.isFatalError());
    EXPECT_TRUE(wzplatform::pendingCauses().empty());
    EXPECT_FALSE(exists(summaryPath())) << "a file-system job leaves no partial-restore summary";
}

TEST_F(RestoreEndTest, FolderTimesAreAppliedAndTheHandlerClosed) {
    struct Case {
        const char* name;
        bool distributed;
        long long modified;  // the folder's time afterwards
    };
    const Case cases[] = {
        {"ordinary job", false, 1000000},
        {"distributed restore: its timestamp phase applies them", true, 2000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wzlog::ScopedCapture log(-1);
        EndJob& job = prepare(29, FSR_OPT_REPORT_PROGRESS);
        job._fclRestoreUnix->_distributedRestore = c.distributed;
        job._fclRestoreUnix->SetTimestampRestoreEnabled(true);
        const std::string folder = scratch_ / "folder";
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
        ASSERT_TRUE(job.InitializeRestoreTimestampHandler());
        boost::shared_ptr<CTimestampData> times = boost::make_shared<CTimestampData>();
        times->SetFileName(folder);
        times->SetModifiedTime(CTimeStamp::FromUnixTime(1000000));
        times->SetAccessTime(CTimeStamp::FromUnixTime(1000000));
        ASSERT_FALSE((*job.GetRestoreTimestampHandler())->Add(times).IsError());
        const struct timespec later[2] = {{2000000, 0}, {2000000, 0}};  // the folder was filled after it was queued
        ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), later, 0), 0);

        job.OnMsgRestoreEnd();
        struct stat st;
        ASSERT_EQ(::stat(folder.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, c.modified);
        EXPECT_EQ(log->contains("Applying timestamps to the restored folders"), !c.distributed);
        EXPECT_EQ(log->contains("Successfully applied folder timestamps"), !c.distributed);
        EXPECT_EQ((*job.GetRestoreTimestampHandler())->queuedFolders(), c.distributed ? 1u : 0u);
        ::rmdir(folder.c_str());
        destroyJob();
    }
}

TEST_F(RestoreEndTest, AHandlerThatCannotBeMadeIsLoggedAndTheEndGoesOn) {
    wzlog::ScopedCapture log;
    EndJob& job = prepare(29, FSR_OPT_REPORT_PROGRESS);
    job._fclRestoreUnix->SetTimestampRestoreEnabled(true);
    CRestoreTimestampHandler::allocationFaults().failNext(1);
    EXPECT_TRUE(job.OnMsgRestoreEnd());
    CRestoreTimestampHandler::allocationFaults().clear();
    EXPECT_TRUE(log->contains("Cannot initialize RestoreTimestampHandler"));
    EXPECT_EQ(head_.next(5), FSR_MSG_RESTORE_END);
    EXPECT_EQ(job.progress, std::vector<int>{1});
    EXPECT_EQ(job._terminateProcessMsgs, 1);
}

TEST_F(RestoreEndTest, ApplicationType11SendsNoRestoreEndButDoesTheRest) {
    EndJob& job = prepare(11, FSR_OPT_REPORT_PROGRESS);
    giveRawResults(job);
    job.OnMsgRestoreEnd();
    EXPECT_EQ(head_.next(1), 0u);
    EXPECT_EQ(job._rawResultsFile, nullptr);
    EXPECT_EQ(job.progress, std::vector<int>{1});
    EXPECT_EQ(job._terminateReceiveMsgs, 1);
}

TEST_F(RestoreEndTest, AFileSystemJobInWhichNothingSucceededRaisesItsCause) {
    struct Case {
        unsigned long appType;
        Outcomes outcomes;
        int greenplumOption;
        bool raised;
    };
    const Case cases[] = {
        {17, {0, 0, 2}, 0, true},  {17, {1, 0, 2}, 0, false}, {17, {0, 3, 0}, 0, false},
        {17, {0, 0, 2}, 1, false}, {29, {0, 1, 1}, 0, true},  {5, {0, 0, 2}, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.appType) + " " + std::to_string(c.outcomes.succeeded) + "/" +
                     std::to_string(c.outcomes.failed) + " greenplum " + std::to_string(c.greenplumOption));
        EndJob& job = prepare(c.appType, FSR_OPT_REPORT_PROGRESS, c.outcomes);
        job._fclRestoreUnix->_greenplumRestoreOption = c.greenplumOption;
        job.OnMsgRestoreEnd();
        std::vector<int> codes;
        for (const JMPendingCause& cause : wzplatform::pendingCauses()) {
            codes.push_back(cause.code);
        }
        EXPECT_EQ(codes, c.raised ? std::vector<int>{0x17000074} : std::vector<int>{});
        destroyJob();
    }
}

TEST_F(RestoreEndTest, DatabaseJobsLeaveAPartialRestoreSummary) {
    for (unsigned long appType : {5UL, 0x16UL, 0x87UL}) {
        SCOPED_TRACE(appType);
        EndJob& job = prepare(appType, 0);
        job.OnMsgRestoreEnd();
        EXPECT_EQ(fcltest::readFile(summaryPath()), "200 80 2\n");
        ::unlink(summaryPath().c_str());
        destroyJob();
    }
    EndJob& job = prepare(0x68, 0);
    job.OnMsgRestoreEnd();
    EXPECT_FALSE(exists(summaryPath()));
}

TEST_F(RestoreEndTest, WithoutProgressReportsTheResultsStayOpenButTheLoopsStop) {
    EndJob& job = prepare(29, 0, {2, 1, 1}, true);
    giveRawResults(job);
    job.OnMsgRestoreEnd();
    EXPECT_NE(job._rawResultsFile, nullptr) << "no end line: the destructor closes the file";
    EXPECT_TRUE(job.progress.empty());
    EXPECT_FALSE(fir_->waitFor({FSR_MSG_REBOOT_REQUIRED}, 500));
    EXPECT_EQ(job._terminateReceiveMsgs, 1);
    EXPECT_EQ(job._terminateProcessMsgs, 1);
    destroyJob();
    EXPECT_EQ(fcltest::readFile(rawPath_), "/item 1\n");
}

TEST_F(RestoreEndTest, RawResultsEndWithTheLineOfTheirKind) {
    for (bool distributed : {false, true}) {
        SCOPED_TRACE(distributed ? "distributed" : "by job");
        EndJob& job = prepare(5, FSR_OPT_REPORT_PROGRESS);
        job._fclRestoreUnix->_distributedRestore = distributed;
        giveRawResults(job);
        job.OnMsgRestoreEnd();
        const std::string pid = std::to_string(getpid());
        EXPECT_EQ(fcltest::readFile(rawPath_), "/item 1\n" +
                                                   (distributed ? "EndDistributedRestore pid:" + pid
                                                                : "EndRestoreByJob pid:" + pid + " MediaGrpId") +
                                                   "\n");
        EXPECT_EQ(job._rawResultsFile, nullptr);
        destroyJob();
    }
}

TEST_F(RestoreEndTest, LockedFilesAskTheFirForAReboot) {
    wzlog::ScopedCapture log;
    EndJob& job = prepare(29, FSR_OPT_REPORT_PROGRESS, {2, 1, 1}, true);
    job.OnMsgRestoreEnd();
    EXPECT_TRUE(log->contains("Reboot [client1] to complete restoration of locked files"));
    EXPECT_TRUE(fir_->waitFor({FSR_MSG_REBOOT_REQUIRED}, 10000));
    EXPECT_EQ(job.progress, std::vector<int>{1});
}

TEST_F(RestoreEndTest, JobsCountedAtTheEndTakeTheirFileCountFromTheStatistics) {
    struct Case {
        const char* name;
        unsigned long appType;
        void (*kind)(FclRestoreUNIX& unix);
        unsigned long numFiles;
        bool mysqlLine;
    };
    const Case cases[] = {
        {"ordinary", 29, [](FclRestoreUNIX&) {}, 99, false},
        {"ordinary MySQL", 0x68, [](FclRestoreUNIX&) {}, 99, false},
        {"block-level live", 29, [](FclRestoreUNIX& u) { u._fsBlockLevelLiveRestore = true; }, 3, false},
        {"distributed MySQL", 0x68, [](FclRestoreUNIX& u) { u._distributedRestore = true; }, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wzlog::ScopedCapture log;
        EndJob& job = prepare(c.appType, 0, {1, 2, 0});
        job._initData->numFiles = 99;
        c.kind(*job._fclRestoreUnix);
        job.OnMsgRestoreEnd();
        EXPECT_EQ(job._initData->numFiles, c.numFiles);
        EXPECT_EQ(log->contains(" MySql Snap stop operation "), c.mysqlLine);
        destroyJob();
    }
}

}  // namespace
}  // namespace jobtest
