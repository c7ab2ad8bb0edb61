// Sends to the FIR and to the restore head, the keep-alive of the restore-head session and the seek marker.
#include "clRestore/engine/FclRestore.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/log/LogWriter.h"
#include "platform/session/CWzNetwork.h"

namespace {

struct SendCounters {
    const char* label;
    int time;
    int bytes;
};
const SendCounters kFirCounters = {"FclRestore::sendMsgToFIR", 3, 14};
const SendCounters kHeadCounters = {"FclRestore::sendMsgToRestoreHead", 1, 16};

// Sends `code` (with `payload` when given) on the session `*session` under `lock`, timing the payload sends: 1 when
// sent, 0 when not, -1 when there is no session. The session is read under the lock, as its writer sets it so.
int sendUnderLock(PerfCounter& perf, WzMutex& lock, CWzNetwork* const* session, unsigned long code, wzsDatabuf* payload,
                  const SendCounters& counters) {
    int rc = lock.lock();
    if (rc != 0) {
        FCL_ERROR("WzMutex::lock failed with code %d", rc);
        return 0;
    }
    CWzNetwork* target = *session;
    if (target == nullptr) {
        lock.unlock();
        return -1;
    }
    wzsDatabuf_v2 data;
    if (payload != nullptr) {
        data.setExternalBuffer(payload->buf, payload->len);
        perf.StartPerfCounter(counters.label, counters.time);
        perf.StartPerfCounter(counters.label, counters.bytes);
    }
    bool timedOut = false;
    CQiError error = target->SendXDRMessage(code, &data, 0, -1, timedOut);
    if (error.IsError()) {
        if (payload != nullptr) {
            perf.CancelPerfCounter(counters.label, counters.time);
            perf.CancelPerfCounter(counters.label, counters.bytes);
        }
        FCL_ERROR("CWzNetwork::SendXDRMessage() returned error [%s]", error.AsString().c_str());
        rc = lock.unlock();
        if (rc != 0) {
            FCL_ERROR("WzMutex::unlock1 failed with code %d", rc);
        }
        return 0;
    }
    if (payload != nullptr) {
        perf.StopPerfCounter(counters.label, counters.time, 0);
        perf.StopPerfCounter(counters.label, counters.bytes, payload->len);
    }
    rc = lock.unlock();
    if (rc != 0) {
        FCL_ERROR("WzMutex::unlock2 failed with code %d", rc);
        return 0;
    }
    return 1;
}

}  // namespace

int FclRestore::sendMsgToFIR(unsigned long code) {
    if (code == FSR_MSG_WAIT_ARCHIVE_CLOSED && isDistributedRestore()) {
        updateRestoreProgress(0);
    }
    return sendMsgToFIR(code, nullptr);
}

int FclRestore::sendMsgToFIR(unsigned long code, wzsDatabuf* payload) {
    const int sent = sendUnderLock(_perfCounter, _firSendLock, &_network, code, payload, kFirCounters);
    if (sent < 0) {
        FCL_ERROR("Could not send %s to the FIR: no session", WZS_PRIM_STRING(code));
        return 0;
    }
    return sent;
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
    const int sent = sendUnderLock(_perfCounter, _headSendLock, &_headSession, code, payload, kHeadCounters);
    if (sent < 0) {
        FCL_ERROR("Could not send %s to Restore Head - not connected!",
                  WZS_FileSystemRestore_PM_STRING(static_cast<unsigned int>(code)));
        return 0;
    }
    if (sent > 0) {
        UpdateRestoreHeadSessionUsage();
    }
    return sent;
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
