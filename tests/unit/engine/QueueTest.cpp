// The bounded queue: a full queue holds the receiver back, not the job; a stop is acted on at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/log/LogWriter.h"
#include "tests/unit/engine/JobFixture.h"
#include "tests/unit/engine/RecordingJob.h"

namespace jobtest {
namespace {

class QueueTest : public JobFixture {
protected:
    size_t queued() {
        job_->_queueLock.lock();
        size_t n = job_->_msgQueue->size();
        job_->_queueLock.unlock();
        return n;
    }
    // Waits until the queue holds `n` entries.
    bool queueReaches(size_t n) {
        for (int i = 0; i < 1000 && queued() != n; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return queued() == n;
    }
};

TEST_F(QueueTest, FullQueueHoldsTheReceiverNotTheJob) {
    EXPECT_EQ(inChild([this] {
                  RecordingJob* job = makeJob<RecordingJob>();
                  ASSERT_EQ(startJob(), FSR_MSG_SUCCESS);
                  job->holdAt("OnMsgSetParams");
                  runReceiveLoop();
                  FSRSetParams params;
                  fir_->send(FSR_MSG_SET_PARAMS, &params, sizeof params);
                  ASSERT_TRUE(job->waitHeld(10000));
                  for (int i = 0; i < 300; ++i) {
                      fir_->send(FSR_MSG_RESTART_INFO);
                  }
                  fir_->send(FSR_MSG_RESTORE_END);
                  // 256 wait in the queue; the receiver holds the next one until a place frees.
                  EXPECT_TRUE(queueReaches(256));
                  std::this_thread::sleep_for(std::chrono::milliseconds(300));
                  EXPECT_EQ(queued(), 256u);
                  job->release();
                  endJob();
                  std::vector<std::string> calls = job->calls();
                  ASSERT_EQ(calls.size(), 302u);
                  EXPECT_EQ(calls.front(), "OnMsgSetParams");
                  EXPECT_EQ(std::count(calls.begin(), calls.end(), "OnMsgRestartInfo"), 300);
                  EXPECT_EQ(calls.back(), "OnMsgRestoreEnd");
                  EXPECT_TRUE(fir_->waitFor({FSR_MSG_RESTORE_END}, 10000));
                  destroyJob();
                  EXPECT_EQ(threadCount(), 1);
              }),
              0);
}

TEST_F(QueueTest, StopWithAFullQueueIsActedOnAtOnce) {
    EXPECT_EQ(inChild([this] {
                  wzlog::ScopedCapture log;
                  RecordingJob* job = makeJob<RecordingJob>();
                  ASSERT_EQ(startJob(), FSR_MSG_SUCCESS);
                  HeadPair head;
                  job->_headSession = head.jobEnd.get();
                  job->holdAt("OnMsgSetParams");
                  runReceiveLoop();
                  FSRSetParams params;
                  fir_->send(FSR_MSG_SET_PARAMS, &params, sizeof params);
                  ASSERT_TRUE(job->waitHeld(10000));
                  FSRSeekArchiveArray seeks;
                  FSRSeekArchiveArray_10 seeks10;
                  fir_->send(FSR_MSG_WAIT_ARCHIVE_CLOSED);
                  fir_->send(FSR_MSG_SEEK_TO_OFFSET_10, &seeks10, sizeof seeks10);
                  for (int i = 0; i < 254; ++i) {
                      fir_->send(FSR_MSG_SEEK_TO_OFFSET, &seeks, sizeof seeks);
                  }
                  ASSERT_TRUE(queueReaches(256));
                  fir_->send(FSR_MSG_STOP);
                  // The stop goes to the restore head while the processing thread is still held.
                  EXPECT_EQ(head.next(10), FSR_MSG_STOP);
                  EXPECT_TRUE(queueReaches(4));  // archive-close request, end of restore, the later seek, the stop
                  EXPECT_EQ(job->_stopReceived, 1);
                  job->release();
                  endJob();
                  EXPECT_TRUE(fir_->waitFor({FSR_MSG_WAIT_ARCHIVE_CLOSED}, 10000));
                  EXPECT_EQ(job->calls(), (std::vector<std::string>{"OnMsgSetParams", "OnMsgRestoreEnd"}));
                  EXPECT_TRUE(log->contains("Restore failed"));
                  EXPECT_FALSE(log->contains("Restore successful"));
                  // The restore end runs for a stopped job as for any other, and sends no second stop.
                  EXPECT_EQ(head.next(5), FSR_MSG_RESTORE_END);
                  EXPECT_EQ(head.next(1), 0u);
                  job->_headSession = nullptr;
                  destroyJob();
                  EXPECT_EQ(threadCount(), 1);
              }),
              0);
}

}  // namespace
}  // namespace jobtest
