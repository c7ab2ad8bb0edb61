// Making sessions: joined pairs, connecting, listening.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/session/CWzNetwork.h"
#include "platform/support/FXErrorUtil.h"

namespace {

struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = AF_UNSPEC;
};

// "A.B.C.D:PORT" is TCP; anything else names a Unix-domain socket.
CQiError parseAddress(const std::string& address, SocketAddress* out) {
    size_t colon = address.rfind(':');
    if (colon != std::string::npos && colon + 1 < address.size()) {
        std::string host = address.substr(0, colon);
        const char* port = address.c_str() + colon + 1;
        char* end = nullptr;
        unsigned long number = strtoul(port, &end, 10);
        in_addr ip{};
        if (*end == '\0' && number <= 65535 && inet_pton(AF_INET, host.c_str(), &ip) == 1) {
            auto* in = reinterpret_cast<sockaddr_in*>(&out->storage);
            in->sin_family = AF_INET;
            in->sin_port = htons(uint16_t(number));
            in->sin_addr = ip;
            out->length = sizeof(sockaddr_in);
            out->family = AF_INET;
            return CQiError::Success();
        }
    }
    auto* un = reinterpret_cast<sockaddr_un*>(&out->storage);
    if (address.empty() || address.size() >= sizeof(un->sun_path)) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, ENAMETOOLONG, "bad session address '%s'", address.c_str());
    }
    un->sun_family = AF_UNIX;
    memcpy(un->sun_path, address.c_str(), address.size() + 1);
    out->length = socklen_t(offsetof(sockaddr_un, sun_path) + address.size() + 1);
    out->family = AF_UNIX;
    return CQiError::Success();
}

void noDelay(int fd, int family) {
    if (family == AF_INET) {
        int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
}

}  // namespace

CQiError CWzNetwork::makePair(std::unique_ptr<CWzNetwork>* first, std::unique_ptr<CWzNetwork>* second) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, errno, "socketpair failed");
    }
    first->reset(new CWzNetwork(fds[0]));
    second->reset(new CWzNetwork(fds[1]));
    return CQiError::Success();
}

CQiError CWzNetwork::connect(const std::string& address, std::unique_ptr<CWzNetwork>* session) {
    SocketAddress where;
    CQiError error = parseAddress(address, &where);
    if (error.IsError()) {
        return error;
    }
    int fd = socket(where.family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, errno, "socket failed");
    }
    int r;
    do {
        r = ::connect(fd, reinterpret_cast<sockaddr*>(&where.storage), where.length);
    } while (r != 0 && errno == EINTR);
    if (r != 0) {
        int saved = errno;
        ::close(fd);
        return FXErrorUtil::ErrorErrNo(FX_HERE, saved, "cannot connect to '%s'", address.c_str());
    }
    noDelay(fd, where.family);
    session->reset(new CWzNetwork(fd));
    return CQiError::Success();
}

CWzListener::CWzListener(int fd, std::string address, std::string unixPath)
    : m_fd(fd), m_address(std::move(address)), m_unixPath(std::move(unixPath)) {}

CWzListener::~CWzListener() {
    ::close(m_fd);
    if (!m_unixPath.empty()) {
        unlink(m_unixPath.c_str());
    }
}

CQiError CWzListener::listen(const std::string& address, std::unique_ptr<CWzListener>* listener) {
    SocketAddress where;
    CQiError error = parseAddress(address, &where);
    if (error.IsError()) {
        return error;
    }
    int fd = socket(where.family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, errno, "socket failed");
    }
    if (where.family == AF_INET) {
        int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&where.storage), where.length) != 0 || ::listen(fd, 8) != 0) {
        int saved = errno;
        ::close(fd);
        return FXErrorUtil::ErrorErrNo(FX_HERE, saved, "cannot listen on '%s'", address.c_str());
    }
    std::string bound = address;
    std::string unixPath;
    if (where.family == AF_INET) {
        sockaddr_in in{};
        socklen_t length = sizeof in;
        getsockname(fd, reinterpret_cast<sockaddr*>(&in), &length);
        char ip[INET_ADDRSTRLEN] = "";
        inet_ntop(AF_INET, &in.sin_addr, ip, sizeof ip);
        bound = std::string(ip) + ":" + std::to_string(ntohs(in.sin_port));
    } else {
        unixPath = address;
    }
    listener->reset(new CWzListener(fd, bound, unixPath));
    return CQiError::Success();
}

CQiError CWzListener::accept(int timeoutSeconds, std::unique_ptr<CWzNetwork>* session) {
    pollfd p{m_fd, POLLIN, 0};
    int r;
    do {
        r = poll(&p, 1, timeoutSeconds < 0 ? -1 : timeoutSeconds * 1000);
    } while (r < 0 && errno == EINTR);
    if (r == 0) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, ETIMEDOUT, "no peer within %d seconds", timeoutSeconds);
    }
    int fd = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, errno, "accept failed");
    }
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    getsockname(fd, reinterpret_cast<sockaddr*>(&peer), &length);
    noDelay(fd, peer.ss_family);
    session->reset(new CWzNetwork(fd));
    return CQiError::Success();
}
