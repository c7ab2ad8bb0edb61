// The fatal stop, the disk-full stop, sends to the restore head, keep-alives and the seek marker.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <thread>
#include <vector>

#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/FsRestoreFile.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/events/EvEvent.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "tests/unit/engine/JobFixture.h"

namespace jobtest {
namespace {

std::atomic<long long> g_now{0};
long long fakeClock() {
    return g_now.load();
}

// An open item whose destination is a real file.
class FileObject : public FsRestoreObject {
public:
    explicit FileObject(std::string path) : path_(std::move(path)) { fcltest::writeFile(path_, "partial"); }
    int closeObject() override {
        ++closes;
        return 1;
    }
    std::string getTranslatedPathname() override { return path_; }
    static int closes;

private:
    std::string path_;
};
int FileObject::closes = 0;

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

class StopTest : public JobFixture {};

TEST_F(StopTest, ConcurrentFatalStopsSendOneStopToTheRestoreHead) {
    FclRestore job;
    HeadPair head;
    job._headSession = head.jobEnd.get();
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            while (!go) {
            }
            job.terminateOnFatalError();
        });
    }
    go = true;
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(head.next(5), FSR_MSG_STOP);
    EXPECT_EQ(head.next(1), 0u);
    EXPECT_EQ(job._fatalError, 1);
    EXPECT_EQ(job._terminateReceiveMsgs, 1);
    EXPECT_EQ(job._terminateProcessMsgs, 1);
    EXPECT_EQ(job._terminateReadPipeline, 1);
    EXPECT_TRUE(job._fclRestoreUnix->IsStopMsgSent());
}

TEST_F(StopTest, ReasonIsLoggedOnlyWhenWritten) {
    wzlog::ScopedCapture log;
    FclRestore quiet;
    quiet.terminateOnFatalError();
    EXPECT_FALSE(log->contains("Job Failure reason"));
    // No restore-head session: the send fails, the mark stays, and no later stop tries again.
    EXPECT_EQ(log->count("not connected!"), 1u);
    quiet.terminateOnFatalError();
    EXPECT_EQ(log->count("not connected!"), 1u);

    FclRestore failing;
    failing.setFailureReason("Restore: Something broke.");
    failing.terminateOnFatalError();
    EXPECT_TRUE(log->contains("Restore: Job Failure reason is Restore: Something broke.."));
}

TEST_F(StopTest, StopFromTheFirIsNotSentAgainByAFatalStop) {
    FclRestore job;
    HeadPair head;
    job._headSession = head.jobEnd.get();
    job._fclRestoreUnix->SetStopMsgSent(true);
    job.terminateOnFatalError();
    EXPECT_EQ(head.next(1), 0u);
}

TEST_F(StopTest, DiskFullStopsTheJobAndRemovesThePartialFile) {
    for (bool remove : {true, false}) {
        SCOPED_TRACE(remove ? "remove partial files" : "keep partial files");
        wzplatform::clearRaisedEvents();
        wzplatform::clearPendingCauses();
        makeJob();
        ASSERT_EQ(startJob(), FSR_MSG_SUCCESS);
        HeadPair head;
        job_->_headSession = head.jobEnd.get();
        const std::string partial = scratch_ / (remove ? "partial-a" : "partial-b");
        job_->_ro = new FileObject(partial);
        job_->_removeFileOnError = remove;
        FileObject::closes = 0;

        job_->processDiskFullError();  // returns: the job ends through the ordinary fatal path

        EXPECT_EQ(job_->_fatalError, 1);
        EXPECT_EQ(head.next(5), FSR_MSG_STOP);
        EXPECT_EQ(exists(partial), !remove);
        EXPECT_EQ(job_->_ro == nullptr, remove);
        EXPECT_EQ(FileObject::closes, remove ? 1 : 0);
        std::vector<JMPendingCause> causes = wzplatform::pendingCauses();
        ASSERT_EQ(causes.size(), 1u);
        EXPECT_EQ(causes[0].code, 0x17000046);
        EXPECT_EQ(causes[0].arguments.size(), 2u);
        std::vector<EvRaisedEvent> events = wzplatform::raisedEvents();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].severity, EV_CRITICAL);
        EXPECT_EQ(events[0].messageId, 0x17000046);
        job_->_headSession = nullptr;
        destroyJob();  // closes a still-open item without removing it
        EXPECT_EQ(exists(partial), !remove);
    }
}

// An item whose open failed for the full disk never opened its name: what the name holds is not the item's.
TEST_F(StopTest, DiskFullAtAnOpenLeavesWhatTheNameHolds) {
    FclRestore job;
    std::string dest = scratch_.path();
    FsRestoreUnixObjectsFactory factory(nullptr, nullptr, 0, &dest[0], 0, &job);
    const std::string path = scratch_ / "existing";
    fcltest::writeFile(path, "a user's file");
    CXFileHeader header;
    header.mode = 0100644;
    auto* file = new FsRestoreFile(&header, &factory);
    file->_filename = path;
    factory.setErrCode(0x17000046);
    job._ro = file;
    job._removeFileOnError = true;

    job.processDiskFullError();

    EXPECT_EQ(job._ro, nullptr);
    EXPECT_EQ(fcltest::readFile(path), "a user's file");
}

TEST_F(StopTest, KeepAliveFollowsTheInjectedClock) {
    wzlog::ScopedCapture log;
    FclRestore job;
    HeadPair head;
    job._headSession = head.jobEnd.get();
    job._clock = fakeClock;
    g_now = 1000;
    job.KeepAliveRestoreHeadSession();  // never used: nothing due
    EXPECT_EQ(head.next(1), 0u);

    ASSERT_EQ(job.sendMsgToRestoreHead(FSR_MSG_READ_ALL), 1);
    EXPECT_EQ(head.next(5), FSR_MSG_READ_ALL);
    g_now = 1000 + 1800;
    job.KeepAliveRestoreHeadSession();
    EXPECT_EQ(head.next(1), 0u);
    g_now = 1000 + 1801;
    job.KeepAliveRestoreHeadSession();
    EXPECT_EQ(head.next(5), FSR_MSG_KEEPALIVE);
    job.KeepAliveRestoreHeadSession();  // the keep-alive renewed the last use
    EXPECT_EQ(head.next(1), 0u);

    job._keepAliveInterval = 0;
    g_now += 100000;
    job.KeepAliveRestoreHeadSession();
    EXPECT_EQ(head.next(1), 0u);
}

TEST_F(StopTest, SeekMarkerCarriesTheCount) {
    FclRestore job;
    HeadPair head;
    job._headSession = head.jobEnd.get();
    ASSERT_TRUE(job.SendSeekMarker(4096));
    wzsDatabuf_v2 data;
    ASSERT_EQ(head.next(5, &data), FSR_MSG_PROBE_RESTORE_HEAD);
    const FSRProbeRstHead* probe = reinterpret_cast<const FSRProbeRstHead*>(data.getDataBuffer());
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe->numSeekMsgs, 4096);
    EXPECT_EQ(probe->reserved1, 1u);
}

TEST_F(StopTest, HeadSendWithoutSessionDoesNotStopTheJob) {
    wzlog::ScopedCapture log;
    FclRestore job;
    EXPECT_EQ(job.sendMsgToRestoreHead(FSR_MSG_CLOSE_ARCHIVE), 0);
    EXPECT_TRUE(log->contains("to Restore Head - not connected!"));
    EXPECT_EQ(job._fatalError, 0);
}

}  // namespace
}  // namespace jobtest
