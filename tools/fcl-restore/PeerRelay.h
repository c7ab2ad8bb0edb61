#pragma once
// The host between an external FIR and the engine: every message passes through it, so that what the peer asks for
// is checked before the engine acts on it. A message the check refuses never reaches the engine; the job is stopped
// instead, and ends failed with the refusal as its reason.
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/session/CWzNetwork.h"

namespace fclhost {

// "" lets a message of the peer through; anything else is why the job is refused. `record` is the decoded record
// (null for a message without one).
using PeerCheck = std::function<std::string(unsigned long code, const char* record, unsigned long length)>;

// The destination and the options word of a job's parameters must keep every write under `destDir` (resolved): an
// out-of-place restore into `destDir` or beneath it. Other messages pass.
std::string checkPeerDestination(unsigned long code, const char* record, unsigned long length,
                                 const std::string& destDir);

class PeerRelay {
public:
    // Relays between `peer` and the session engineEnd() gives, checking each message of the peer with `check`.
    PeerRelay(std::unique_ptr<CWzNetwork> peer, PeerCheck check);
    // Ends both sessions and waits for the relay's threads.
    ~PeerRelay();
    PeerRelay(const PeerRelay&) = delete;
    PeerRelay& operator=(const PeerRelay&) = delete;

    // False with a reason when the sessions cannot be made.
    bool start(std::string* why);
    // The engine's end; owned by the caller once taken.
    std::unique_ptr<CWzNetwork> takeEngineEnd() { return std::move(engineEnd_); }
    // Why the peer was refused; "" while it was not.
    std::string refusal() const;
    // The peer ended its session (whenever that was).
    bool peerLeft() const;

private:
    void peerToEngine();
    void engineToPeer();
    // Passes messages on until `from` ends, a send fails or `check` (when given) refuses one: the refusal, or "".
    static std::string pump(CWzNetwork& from, CWzNetwork& to, const char* sender, const PeerCheck* check);

    std::unique_ptr<CWzNetwork> peer_;
    std::unique_ptr<CWzNetwork> relayEnd_;
    std::unique_ptr<CWzNetwork> engineEnd_;
    PeerCheck check_;
    mutable std::mutex lock_;
    std::string refusal_;
    bool peerLeft_ = false;
    std::thread fromPeer_;
    std::thread fromEngine_;
};

}  // namespace fclhost
