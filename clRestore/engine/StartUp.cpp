// The job's start-up: clients, records, the first message, registration, the queue and the processing thread.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <queue>

#include <boost/shared_ptr.hpp>

#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/StartUpSteps.h"
#include "clRestore/objects/ProcessRestoreState.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "clRestore/support/WzSemaphore.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/archive/RestoreArbiter.h"
#include "platform/events/EvEvent.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/session/CWzNetwork.h"
#include "platform/settings/WZGlobalParam.h"
#include "platform/settings/WZPlatformAgents.h"
#include "platform/settings/WZPlatformInfo.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/tasks/EvTask.h"
#include "platform/tasks/SchedularInterfaceNet.h"

namespace {

const char kLabel[] = "FclRestore::initialize";
const char kNoMemory[] = "Restore: Insufficient memory for process execution.";
constexpr unsigned long kDocViewRestoreProperty = 0x63484843;
constexpr unsigned long kDeleteFilesBeforeRestoreProperty = 0x1438f83a;

char* copyOf(const std::string& text) {
    char* copy = new (std::nothrow) char[text.size() + 1];
    if (copy != nullptr) {
        memcpy(copy, text.c_str(), text.size() + 1);
    }
    return copy;
}

}  // namespace

namespace fclstartup {

int holeThresholdFrom(const std::string& text) {
    if (text.empty()) {
        return -1;
    }
    long long value = strtoll(text.c_str(), nullptr, 10);
    if (value < 0) {
        return value < INT_MIN ? INT_MIN : static_cast<int>(value);
    }
    if (value < 1024) {
        return 1024;
    }
    const long long largest = INT_MAX & ~1023LL;
    long long rounded = value > largest ? largest : (value + 1023) / 1024 * 1024;
    return static_cast<int>(rounded);
}

}  // namespace fclstartup

bool FclRestore::initialize(CWzNetwork* session, char* name, char*) {
    const bool ok = initialize2(session, name, nullptr) != 0;
    if (!ok && _prThread != nullptr) {
        // Nothing will be queued for it: the host does not run the receive loop after a failed start-up.
        joinWorkerThreads(_threadJoinBoundMs);
    }
    sendInitResult(ok ? 1 : 0);
    return ok;
}

void FclRestore::sendInitResult(int ok) {
    if (ok != 0) {
        sendMsgToFIR(FSR_MSG_SUCCESS);
        return;
    }
    sendMsgToFIR(FSR_MSG_FAILURE);
    FCL_LOG(2, "Sent message %s", WZS_FileSystemRestore_PM_STRING(FSR_MSG_FAILURE));
}

void FclRestore::initPerfCounters(EvEvent* event) {
    _perfCounter.initPerfCounters(event);
    const std::vector<_rstrPerfCounterInfo>* list = _fclRestoreUnix->GetRestrePerfCounterInfo();
    for (size_t i = 0; i < list->size(); ++i) {
        const _rstrPerfCounterInfo& info = (*list)[i];
        _perfCounter.AddPerfCounter(static_cast<int>(i), info.name, info.baseType, info.addFlag);
    }
    // Registered, they measure from the first receive on; the finalize reports what they measured.
    _perfCounter.setEnabled(true);
}

