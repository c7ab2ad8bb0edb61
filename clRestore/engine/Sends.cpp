// Sends to the FIR and to the restore head, the keep-alive of the restore-head session and the seek marker.
#include <cerrno>

#include "clRestore/engine/FclRestore.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/log/LogWriter.h"
#include "platform/session/CWzNetwork.h"
#include "platform/support/FXErrorUtil.h"

namespace {

const char kFirLabel[] = "FclRestore::sendMsgToFIR";
const char kHeadLabel[] = "FclRestore::sendMsgToRestoreHead";

}  // namespace

int FclRestore::sendMsgToFIR(unsigned long code) {
    if (code == FSR_MSG_WAIT_ARCHIVE_CLOSED && isDistributedRestore()) {
        updateRestoreProgress(0);
    }
    return sendMsgToFIR(code, nullptr);
}

int FclRestore::sendMsgToFIR(unsigned long code, wzsDatabuf* payload) {
    int rc = _firSendLock.lock();
    if (rc != 0) {
        FCL_ERROR("WzMutex::lock failed with code %d", rc);
        return 0;
    }
    wzsDatabuf_v2 data;
    if (payload != nullptr) {
        data.setExternalBuffer(payload->buf, payload->len);
        _perfCounter.StartPerfCounter(kFirLabel, 3);
        _perfCounter.StartPerfCounter(kFirLabel, 14);
    }
    bool timedOut = false;
    CQiError error = _network != nullptr ? _network->SendXDRMessage(code, &data, 0, -1, timedOut)
                                         : FXErrorUtil::ErrorErrNo(FX_HERE, ENOTCONN, "no session to the FIR");
    if (error.IsError()) {
        if (payload != nullptr) {
            _perfCounter.CancelPerfCounter(kFirLabel, 3);
            _perfCounter.CancelPerfCounter(kFirLabel, 14);
        }
        FCL_ERROR("CWzNetwork::SendXDRMessage() returned error [%s]", error.AsString().c_str());
        rc = _firSendLock.unlock();
        if (rc != 0) {
            FCL_ERROR("WzMutex::unlock1 failed with code %d", rc);
        }
        return 0;
    }
    if (payload != nullptr) {
        _perfCounter.StopPerfCounter(kFirLabel, 3, 0);
        _perfCounter.StopPerfCounter(kFirLabel, 14, payload->len);
    }
    rc = _firSendLock.unlock();
    if (rc != 0) {
        FCL_ERROR("WzMutex::unlock2 failed with code %d", rc);
        return 0;
    }
    return 1;
}

int FclRestore::sendMsgToRestoreHead(unsigned long code) {
    return sendMsgToRestoreHead(code, nullptr);
}

int FclRestore::sendMsgToRestoreHead(unsigned long code, wzsDatabuf* payload) {
    if (_archive != nullptr && !_archive->isWZArchive()) {
        if (_archive->handleRestoreHeadMessage(code, payload)) {
            return 1;
        }
        terminateOnFatalError();
        return 0;
    }
    int rc = _headSendLock.lock();
    if (rc != 0) {
        FCL_ERROR("WzMutex::lock failed with code %d", rc);
        return 0;
    }
    // The session is read under the lock: the archive open sets it while other threads send.
    CWzNetwork* session = _headSession;
    if (session == nullptr) {
        _headSendLock.unlock();
        FCL_ERROR("Could not send %s to Restore Head - not connected!",
                  WZS_FileSystemRestore_PM_STRING(static_cast<unsigned int>(code)));
        return 0;
    }
    wzsDatabuf_v2 data;
    if (payload != nullptr) {
        _perfCounter.StartPerfCounter(kHeadLabel, 1);
        _perfCounter.StartPerfCounter(kHeadLabel, 16);
        data.setExternalBuffer(payload->buf, payload->len);
    }
    bool timedOut = false;
    CQiError error = session->SendXDRMessage(code, &data, 0, -1, timedOut);
    if (error.IsError()) {
        if (payload != nullptr) {
            _perfCounter.CancelPerfCounter(kHeadLabel, 1);
            _perfCounter.CancelPerfCounter(kHeadLabel, 16);
        }
        FCL_ERROR("CWzNetwork::SendXDRMessage() returned error [%s]", error.AsString().c_str());
        rc = _headSendLock.unlock();
        if (rc != 0) {
            FCL_ERROR("WzMutex::unlock1 failed with code %d", rc);
        }
        return 0;
    }
    if (payload != nullptr) {
        _perfCounter.StopPerfCounter(kHeadLabel, 1, 0);
        _perfCounter.StopPerfCounter(kHeadLabel, 16, payload->len);
    }
    rc = _headSendLock.unlock();
    if (rc != 0) {
        FCL_ERROR("WzMutex::unlock2 failed with code %d", rc);
        return 0;
    }
    UpdateRestoreHeadSessionUsage();
    return 1;
}

void FclRestore::UpdateRestoreHeadSessionUsage() {
    _headSessionLastUse = _clock();
}

void FclRestore::KeepAliveRestoreHeadSession() {
    const long long lastUse = _headSessionLastUse;
    if (lastUse == 0 || _keepAliveInterval == 0 || _clock() - lastUse <= _keepAliveInterval) {
        return;
    }
    if (sendMsgToRestoreHead(FSR_MSG_KEEPALIVE) == 0) {
        FCL_ERROR("Failed to Send Keep Alive Message to FSRestoreHead");
    } else {
        FCL_LOG(0, "Sent Keep Alive Message to FSRestoreHead");
    }
}

bool FclRestore::SendSeekMarker(int count) {
    FSRProbeRstHead probe;
    probe.numSeekMsgs = count;
    probe.reserved1 = 1;
    wzsDatabuf payload;
    payload.len = sizeof probe;
    payload.buf = reinterpret_cast<char*>(&probe);
    FCL_LOG(0, "Sending seek marker, num-msgs=%d", count);
    if (sendMsgToRestoreHead(FSR_MSG_PROBE_RESTORE_HEAD, &payload) == 0) {
        FCL_ERROR("Failed to send seek marker, num-msgs=%d", count);
        return false;
    }
    return true;
}
