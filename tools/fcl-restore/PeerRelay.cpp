#include "tools/fcl-restore/PeerRelay.h"

#include <algorithm>

#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"
#include "protocol/FsrRecords.h"
#include "tools/fcl-restore/HostPaths.h"

namespace fclhost {
namespace {

CQiError forward(CWzNetwork& to, unsigned long code, wzsDatabuf_v2& received) {
    wzsDatabuf_v2 out;
    out.setExternalBuffer(received.getDataBuffer(), received.getValidLen());
    bool timedOut = false;
    return to.SendXDRMessage(code, received.getDataBuffer() != nullptr ? &out : nullptr, 0, -1, timedOut);
}

}  // namespace

std::string checkPeerDestination(unsigned long code, const char* record, unsigned long length,
                                 const std::string& destDir) {
    if (code != FSR_MSG_SET_PARAMS) {
        return "";
    }
    if (record == nullptr || length < sizeof(FSRSetParams)) {
        return "the FIR sent the job's parameters without their record";
    }
    const auto* params = reinterpret_cast<const FSRSetParams*>(record);
    if ((params->options & FSR_OPT_OUT_OF_PLACE) == 0) {
        return "the FIR asked for a restore in place, which writes outside the destination " + destDir;
    }
    // As the engine takes it: leading blanks dropped; some of its checks read '\' as '/'.
    std::string asked = params->destDir != nullptr ? params->destDir : "";
    asked.erase(0, asked.find_first_not_of(' '));
    if (asked.empty() || asked[0] != '/') {
        return "the FIR named the destination \"" + asked + "\", which is not an absolute path";
    }
    std::string slashed = asked;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    if (!isWithin(asked, destDir) || !isWithin(slashed, destDir)) {
        return "the FIR named the destination " + asked + ", which lies outside the destination " + destDir;
    }
    return "";
}

PeerRelay::PeerRelay(std::unique_ptr<CWzNetwork> peer, PeerCheck check)
    : peer_(std::move(peer)), check_(std::move(check)) {}

PeerRelay::~PeerRelay() {
    // The engine's last words (its failure or its end) still reach the peer: its end of the session is closed by
    // now, so the pump from it forwards what is left, then ends and shuts the peer's session itself.
    if (engineEnd_) {
        engineEnd_->shutdown();
    }
    if (fromEngine_.joinable()) {
        fromEngine_.join();
    }
    peer_->shutdown();
    if (relayEnd_) {
        relayEnd_->shutdown();
    }
    if (fromPeer_.joinable()) {
        fromPeer_.join();
    }
}

bool PeerRelay::start(std::string* why) {
    CQiError error = CWzNetwork::makePair(&relayEnd_, &engineEnd_);
    if (error.IsError()) {
        *why = "cannot make the job's session: " + error.AsString();
        return false;
    }
    fromPeer_ = std::thread([this] { peerToEngine(); });
    fromEngine_ = std::thread([this] { engineToPeer(); });
    return true;
}

std::string PeerRelay::refusal() const {
    std::lock_guard<std::mutex> hold(lock_);
    return refusal_;
}

std::string PeerRelay::pump(CWzNetwork& from, CWzNetwork& to, const char* sender, const PeerCheck* check) {
    for (;;) {
        wzsDatabuf_v2 buffer;
        unsigned long code = 0;
        bool timedOut = false;
        CQiError error = from.ReceiveXDRMessage(&code, &buffer, nullptr, 0, -1, timedOut);
        if (error.IsError() && !from.isBroken()) {
            // A record that does not decode is lost here as the engine would lose it; the session goes on.
            FCL_ERROR("A message of the %s was dropped: %s", sender, error.AsString().c_str());
            continue;
        }
        if (error.IsError()) {
            return "";
        }
        std::string refused = check != nullptr ? (*check)(code, buffer.getDataBuffer(), buffer.getValidLen()) : "";
        if (refused.empty()) {
            error = forward(to, code, buffer);
        }
        from.FreeReceivedMessage(code, &buffer);
        if (!refused.empty() || error.IsError()) {
            return refused;
        }
    }
}

bool PeerRelay::peerLeft() const {
    std::lock_guard<std::mutex> hold(lock_);
    return peerLeft_;
}

void PeerRelay::peerToEngine() {
    std::string refused = pump(*peer_, *relayEnd_, "FIR", &check_);
    if (refused.empty()) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            peerLeft_ = true;
        }
        relayEnd_->shutdown();
        return;
    }
    {
        std::lock_guard<std::mutex> hold(lock_);
        refusal_ = refused;
    }
    FCL_ERROR("The job is refused: %s", refused.c_str());
    // The engine ends a stopped job through its ordinary end, as failed; its last words still reach the peer, and
    // nothing more of the peer reaches the engine.
    bool timedOut = false;
    relayEnd_->SendXDRMessage(FSR_MSG_STOP, nullptr, 0, -1, timedOut);
    relayEnd_->SendXDRMessage(FSR_MSG_RESTORE_END, nullptr, 0, -1, timedOut);
}

void PeerRelay::engineToPeer() {
    pump(*relayEnd_, *peer_, "engine", nullptr);
    peer_->shutdown();
}

}  // namespace fclhost