namespace {

// A start-up failure with a critical event, the reason and, once the restore job client registered, the same cause.
int failStartUp(FclRestore& job, int eventId, const char* reason, bool withPendingCause) {
    job._event->CriticalEvent(eventId, 0, 0);
    job.setFailureReason(reason);
    if (withPendingCause && job._rstJobClientReady == 1) {
        job._rstJobClient->setPendingCause(eventId);
    }
    return 0;
}

// The client name and the job results directory; false fails the start-up.
bool findClientAndResultsDirectory(FclRestore& job) {
    std::string client;
    if (job._multiStreamMode == 0 || job._clientName == nullptr || job._clientName[0] == '\0') {
        delete[] job._clientName;
        job._clientName = copyOf(WZPI_Focus::getFocusClientName(true));
        client = job._clientName != nullptr ? job._clientName : "";
    } else {
        FCL_LOG(2, "Client Host name is set to [%s]", job._clientName);
        WZPlatformInfo wzpi;
        if (!wzpi.setFocus(WZPI_Focus::getFocus())) {
            FCL_ERROR("Failed wzpi.setFocus for vmname [%s].", job._clientName);
            return false;
        }
        job._clientNameFromHost = wzpi.getClientNameFromHostName(job._clientName);
        if (job._clientNameFromHost.empty()) {
            FCL_ERROR("Cannot get client name using Host Name %s", job._clientName);
            return false;
        }
        FCL_LOG(2, "Client name got using host name is [%s].", job._clientNameFromHost.c_str());
        client = job._clientNameFromHost;
    }
    WZPI_FileSystemAgent agent(client.c_str());
    if (agent.invalidApplicationAgentType() != 0) {
        return true;
    }
    std::string directory;
    if (!agent.getJobResultsDirectory(&directory)) {
        FCL_ERROR("Error [%lx] when obtaining filesystem agent directory", agent.getLastError());
        failStartUp(job, 0x17000036,
                    "Restore: Error obtaining filesystem agent directory. Possible corrupted install. Check TCP/IP "
                    "network settings.",
                    false);
        return false;
    }
    delete[] job._jobResultsDir;
    job._jobResultsDir = copyOf(directory);
    return true;
}

// Receives the first message; true when it was the init data and OnMsgInitData kept it.
bool receiveInitData(FclRestore& job) {
    FSRInitData local;
    wzsDatabuf_v2 buffer;
    buffer.setExternalBuffer(reinterpret_cast<char*>(&local), sizeof local);
    unsigned long code = 0;
    bool timedOut = false;
    job._perfCounter.StartPerfCounter(kLabel, 0);
    job._perfCounter.StartPerfCounter(kLabel, 13);
    CQiError error = job._network != nullptr ? job._network->ReceiveXDRMessage(&code, &buffer, nullptr, 0, -1, timedOut)
                                             : FXErrorUtil::ErrorErrNo(FX_HERE, ENOTCONN, "no session to the FIR");
    if (error.IsError()) {
        job._perfCounter.CancelPerfCounter(kLabel, 0);
        job._perfCounter.CancelPerfCounter(kLabel, 13);
    } else {
        job._perfCounter.StopPerfCounter(kLabel, 0, 0);
        job._perfCounter.StopPerfCounter(kLabel, 13, buffer.getValidLen());
    }
    FSRInitData* record = reinterpret_cast<FSRInitData*>(buffer.getDataBuffer());
    if (!error.IsError() && code == FSR_MSG_INIT_DATA && record != nullptr) {
        FCL_LOG(2, "Received message %s", WZS_PRIM_STRING(code));
        bool kept = job.OnMsgInitData(record);
        job._network->FreeReceivedMessage(code, &buffer);
        return kept;
    }
    if (!error.IsError() && code == FSR_MSG_STOP) {
        FCL_LOG(0, "Restore stops during initializations");
        return false;
    }
    *job._event << code << static_cast<int>(FSR_MSG_INIT_DATA);
    if (error.IsError()) {
        FCL_ERROR("Receive for FSR_MSG_INIT_DATA message failed (ret [%s])", error.AsString().c_str());
    } else if (code == FSR_MSG_INIT_DATA) {
        FCL_ERROR("Received message [%lu] = [%s] without its record", code, WZS_PRIM_STRING(code));
    } else {
        FCL_ERROR("Received message [%lu] = [%s] instead of FSR_MSG_INIT_DATA", code, WZS_PRIM_STRING(code));
    }
    if (job._network != nullptr && !error.IsError()) {
        job._network->FreeReceivedMessage(code, &buffer);
    }
    failStartUp(job, 0x17000029,
                "Restore: Wrong parameters for the job. Possible mismatched version of Hallmoor or corrupted install.",
                false);
    return false;
}

void registerJob(FclRestore& job, int platformType, char* jobControlArg) {
    const long long jobId = job._initData->jobId;
    const int controlFlags = job._multiStreamMode != 0 ? 7 : 4;
    if (!job._jobCtrlClient->Init2(jobId, job._registrationName, controlFlags, platformType, jobControlArg, nullptr)) {
        if (job._multiStreamMode != 0) {
            FCL_ERROR(
                "Cannot initialize job control object in non control monitor mode for multi stram synth full job");
        } else {
            FCL_ERROR("Could not initialize job control object");
        }
    }
    if (job._rstJobClient->init(job._registrationName, jobId, 4, false, nullptr)) {
        job._rstJobClientReady = 1;
    } else {
        FCL_ERROR("Could not initialize job object.");
        job.setFailureReason(
            "Restore: Job Client initialization failure. Possible causes: Service down on Client and/or Hallmoor, "
            "lost network connectivity to Hallmoor, out of process memory or handles or corrupted install.");
    }
}

void readSeekFailureOption(FclRestore& job) {
    bool value = false;
    SchedularInterfaceNet scheduler;
    if (scheduler.GetTaskOptionBoolean(job._initData->jobId, wzTaskOptions(7), value, 27)) {
        if (!value) {
            job._failOnSeekFailure = 1;
            FCL_LOG(0, "Fail for Seek Failure selected (job option), restore would fail if seek failures happen.");
        } else {
            job._failOnSeekFailure = 0;
            FCL_LOG(0, "Restore would not fail if seek failures happen.");
        }
    }
    if (job._fclRestoreUnix->IsRuvoSyncRestore()) {
        job._failOnSeekFailure = 0;
        FCL_LOG(0, "Ruvo Sync restore will not fail on seek errors");
        FCL_LOG(0, "Restore Job will replicate deletes");
    }
}

// The archive reader, the statistics and the current-item record; false fails the start-up.
bool makeJobObjects(FclRestore& job) {
    const char* missing = nullptr;
    job._archive =
        new (std::nothrow) FsRestoreArchive(job._jobCtrlClient, job._proxyRestore, job._clientNameFromHost.c_str());
    if (job._archive == nullptr) {
        missing = "Could not alloc memory for WZArchive object";
    } else {
        job._archive->setSequenceNumber(job._initData->archiveSequence);
        job._archive->setPerfCounterInfo(&job._perfCounter, job._fclRestoreUnix->GetRestrePerfCounterInfo());
        job._statistics = new (std::nothrow) FsRestoreStatistics(job._initData->numFiles);
        if (job._statistics == nullptr) {
            missing = "Could not alloc memory for FsRestoreStatistics object";
        } else {
            // Results come from the message thread (error-report answers, settled seeks) as well as the reader:
            // the counters are shared from the start, not only once the seek optimiser is on.
            job._statistics->switchMultiThreadModeOn();
            job._restoreItem = new (std::nothrow) FSRRestoreItem();
            if (job._restoreItem != nullptr) {
                job._restoreItem->name = new (std::nothrow) char[1024]();
            }
            if (job._restoreItem == nullptr || job._restoreItem->name == nullptr) {
                missing = "Could not alloc memory for FSRRestoreItem object";
            }
        }
    }
    if (missing == nullptr) {
        return true;
    }
    FCL_ERROR("%s", missing);
    failStartUp(job, 0x1c000082, kNoMemory, true);
    return false;
}

// The restore task's options read at the end of start-up; false when the task object cannot be had.
bool readRestoreTaskOptions(FclRestore& job, bool documentum) {
    boost::shared_ptr<EvRstTask> task;
    CQiError error = job._fclRestoreUnix->getRestoreTaskObject(job._initData->jobId, task, false);
    if (error.IsError() || !task) {
        FCL_ERROR("%s", error.AsString().c_str());
        return false;
    }
    bool value = false;
    if (documentum) {
        if (task->getOptionBool(kDocViewRestoreProperty, value) == 0) {
            job.m_docRestore = value;
            FCL_LOG(2, "Documentum m_docRestore=%d", job.m_docRestore ? 1 : 0);
        } else {
            FCL_ERROR("Failed to retrieve RESTOREDOCUMENTUMOPTION_DOC_VIEW_RESTORE option for Restore");
        }
        return true;
    }
    if (task->getOptionBool(kDeleteFilesBeforeRestoreProperty, value) == 0) {
        FCL_LOG(1, "RESTORECOMMONOPTIONS_DELETE_FILES_BEFORE_RESTORE was %s.", value ? "set" : "not set");
        job._fclRestoreUnix->SetDeleteFileBeforeRestore(value);
    } else {
        FCL_LOG(1, "Failed to read RESTORECOMMONOPTIONS_DELETE_FILES_BEFORE_RESTORE.");
    }
    return true;
}

void readIntervals(FclRestore& job) {
    const unsigned long appType = job._initData->appType;
    const unsigned long recoveryApp = appType == 0x404 ? 0x4b : appType;
    std::string seconds;
    if (WZGlobalParam::getUpdateRecoverySec(recoveryApp, seconds)) {
        FCL_LOG(0, "GUI progress updates will be sent every [%s] secs for app x%lx", seconds.c_str(), appType);
        job._statistics->SetTimeIntervalToUpdate(atoi(seconds.c_str()));
    } else {
        FCL_LOG(0, "Failed to get recovery update time for app x%lx. Setting it to 5 mins default", appType);
        job._statistics->SetTimeIntervalToUpdate(300);
    }
    unsigned long minutes = 0;
    WZPlatformInfo().getNumber("Wzd", "nKEEPALIVEINTERVAL", &minutes);
    if (minutes == 0) {
        minutes = 30;
    }
    job._keepAliveInterval = static_cast<long long>(minutes) * 60;
    FCL_LOG(0, "Keep Alive Messages will be sent every %lu minutes", minutes);
}

}  // namespace

