// How a job ends: by the FIR's restore end, by its stop, by a lost session or by a fatal error. Each ends with
// finalize reporting the outcome, every thread joined and nothing leaked.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "clRestore/engine/RestoreIdentity.h"
#include "platform/events/Journal.h"
#include "platform/log/LogWriter.h"
#include "tests/unit/engine/JobFixture.h"
#include "tests/unit/engine/RecordingJob.h"

namespace jobtest {
namespace {

struct Ending {
    const char* name;
    // What the FIR does once the job runs.
    void (*play)(fir::FirSession& fir, RecordingJob& job);
    const char* fatalAt;  // a handler that stops the job fatally, or ""
    bool succeeds;        // finalize reports success and sends FSR_MSG_RESTORE_END
    const char* logLine;  // a line the ending leaves
};

void restoreEnd(fir::FirSession& fir, RecordingJob&) {
    fir.send(FSR_MSG_RESTART_INFO);
    fir.send(FSR_MSG_RESTORE_END);
}
// The stop must find the archive-close request still queued to add the end of restore behind it.
void stop(fir::FirSession& fir, RecordingJob& job) {
    job.holdAt("OnMsgRestartInfo");
    fir.send(FSR_MSG_RESTART_INFO);
    ASSERT_TRUE(job.waitHeld(10000));
    fir.send(FSR_MSG_WAIT_ARCHIVE_CLOSED);
    fir.send(FSR_MSG_STOP);
    for (int i = 0; i < 1000 && job._stopReceived == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    job.release();
}
void loseSession(fir::FirSession& fir, RecordingJob&) {
    fir.send(FSR_MSG_RESTART_INFO);
    fir.close();
}
void fatalHandler(fir::FirSession& fir, RecordingJob&) {
    fir.send(FSR_MSG_RESTART_INFO);
}

const Ending kEndings[] = {
    {"restore end", restoreEnd, "", true, "Restore successful - sending FSR_MSG_RESTORE_END"},
    {"stopped by the FIR", stop, "", false, "Received FSR_MSG_STOP"},
    {"session lost", loseSession, "", false, "Exiting thread without waiting for children threads to complete"},
    {"fatal error", fatalHandler, "OnMsgRestartInfo", false,
     "Restore: Job Failure reason is Restore: The test stops the job.."},
};

class JobEndTest : public JobFixture {};

TEST_F(JobEndTest, EachEndingIsReportedByFinalize) {
    for (const Ending& ending : kEndings) {
        SCOPED_TRACE(ending.name);
        EXPECT_EQ(inChild([&] {
                      wzlog::ScopedCapture log;
                      RecordingJob* job = makeJob<RecordingJob>();
                      job->fatalAt = ending.fatalAt;
                      ASSERT_EQ(startJob(), FSR_MSG_SUCCESS);
                      runReceiveLoop();
                      ending.play(*fir_, *job);
                      endJob();
                      EXPECT_TRUE(log->contains(ending.logLine));
                      EXPECT_EQ(log->contains("Restore failed"), !ending.succeeds);
                      if (ending.succeeds) {
                          EXPECT_TRUE(fir_->waitFor({FSR_MSG_RESTORE_END}, 10000));
                      } else {
                          EXPECT_FALSE(fir_->waitFor({FSR_MSG_RESTORE_END}, 500));
                      }
                      // Job control hears of the end in every case.
                      bool unregistered = false;
                      for (const std::string& line : wzplatform::journalLines("jobs")) {
                          unregistered |= line.find("finished work of job 4711") != std::string::npos;
                      }
                      EXPECT_TRUE(unregistered);
                      destroyJob();
                      EXPECT_EQ(threadCount(), 1);
                  }),
                  0);
    }
}

// A handler that never returns: the job can neither stop nor free what its thread uses.
std::mutex g_stuckLock;
std::condition_variable g_never;

class StuckJob : public FclRestore {
public:
    bool OnMsgRestartInfo() override {
        std::unique_lock<std::mutex> lock(g_stuckLock);
        g_never.wait(lock, [] { return false; });
        return true;
    }
};

TEST_F(JobEndTest, ThreadThatDoesNotEndIsLeftAloneNotFreedUnderIt) {
    EXPECT_EQ(inChild([this] {
                  wzlog::ScopedCapture log;
                  makeJob<StuckJob>();
                  job_->_threadJoinBoundMs = 200;
                  ASSERT_EQ(startJob(), FSR_MSG_SUCCESS);
                  runReceiveLoop();
                  fir_->send(FSR_MSG_RESTART_INFO);
                  std::this_thread::sleep_for(std::chrono::milliseconds(200));
                  fir_->close();
                  endJob();
                  EXPECT_TRUE(log->contains("A worker thread still uses the pipeline: it is left open"));
                  job_.reset();
                  EXPECT_TRUE(log->contains("still runs: the job's resources are left in place"));
                  // What the stuck thread uses stays allocated: the child ends without the leak check.
                  fflush(nullptr);
                  _exit(::testing::Test::HasFailure() ? 1 : 0);
              }),
              0);
}

TEST_F(JobEndTest, ImpersonatedStartUpClearsTheFileCreationMask) {
    EXPECT_EQ(inChild([this] {
                  umask(022);
                  makeJob();
                  job_->_impersonating = 1;
                  ASSERT_EQ(startJob(), FSR_MSG_SUCCESS);
                  EXPECT_EQ(umask(0), 0u);
                  EXPECT_EQ(orig_mask, 022u);
                  destroyJob();
              }),
              0);
}

}  // namespace
}  // namespace jobtest
