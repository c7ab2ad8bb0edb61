// The message-processing thread: launch, the bounded waits for the workers' end, and the loop that takes queued
// messages in order and hands each to its handler.
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <new>
#include <thread>

#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/WzSemaphore.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/archive/RestoreArbiter.h"
#include "platform/events/EvEvent.h"
#include "platform/log/LogWriter.h"
#include "platform/session/CWzNetwork.h"
#include "platform/threads/WzThread.h"

namespace {

const char kLabel[] = "FClRestore::processRestoreMsgs";
constexpr unsigned long kQueueWaitMs = 1000;
// One bounded wait for a worker's end. Finalize waits up to 300 of them: the 300 seconds it announces.
constexpr unsigned long kThreadEndWaitMs = 1000;

bool waitForFlagToClear(const WzSafeFlags& running, const char* what) {
    try {
        WzMonitorLock lock(&running);
        if (running != 0) {
            running.wait(kThreadEndWaitMs);
        }
        return running == 0;
    } catch (const char* text) {
        FCL_ERROR("Got error while waiting for %s: %s\n", what, text);
        return false;
    }
}

// Starts a worker thread in `slot`, replacing the previous thread object. Its running flag is set before the thread
// exists, so that no waiter sees 0 between its start and its first step, and cleared when it cannot start.
bool launchWorker(WzThread*& slot, WzSafeFlags& running, void* (*entry)(void*), void* argument) {
    WzThread* thread = new (std::nothrow) WzThread();
    if (thread == nullptr) {
        errno = ENOMEM;
        return false;
    }
    WzThread* previous = slot;
    slot = thread;
    delete previous;
    running = 1;
    int rc = thread->createThread(entry, argument);
    if (rc != 0) {
        running = 0;
        errno = rc;
        return false;
    }
    return true;
}

}  // namespace

bool FclRestore::launchProcessRestoreMsgsThread(void* (*entry)(void*)) {
    return launchWorker(_prThread, _prThreadRunning, entry, this);
}

void* FclRestore::processRestoreMsgsStatic(void* job) {
    return reinterpret_cast<void*>(static_cast<intptr_t>(static_cast<FclRestore*>(job)->processRestoreMsgs()));
}

bool FclRestore::launchReadPipelineThread(void* (*entry)(void*)) {
    if (_plThread != nullptr) {
        // The previous reader has ended (its archive was closed); it is joined before its object goes.
        _plThread->timedJoin(_threadJoinBoundMs);
    }
    return launchWorker(_plThread, _plThreadRunning, entry, this);
}

void* FclRestore::readPipelineStatic(void* job) {
    FclRestore* self = static_cast<FclRestore*>(job);
    void* result = self->readPipeline();
    self->_plThreadRunning = 0;
    return result;
}

bool FclRestore::waitForPRThreadToDie() {
    return waitForFlagToClear(_prThreadRunning, "PR thread");
}

bool FclRestore::waitForPLThreadToDie() {
    return waitForFlagToClear(_plThreadRunning, "pipeline thread");
}

namespace {

// The loop of the processing thread; 1 after a stop, 0 after a failure of its own.
int runProcessingLoop(FclRestore& job) {
    FCL_LOG(0, "Setting Multi tagged buffer");
    if (job._archive == nullptr) {
        FCL_ERROR("Archive object is not allocated in processRestoreMsgs");
        return 0;
    }
    job._archive->setOptions(1);
    FclRestoreUNIX& unix = *job._fclRestoreUnix;
    int suspendedSleeps = 0;
    for (;;) {
        if (job._terminateProcessMsgs != 0) {
            return 1;
        }
        if (job._waitArchiveClosedPending != 0 && job._clock() > job._errorReportDeadline) {
            FCL_LOG(0, "Sending FSR_MSG_WAIT_ARCHIVE_CLOSED after timeout for FSR_MSG_ERROR_REPORT");
            job.sendMsgToFIR(FSR_MSG_WAIT_ARCHIVE_CLOSED);
            job._waitArchiveClosedPending = 0;
        }
        if (unix._suspendReasons != 0) {
            // A stop ends the seek window's hold: the queue still holds what the stop left, the end of restore
            // among it.
            if (job._stopReceived != 0 || unix._seeksSent < unix._seeksAllowed) {
                unix.ResumeRestoreMessageProcessor();
                continue;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1000));
            if (++suspendedSleeps > 9) {
                job.KeepAliveRestoreHeadSession();
                suspendedSleeps = 0;
            }
            continue;
        }

        job._perfCounter.StartPerfCounter(kLabel, 11);
        if (!job._msgsAvailable->wait(kQueueWaitMs)) {
            job.KeepAliveRestoreHeadSession();
            continue;
        }
        job._perfCounter.StopPerfCounter(kLabel, 11, 0);

        int rc = job._queueLock.lock();
        if (rc != 0) {
            FCL_ERROR("WzMutex::lock failed with code %d", rc);
            return 0;
        }
        if (job._msgQueue->empty()) {
            rc = job._queueLock.unlock();
            if (rc != 0) {
                FCL_ERROR("WzMutex::unlock2 failed with code %d", rc);
                return 0;
            }
            continue;
        }
        FclRestoreMsg* msg = job._msgQueue->front();
        job._msgQueue->pop();
        job._freeSlots->release(1);
        rc = job._queueLock.unlock();
        if (rc != 0) {
            FCL_ERROR("WzMutex::unlock1 failed with code %d", rc);
            FclRestore::releaseReceivedMessage(job._network, msg);
            return 0;
        }

        bool handled = false;
        if (job._arbiter->messageHandler(job._initData, job._setParams, job._srcPaths, msg, handled) < 0) {
            FclRestore::releaseReceivedMessage(job._network, msg);
            return 0;
        }
        job.dispatchMessage(msg, handled);
        FclRestore::releaseReceivedMessage(job._network, msg);
    }
}

}  // namespace

int FclRestore::processRestoreMsgs() {
    if (_multiStreamMode != 0) {
        FCL_LOG(2, "Thread-level logs of job %lld go to the job's log", getJobID());
    }
    const int result = runProcessingLoop(*this);
    if (result == 0 && _terminateProcessMsgs == 0) {
        // Nothing would take the queue's messages any more: the job cannot go on.
        setFailureReason("Restore: The restore message processing ended on an internal error.");
        terminateOnFatalError();
    }
    if (getAppType() == fclapps::kPostgresAppType && _factory != nullptr &&
        (_factory->getOptions() & FSR_OPT_PG_LOG_RESTORE) != 0 && !_fclRestoreUnix->_restoredLogFiles.empty()) {
        if (_fclRestoreUnix->copyLogFilesList(_event->getJobId()) != 0) {
            FCL_ERROR("CopyLogFilesList failed to copy list of log files to temp file.");
        }
    }
    _prThreadRunning = 0;
    FCL_LOG(0, "Exiting the processRestoreMsgs thread...");
    return result;
}
