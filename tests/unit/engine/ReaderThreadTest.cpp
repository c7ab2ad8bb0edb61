// Starting the reader thread: its running flag reads 1 from before the thread's first step, and 0 when the thread
// cannot be made.
#include <gtest/gtest.h>

#include <cerrno>

#include "clRestore/engine/FclRestore.h"
#include "platform/log/LogWriter.h"
#include "platform/threads/WzThread.h"

namespace {

int g_flagSeenByThread = -1;

void* seeFlagAndEnd(void* job) {
    FclRestore* self = static_cast<FclRestore*>(job);
    g_flagSeenByThread = self->_plThreadRunning;
    self->_plThreadRunning = 0;
    return nullptr;
}

TEST(ReaderThread, RunningFlagIsSetBeforeTheThreadRuns) {
    wzlog::ScopedCapture log;
    FclRestore job;
    for (int round = 0; round < 20; ++round) {
        g_flagSeenByThread = -1;
        ASSERT_TRUE(job.launchReadPipelineThread(seeFlagAndEnd));
        ASSERT_EQ(job._plThread->timedJoin(10000), 0);
        EXPECT_EQ(g_flagSeenByThread, 1);
        EXPECT_EQ(job._plThreadRunning, 0);
    }
}

TEST(ReaderThread, ThreadThatCannotBeMadeLeavesTheFlagClear) {
    wzlog::ScopedCapture log;
    FclRestore job;
    WzThread::creationFaults().failNext(1, EAGAIN);
    errno = 0;
    EXPECT_FALSE(job.launchReadPipelineThread(seeFlagAndEnd));
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_EQ(job._plThreadRunning, 0);
    EXPECT_TRUE(job.waitForPLThreadToDie());
}

}  // namespace