int FclRestore::initialize2(CWzNetwork* session, char* name, char* jobControlArg) {
    // State the restore objects keep per process (hole switches, byte ranges, created directories, the hard-link
    // table) belongs to one job: an earlier job of this process must not leak into this one.
    resetProcessRestoreState();
    setFailureReason("");
    _network = session;
    snprintf(_registrationName, sizeof _registrationName, "%s", name != nullptr ? name : "");

    _event = new (std::nothrow) EvEvent();
    _jobCtrlClient = new (std::nothrow) WZJobCtrlClient(0);
    _arbiter = new (std::nothrow) RestoreArbiter(&_fatalError, &_stopReceived, &_terminateProcessMsgs);
    if (_event == nullptr) {
        return 0;
    }
    initPerfCounters(_event);
    if (_jobCtrlClient == nullptr || _arbiter == nullptr) {
        FCL_ERROR("Could not alloc memory");
        return failStartUp(*this, 0x1700000b, kNoMemory, false);
    }

    std::string runLengths;
    WZPlatformInfo().getString("Vornak", "OptimizeRunLengths", &runLengths);
    _holeThreshold = fclstartup::holeThresholdFrom(runLengths);
    if (_holeThreshold < 0) {
        FCL_LOG(0, "Restoring PL_HOLE buffers flat");
    } else {
        FCL_LOG(0, "Restoring PL_HOLE buffers as holes if they larger than or equal to %d bytes", _holeThreshold);
    }

    _rstJobClient = new (std::nothrow) WZRstJobClient();
    if (_rstJobClient == nullptr) {
        FCL_ERROR("Can't initialize job object.");
        setFailureReason(
            "Restore: Job Client initializtion failure. Possible causes: Service down on Client and/or Hallmoor, lost "
            "network connectivity to Hallmoor, out of process memory or handles or corrupted install.");
        return 0;
    }

    try {
        _freeSlots = new (std::nothrow) WzSemaphore(256);
        _msgsAvailable = new (std::nothrow) WzSemaphore(0);
    } catch (const char*) {
        errno = ENOMEM;
    }
    if (_freeSlots == nullptr || _msgsAvailable == nullptr) {
        int error = errno;
        *_event << error;
        FCL_ERROR("Error [%d] while creating semaphore", error);
        return failStartUp(*this, 0x17000028,
                           "Restore: Initialization failed to create a semaphore. Possible causes: insufficient "
                           "system resources.",
                           false);
    }

    int platformType = 4;
    if (WZPI_CommClient().invalidWZPlatform() != 0 && WZPI_MediaAgent().invalidWZPlatform() == 0) {
        platformType = 2;
    }
    if (!findClientAndResultsDirectory(*this)) {
        return 0;
    }

    _initData = new (std::nothrow) FSRInitData();
    if (_initData == nullptr) {
        FCL_ERROR("Could not alloc memory for FSRInitData struct");
        return failStartUp(*this, 0x1700000b, kNoMemory, false);
    }
    _setParams = new (std::nothrow) FSRSetParams();
    if (_setParams == nullptr) {
        FCL_ERROR("Could not alloc memory for FSRSetParams struct");
        return failStartUp(*this, 0x1700000b, kNoMemory, false);
    }

    if (!receiveInitData(*this)) {
        return 0;
    }
    _event->setJobId(_initData->jobId);
    registerJob(*this, platformType, jobControlArg);
    readSeekFailureOption(*this);
    if (_initData->suffixTag != nullptr && strcmp(_initData->suffixTag, "for clrestore file extension") == 0) {
        FCL_LOG(0, "Restore file name extension provided [%s]",
                _initData->restoreSuffix != nullptr ? _initData->restoreSuffix : "");
    }

    const unsigned long appType = _initData->appType;
    if (isUnixFileSystemAppType(appType) && !fclstartup::checkImpersonation(*this)) {
        return 0;
    }
    if (_impersonating != 0) {
        fclstartup::fixPermissionsForRestoreUser(*this);
    }
    if (_fclRestoreUnix->IsSyncRestore()) {
        CQiError error = _fclRestoreUnix->lockSyncScan();
        if (error.IsError()) {
            FCL_ERROR("%s (job %lld)", error.AsString().c_str(), static_cast<long long>(_initData->jobId));
            const int eventId = FXErrorUtil::GetEventMessage(error);
            _event->MinorEvent(eventId, 0, 0);
            if (_rstJobClientReady == 1) {
                _rstJobClient->setPendingCause(eventId);
            }
            return 0;
        }
    }

    if (!makeJobObjects(*this)) {
        return 0;
    }
    if (fclapps::isStartUpDatabaseAppType(appType, _fclRestoreUnix->_greenplumRestoreOption) &&
        !fclstartup::takeRunAsUser(*this)) {
        return 0;
    }
    if (appType == 0x80 && !readRestoreTaskOptions(*this, true)) {
        return 0;
    }
    readIntervals(*this);

    _msgQueue = new (std::nothrow) std::queue<FclRestoreMsg*>();
    if (_msgQueue == nullptr) {
        FCL_ERROR("Could not alloc memory for MsgQueue object");
        return failStartUp(*this, 0x1c000082, kNoMemory, true);
    }
    if (!launchProcessRestoreMsgsThread(processRestoreMsgsStatic)) {
        int error = errno;
        *_event << error;
        FCL_ERROR("Error [%d] while spawning a thread", error);
        if (_rstJobClientReady == 1) {
            *_rstJobClient << error;
        }
        return failStartUp(*this, 0x1700002a,
                           "Restore: Initialization failed to create a thread. Possible cause: Insufficient system "
                           "resources.",
                           true);
    }

    std::string imageLog;
    WZPlatformInfo().getString("UnixImageVORNAK", "dEnableIRestoreLog", &imageLog);
    if (!imageLog.empty()) {
        _logImageStreams = true;
        FCL_LOG(2, "log Image Streams ON");
    }
    return readRestoreTaskOptions(*this, false) ? 1 : 0;
}
