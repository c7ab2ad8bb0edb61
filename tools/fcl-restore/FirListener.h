#pragma once
// The socket an external FIR connects to. Only the host's own user (or root) may run a job through it: a Unix socket
// is made with no access for group or others, never through a link at its path and never over a file that is not a
// socket; every peer, on a Unix socket or on loopback TCP, is identified and refused unless it runs as the host's user
// or as root.
#include <sys/types.h>

#include <memory>
#include <string>

#include "platform/session/CWzNetwork.h"
#include "tools/fcl-restore/ListenAddress.h"

namespace fclhost {

// The user a connected socket's peer runs as: SO_PEERCRED on a Unix socket; on loopback TCP the owner of the peer's
// end, from the kernel's table of TCP sockets. False when it cannot be told.
bool peerUid(int fd, uid_t* uid);
// Whether a peer running as `peer` may run a job in a host running as `host`.
bool peerMayRunJobs(uid_t peer, uid_t host);

class FirListener {
public:
    // Binds and listens; false with a reason when the address cannot be taken.
    static bool open(const ListenAddress& address, std::unique_ptr<FirListener>* listener, std::string* why);
    // Closes the socket and removes the Unix socket's file while it is still the one this listener made.
    ~FirListener();
    FirListener(const FirListener&) = delete;
    FirListener& operator=(const FirListener&) = delete;

    enum class Wait { Accepted, Refused, TimedOut, Failed };
    // Waits up to `timeoutMs` for the next peer. Refused: a peer connected and was turned away (`why` says who);
    // Failed: the socket broke (`why` says how).
    Wait accept(int timeoutMs, std::unique_ptr<CWzNetwork>* session, std::string* why);
    // What a FIR connects to, with the port the system chose.
    const std::string& address() const { return printable_; }

private:
    FirListener(int fd, std::string printable, std::string path, dev_t device, ino_t inode);

    int fd_;
    std::string printable_;
    std::string path_;  // "" for TCP
    dev_t device_;
    ino_t inode_;
};

}  // namespace fclhost
