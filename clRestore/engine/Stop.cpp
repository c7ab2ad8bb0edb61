// The fatal stop, the failure reason and the disk-full stop.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/stream/ItemEnd.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/events/EvEvent.h"
#include "platform/files/FileCalls.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/session/CWzNetwork.h"

namespace {

constexpr int FCL_ERR_DISK_FULL = 0x17000046;

}  // namespace

void FclRestore::setFailureReason(const char* reason) {
    std::lock_guard<std::mutex> lock(_failureReasonLock);
    snprintf(_failureReason, sizeof _failureReason, "%s", reason != nullptr ? reason : "");
}

std::string FclRestore::getFailureReason() const {
    std::lock_guard<std::mutex> lock(_failureReasonLock);
    return _failureReason;
}

std::string FclRestore::getReaderFailure() const {
    std::lock_guard<std::mutex> lock(_failureReasonLock);
    return _readerFailure;
}

void FclRestore::noteReaderFailure() {
    if (_archive == nullptr) {
        return;
    }
    const std::string text = _archive->lastErrorText();
    if (text.empty()) {
        return;
    }
    FCL_ERROR("The archive reader failed: %s", text.c_str());
    std::lock_guard<std::mutex> lock(_failureReasonLock);
    _readerFailure = text;
}

bool FclRestore::markStopMsgSent() {
    return _fclRestoreUnix->MarkStopMsgSent();
}

void FclRestore::terminateReceiveMsgsThread() {
    _terminateReceiveMsgs = 1;
    if (_network != nullptr) {
        _network->wakeReceiver();
    }
}

void FclRestore::terminateOnFatalError() {
    std::string reason = getFailureReason();
    if (!reason.empty()) {
        FCL_ERROR("Restore: Job Failure reason is %s.", reason.c_str());
    }
    _fatalError = 1;
    terminateReceiveMsgsThread();
    _terminateProcessMsgs = 1;
    _terminateReadPipeline = 1;
    // Marked before the send: a send that itself stops the job fatally must not send again.
    if (markStopMsgSent()) {
        FCL_LOG(0, "Sending FSR_MSG_STOP");
        sendMsgToRestoreHead(FSR_MSG_STOP);
    }
}

void FclRestore::processDiskFullError() {
    char host[256] = "";
    if (!_fclRestoreUnix->_diskFullHostName.empty()) {
        snprintf(host, sizeof host, "%s", _fclRestoreUnix->_diskFullHostName.c_str());
    } else if (gethostname(host, sizeof host - 1) != 0) {
        snprintf(host, sizeof host, "%s", "UNKNOWN");
    }
    const char* firstPath = _srcPaths != nullptr && _srcPaths[0].path != nullptr ? _srcPaths[0].path : "";
    if (_rstJobClientReady == 1) {
        *_rstJobClient << firstPath << host;
        FCL_LOG(0, "Sending Pending Cause : FCL_ERR_DISK_FULL");
        _rstJobClient->setPendingCause(FCL_ERR_DISK_FULL);
    }
    terminateOnFatalError();
    FCL_LOG(0, "Send critical event : FCL_ERR_DISK_FULL");
    if (_event != nullptr) {
        *_event << firstPath << host;
        _event->CriticalEvent(FCL_ERR_DISK_FULL, 0, 0);
    }
    if (_removeFileOnError && _ro != nullptr) {
        std::string path = _ro->getTranslatedPathname();
        // An item whose open failed for the full disk never opened its name, which may be a user's file.
        const bool opened = holdsItemOpen(*_ro);
        _ro->closeObject();
        if (HLRO == _ro) {
            HLRO = nullptr;
            fclstream::settleLinkedNames(*this, FCL_ERR_DISK_FULL, opened);
        }
        delete _ro;
        _ro = nullptr;
        if (opened) {
            FCL_LOG(0, "Removing file %s on error", path.c_str());
            unlink_utf(path.c_str());
        }
    }
    // The job ends as every fatal job does: the loops stop, finalize reports the failure and unregisters the job.
}
