// The host's receive loop and the bounded queue it fills for the processing thread.
#include <signal.h>

#include <cstring>
#include <new>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/WzSemaphore.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/log/LogWriter.h"
#include "platform/session/CWzNetwork.h"
#include "platform/threads/WzThread.h"

namespace {

const char kLabel[] = "FclRestore::receiveRestoreMsgs";
constexpr unsigned long kReceiveAreaSize = 128;
constexpr int FCL_RECEIVE_TIMEOUT_SECS = 1;
constexpr unsigned long kQueueWaitMs = 1000;

void ignoreHostSignals() {
    static const int kIgnored[] = {SIGINT, SIGQUIT, SIGHUP, SIGPIPE, SIGALRM};
    for (int sig : kIgnored) {
        signal(sig, SIG_IGN);
    }
}

// The loop's data buffer with a zeroed area of its own; the area goes with the buffer into the queue.
class ReceiveBuffer {
public:
    ~ReceiveBuffer() { delete[] area_; }
    wzsDatabuf_v2& prepare() {
        if (area_ == nullptr) {
            area_ = new char[kReceiveAreaSize];
        }
        memset(area_, 0, kReceiveAreaSize);
        buffer_.setExternalBuffer(area_, kReceiveAreaSize);
        return buffer_;
    }
    // Gives back what the receive attached; the area stays for the next pass.
    void release(CWzNetwork* session, unsigned long code) { session->FreeReceivedMessage(code, &buffer_); }
    // The buffer as received, with its area, for the queue.
    FclRestoreMsg* handOver(unsigned long code) {
        FclRestoreMsg* msg = new FclRestoreMsg(code);
        msg->payload = new wzsDatabuf_v2(std::move(buffer_));
        area_ = nullptr;
        return msg;
    }

private:
    char* area_ = nullptr;
    wzsDatabuf_v2 buffer_;
};

}  // namespace

void FclRestore::releaseReceivedMessage(CWzNetwork* session, FclRestoreMsg* msg) {
    if (msg == nullptr) {
        return;
    }
    if (msg->payload != nullptr) {
        if (session != nullptr) {
            session->FreeReceivedMessage(msg->code, msg->payload);
        }
        delete[] msg->payload->getExternalBuffer();
        delete msg->payload;
    }
    delete msg;
}

int FclRestore::processStopMsg() {
    int rc = _queueLock.lock();
    if (rc != 0) {
        FCL_ERROR("WzMutex::lock failed with code %d", rc);
        return 0;
    }
    _stopReceived = 1;
    FCL_LOG(0, "Removing messages from the queue...");
    for (size_t n = _msgQueue->size(); n > 0; --n) {
        FclRestoreMsg* msg = _msgQueue->front();
        _msgQueue->pop();
        if (msg->code == FSR_MSG_SEEK_TO_OFFSET) {
            releaseReceivedMessage(_network, msg);
            _freeSlots->release(1);
            continue;
        }
        _msgQueue->push(msg);
        if (msg->code == FSR_MSG_WAIT_ARCHIVE_CLOSED) {
            _msgQueue->push(new FclRestoreMsg(FSR_MSG_RESTORE_END));
            _msgsAvailable->release(1);
        }
    }
    rc = _queueLock.unlock();
    if (rc != 0) {
        FCL_ERROR("WzMutex::unlock failed with code %d", rc);
        return 0;
    }
    return 1;
}

void FclRestore::receiveRestoreMsgs() {
    if (_network == nullptr || _msgQueue == nullptr || _freeSlots == nullptr || _msgsAvailable == nullptr) {
        FCL_ERROR("The job did not start: no messages are received");
        return;
    }
    bool loopFailed = false;
    ReceiveBuffer received;
    while (_terminateReceiveMsgs == 0) {
        wzsDatabuf_v2& buffer = received.prepare();
        unsigned long code = 0;
        ignoreHostSignals();
        if (_archive != nullptr) {
            _archive->SendRestorePerfCounters(false);
        }
        _perfCounter.StartPerfCounter(kLabel, 0);
        _perfCounter.StartPerfCounter(kLabel, 13);
        bool timedOut = false;
        CQiError error = _network->ReceiveXDRMessage(&code, &buffer, nullptr, 0, FCL_RECEIVE_TIMEOUT_SECS, timedOut);
        if (error.IsError() && timedOut) {
            received.release(_network, code);
            _perfCounter.StopPerfCounter(kLabel, 0, 0);
            _perfCounter.CancelPerfCounter(kLabel, 13);
            continue;
        }
        if (error.IsError()) {
            _perfCounter.CancelPerfCounter(kLabel, 0);
            _perfCounter.CancelPerfCounter(kLabel, 13);
            FCL_ERROR("Error [%s] from CWzNetwork::ReceiveXDRMessage.", error.AsString().c_str());
            terminateOnFatalError();
            loopFailed = true;
            sendMsgToFIR(FSR_MSG_FAILURE);
            received.release(_network, code);
            break;
        }
        _perfCounter.StopPerfCounter(kLabel, 0, 0);
        _perfCounter.StopPerfCounter(kLabel, 13, buffer.getValidLen());

        if (code == FSR_MSG_KEEPALIVE) {
            FCL_LOG(0, "Received FSR_MSG_KEEPALIVE");
            KeepAliveRestoreHeadSession();
            received.release(_network, code);
            continue;
        }
        if (code == FSR_MSG_STOP) {
            // Acted on before waiting for a free place: a full queue must not hold the stop back, and the seeks it
            // drops make room for it.
            _fclRestoreUnix->SetStopMsgSent(true);
            FCL_LOG(0, "Received FSR_MSG_STOP");
            processStopMsg();
            sendMsgToRestoreHead(FSR_MSG_STOP);
        }

        _perfCounter.StartPerfCounter(kLabel, 10);
        bool placed = false;
        while (_terminateReceiveMsgs == 0) {
            if (_freeSlots->wait(kQueueWaitMs)) {
                placed = true;
                break;
            }
        }
        if (!placed) {
            received.release(_network, code);
            break;
        }
        _perfCounter.StopPerfCounter(kLabel, 10, 0);

        FclRestoreMsg* msg = received.handOver(code);
        int rc = _queueLock.lock();
        if (rc != 0) {
            FCL_ERROR("WZMutex::lock failed with code %lu", static_cast<unsigned long>(rc));
            releaseReceivedMessage(_network, msg);
            _freeSlots->release(1);
            terminateOnFatalError();
            loopFailed = true;
            continue;
        }
        _msgQueue->push(msg);
        rc = _queueLock.unlock();
        if (rc != 0) {
            FCL_ERROR("WZMutex::unlock failed with code %lu", static_cast<unsigned long>(rc));
            terminateOnFatalError();
            loopFailed = true;
            continue;
        }
        _msgsAvailable->release(1);
    }

    if (loopFailed && _multiStreamMode == 0) {
        // The workers are not waited for here; finalize and the destructor join them with a bound, so nothing they
        // use is freed while they run.
        FCL_LOG(0, "Exiting thread without waiting for children threads to complete ...");
        suddenExitFlag = true;
    } else {
        FCL_LOG(0, "Waiting for children threads to complete...");
    }
    terminateProcessMsgsThread();
    terminateReadPipelineThread();
    FCL_LOG(0, "Finishing restore");
    if (!(loopFailed && _multiStreamMode == 0)) {
        if (_prThread != nullptr) {
            _prThread->joinThread(nullptr);
        }
        if (_plThread != nullptr) {
            _plThread->joinThread(nullptr);
        }
    }
    FCL_LOG(0, "Exiting the receiveRestoreMsgs thread...");
}
