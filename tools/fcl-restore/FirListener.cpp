#include "tools/fcl-restore/FirListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace fclhost {
namespace {

std::string failure(const std::string& what, int error) {
    return what + ": " + strerror(error);
}

sockaddr_un unixAddress(const std::string& path) {
    sockaddr_un un{};
    un.sun_family = AF_UNIX;
    memcpy(un.sun_path, path.c_str(), path.size() + 1);
    return un;
}

// An existing socket at `path`: one nobody listens on any more is removed; a live one, another user's, or anything
// that is not a socket is left alone and refused.
bool clearStaleSocket(const std::string& path, std::string* why) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            return true;
        }
        *why = failure("cannot listen on " + path, errno);
        return false;
    }
    if (!S_ISSOCK(st.st_mode)) {
        *why = "cannot listen on " + path + ": it exists and is not a socket";
        return false;
    }
    if (st.st_uid != geteuid()) {
        *why = "cannot listen on " + path + ": it is a socket of user " + std::to_string(st.st_uid);
        return false;
    }
    int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        *why = failure("cannot listen on " + path, errno);
        return false;
    }
    sockaddr_un un = unixAddress(path);
    int connected = connect(probe, reinterpret_cast<sockaddr*>(&un), sizeof un);
    int error = errno;
    close(probe);
    if (connected == 0) {
        *why = "cannot listen on " + path + ": another process listens there";
        return false;
    }
    if (error != ECONNREFUSED) {
        *why = failure("cannot listen on " + path, error);
        return false;
    }
    struct stat again;
    if (lstat(path.c_str(), &again) == 0 && again.st_dev == st.st_dev && again.st_ino == st.st_ino &&
        unlink(path.c_str()) != 0) {
        *why = failure("cannot remove the stale socket " + path, errno);
        return false;
    }
    return true;
}

// /proc/net/tcp and tcp6 print an address as the hex of its 32-bit words in the machine's order, then the port.
std::string kernelHex(const sockaddr_storage& address) {
    char text[64] = "";
    if (address.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        snprintf(text, sizeof text, "%08X:%04X", in.sin_addr.s_addr, ntohs(in.sin_port));
        return text;
    }
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
    std::string hex;
    for (int i = 0; i < 4; ++i) {
        uint32_t word;
        memcpy(&word, &in6.sin6_addr.s6_addr[4 * i], sizeof word);
        snprintf(text, sizeof text, "%08X", word);
        hex += text;
    }
    snprintf(text, sizeof text, ":%04X", ntohs(in6.sin6_port));
    return hex + text;
}

// The owner of the TCP socket whose own end is `peer` and whose other end is `local`.
bool tcpOwner(const sockaddr_storage& local, const sockaddr_storage& peer, uid_t* uid) {
    std::ifstream table(local.ss_family == AF_INET ? "/proc/net/tcp" : "/proc/net/tcp6");
    const std::string peerEnd = kernelHex(peer);
    const std::string localEnd = kernelHex(local);
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, own, other, state, queues, timer, retransmits;
        unsigned long owner = 0;
        if (fields >> slot >> own >> other >> state >> queues >> timer >> retransmits >> owner && own == peerEnd &&
            other == localEnd) {
            *uid = static_cast<uid_t>(owner);
            return true;
        }
    }
    return false;
}

}  // namespace

bool peerUid(int fd, uid_t* uid) {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return false;
    }
    if (local.ss_family == AF_UNIX) {
        ucred credentials{};
        socklen_t size = sizeof credentials;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
            return false;
        }
        *uid = credentials.uid;
        return true;
    }
    sockaddr_storage peer{};
    length = sizeof peer;
    if ((local.ss_family != AF_INET && local.ss_family != AF_INET6) ||
        getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
        return false;
    }
    return tcpOwner(local, peer, uid);
}

bool peerMayRunJobs(uid_t peer, uid_t host) {
    return peer == host || peer == 0;
}

FirListener::FirListener(int fd, std::string printable, std::string path, dev_t device, ino_t inode)
    : fd_(fd), printable_(std::move(printable)), path_(std::move(path)), device_(device), inode_(inode) {}

