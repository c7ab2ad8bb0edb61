// The job's end on the host's thread: the reader and the pipeline, the outcome, and the job's registrations.
#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/JobIdentity.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/events/EvEvent.h"
#include "platform/hsm/CXHSMLowLevelCtx.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/WZPlatformAgents.h"
#include "platform/settings/WZPlatformInfo.h"
#include "platform/support/FXMisc.h"
#include "platform/threads/WzThread.h"

namespace {

constexpr int kReaderEndWaits = 300;

// Waits for the reader, then closes the pipeline unless a worker still runs on it.
void closePipeline(FclRestore& job) {
    if (job._plThread != nullptr) {
        FCL_LOG(0, "Waiting (%d sec.) for PL thread to end", kReaderEndWaits);
        bool ended = false;
        for (int i = 0; i < kReaderEndWaits && !ended; ++i) {
            ended = job.waitForPLThreadToDie();
        }
        if (!ended) {
            FCL_ERROR("PL thread not finished. Will terminate.");
            if (job._plThread->terminateThread() != 0) {
                const char* why = job._plThread->getLastError();
                FCL_ERROR("PL thread Will terminate failed:%s. Close PL can fail.", why != nullptr ? why : "");
            }
        }
    }
    if (!job.joinWorkerThreads(job._threadJoinBoundMs)) {
        FCL_ERROR("A worker thread still uses the pipeline: it is left open");
        return;
    }
    FCL_LOG(0, "Closing pipeline...");
    job._archive->closePipeline(nullptr, nullptr);
}

void warnOfStubsNotRestored(FclRestore& job) {
    std::string mountPoints;
    const char* destination =
        job._setParams != nullptr && job._setParams->destDir != nullptr ? job._setParams->destDir : "";
    if (job._setParams != nullptr && (job._setParams->options & FSR_OPT_OUT_OF_PLACE) != 0) {
        mountPoints = destination;
    } else {
        if (job._destHsm == nullptr) {
            job._destHsm = job._hsmCtx->getByFileName(destination);
            if (job._destHsm == nullptr) {
                FCL_ERROR("Error creating DMR object for %s", destination);
            }
        }
        if (auto* driverless = dynamic_cast<CXHSMLowLevelDriverless*>(job._destHsm)) {
            mountPoints = driverless->getNonXATTRmountPoints();
        }
    }
    if (mountPoints.empty() || job._rstJobClient == nullptr) {
        return;
    }
    std::string message = " Stubs were not restored to mount point(s) " + mountPoints + ". ";
    *job._event << mountPoints.c_str();
    job._event->MajorEvent(0x17000072, 0, 0);
    FCL_LOG(0, "%s", message.c_str());
    job._rstJobClient->setPendingCause(0x17000072);
    job._stubsNotRestored = false;
}

void completePartialSuccess(FclRestore& job) {
    if (fclapps::isDatabaseAppType(job.getAppType())) {
        FCL_LOG(0, "PARTIAL SUCCESS encountered for DB restores.");
    } else if (job._fclRestoreUnix->_distributedRestore) {
        FCL_LOG(2, "Skip PARTIAL SUCCESS message to JM for Distributed Restore");
    } else {
        unsigned long skip = 0;
        WZPlatformInfo().getNumber("Vornak", "nSkipJMPartialSuccess", &skip);
        if (skip == 0) {
            if (job._rstJobClient != nullptr) {
                job._rstJobClient->complete(3, 1, 0);
            }
        } else {
            FCL_LOG(2, "Skip PARTIAL SUCCESS message to JM");
        }
    }
}

// The client marks a synchronised restore as running in its settings; the mark goes when the job has ended well.
void clearSyncRestoreInProgress() {
    const char field[] = "sSyncRestoreInProgress";
    const char section[] = "FileSystemAgent";
    const std::string fullKey = "Nebrin/" + WZPI_Focus::getFocus() + "/" + section;
    if (WZPlatformInfo().delRegField(fullKey.c_str(), field) == 0) {
        FCL_LOG(0, "Failed to removed regKey=%s from section=%s, FULLKEY=%s", field, section, fullKey.c_str());
    }
}

}  // namespace

bool FclRestore::finalize() {
    return finalize2();
}

bool FclRestore::finalize2() {
    _perfCounter.StopPerfCounters("FclRestore::finalize", PerfCounter::kAllFiles, true, true, -1);
    if (_rstJobClientReady == 1 && _itemFailureCausePending) {
        _rstJobClient->setPendingCause(0x1700005f);
        _itemFailureCausePending = false;
    }
    if (_archive != nullptr) {
        closePipeline(*this);
    } else {
        joinWorkerThreads(_threadJoinBoundMs);
    }
    if (isUnixFileSystemAppType(getAppType()) && _hsmCtx != nullptr && _hsmCtx->getuseDriver() == 2 &&
        _stubsNotRestored) {
        warnOfStubsNotRestored(*this);
    }

    FCL_LOG(0, "[%d] [%d] [%d]", _fatalError.load(), _stopReceived.load(), _suppressFailure);
    if ((_fatalError != 0 || _stopReceived != 0) && _suppressFailure == 0) {
        FCL_LOG(0, "Restore failed");
    } else {
        if (_partialSuccess != 0 && _factory != nullptr && (_factory->getOptions() & FSR_OPT_INDEX_CACHE) == 0) {
            completePartialSuccess(*this);
        }
        FCL_LOG(0, "Restore successful - sending FSR_MSG_RESTORE_END");
        sendMsgToFIR(FSR_MSG_RESTORE_END);
        if (_fclRestoreUnix->IsSyncRestore() && _results != nullptr) {
            clearSyncRestoreInProgress();
        }
    }

    FXMisc::WaitForHookFile("sync_restore.hook", static_cast<unsigned int>(getJobID()), 0);
    if (_fclRestoreUnix->IsSyncRestore()) {
        CQiError error = _fclRestoreUnix->unLockSyncScan();
        if (error.IsError()) {
            FCL_ERROR("%s (job %lld)", error.AsString().c_str(), getJobID());
        }
    }
    if (_fclRestoreUnix->ShouldUnmountShares()) {
        const int count = _setParams != nullptr ? static_cast<int>(_setParams->numSrcPaths) : 0;
        CQiError error = _fclRestoreUnix->UnmountShares(_srcPaths, count);
        if (error.IsError()) {
            FCL_ERROR("Failed to unmount some Source Shares or the Destination Share, Error [%s]",
                      error.AsString().c_str());
        }
    }
    // The readers have ended and given back the process's user: its groups and mask go back too.
    fclstartup::giveBackJobIdentity();
    _fclRestoreUnix->DisconnectRuvoProxyApiConnection();
    if (_jobCtrlClient != nullptr && _jobCtrlClient->finishedWorkWithoutExit(120000) != 0) {
        FCL_ERROR("Error in unregistering job control for the job %lld", getJobID());
    }
    wzlog::flushLog();
    return true;
}