FirListener::~FirListener() {
    close(fd_);
    struct stat st;
    if (!path_.empty() && lstat(path_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_) {
        unlink(path_.c_str());
    }
}

bool FirListener::open(const ListenAddress& address, std::unique_ptr<FirListener>* listener, std::string* why) {
    if (address.kind == ListenAddress::Kind::UnixSocket) {
        const std::string& path = address.path;
        if (!clearStaleSocket(path, why)) {
            return false;
        }
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            *why = failure("cannot listen on " + path, errno);
            return false;
        }
        // bind makes the file with the umask's bits taken away, and fails on any name already there, a link too.
        sockaddr_un un = unixAddress(path);
        const mode_t previous = umask(077);
        int bound = bind(fd, reinterpret_cast<sockaddr*>(&un), sizeof un);
        int error = errno;
        umask(previous);
        if (bound != 0 || ::listen(fd, 8) != 0) {
            error = bound != 0 ? error : errno;
            close(fd);
            *why = failure("cannot listen on " + path, error);
            return false;
        }
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != geteuid() ||
            (st.st_mode & 077) != 0) {
            close(fd);
            *why = "cannot listen on " + path + ": the socket made there was replaced or is open to others";
            return false;
        }
        listener->reset(new FirListener(fd, path, path, st.st_dev, st.st_ino));
        return true;
    }

    const bool v6 = address.kind == ListenAddress::Kind::Inet6;
    sockaddr_storage where{};
    socklen_t length;
    if (v6) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(where);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(address.port);
        inet_pton(AF_INET6, address.host.c_str(), &in6.sin6_addr);
        length = sizeof in6;
    } else {
        auto& in = reinterpret_cast<sockaddr_in&>(where);
        in.sin_family = AF_INET;
        in.sin_port = htons(address.port);
        inet_pton(AF_INET, address.host.c_str(), &in.sin_addr);
        length = sizeof in;
    }
    const std::string named = v6 ? "[" + address.host + "]:" + std::to_string(address.port)
                                 : address.host + ":" + std::to_string(address.port);
    int fd = socket(where.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *why = failure("cannot listen on " + named, errno);
        return false;
    }
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (v6) {
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&where), length) != 0 || ::listen(fd, 8) != 0) {
        int error = errno;
        close(fd);
        *why = failure("cannot listen on " + named, error);
        return false;
    }
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &boundLength);
    const uint16_t port =
        ntohs(v6 ? reinterpret_cast<sockaddr_in6&>(bound).sin6_port : reinterpret_cast<sockaddr_in&>(bound).sin_port);
    const std::string printable =
        v6 ? "[" + address.host + "]:" + std::to_string(port) : address.host + ":" + std::to_string(port);
    listener->reset(new FirListener(fd, printable, "", 0, 0));
    return true;
}

FirListener::Wait FirListener::accept(int timeoutMs, std::unique_ptr<CWzNetwork>* session, std::string* why) {
    pollfd p{fd_, POLLIN, 0};
    int ready;
    do {
        ready = poll(&p, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
        *why = failure("waiting for the FIR", errno);
        return Wait::Failed;
    }
    if (ready == 0) {
        return Wait::TimedOut;
    }
    int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNABORTED || errno == EINTR) {
            return Wait::TimedOut;
        }
        *why = failure("waiting for the FIR", errno);
        return Wait::Failed;
    }
    uid_t uid = 0;
    if (!peerUid(fd, &uid)) {
        close(fd);
        *why = "refused a FIR that cannot be identified";
        return Wait::Refused;
    }
    if (!peerMayRunJobs(uid, geteuid())) {
        close(fd);
        *why = "refused a FIR running as user " + std::to_string(uid) + ": only user " + std::to_string(geteuid()) +
               " or root may run a job here";
        return Wait::Refused;
    }
    if (path_.empty()) {
        int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    session->reset(new CWzNetwork(fd));
    return Wait::Accepted;
}

}  // namespace fclhost
