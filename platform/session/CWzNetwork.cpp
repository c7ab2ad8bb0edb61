#include "platform/session/CWzNetwork.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "platform/session/FsrWireTable.h"
#include "platform/session/XdrCodec.h"
#include "platform/support/FXErrorUtil.h"

namespace {

constexpr size_t kHeader = 12;  // length word and code
constexpr size_t kReadAhead = 64 * 1024;

using Clock = std::chrono::steady_clock;

// Milliseconds left before `deadline`, for poll; -1 without one.
int msLeft(bool limited, Clock::time_point deadline) {
    if (!limited) {
        return -1;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Waits until `fd` is ready for `events`; false when the time ran out or `wakeFd` (when given) was signalled,
// which the wait consumes.
bool waitFor(int fd, short events, bool limited, Clock::time_point deadline, int wakeFd = -1) {
    for (;;) {
        pollfd p[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
        int ms = msLeft(limited, deadline);
        int r = poll(p, wakeFd >= 0 ? 2 : 1, ms);
        if (r > 0 && (p[1].revents & POLLIN) != 0) {
            uint64_t count = 0;
            if (::read(wakeFd, &count, sizeof count) < 0) {
                // Already consumed by an earlier wait: the wake-up was seen.
            }
            return false;
        }
        if (r > 0) {
            return true;
        }
        if (r == 0) {
            return false;
        }
        if (errno != EINTR) {
            return true;  // the next read or write reports the error
        }
    }
}

uint32_t be32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void putBe32(unsigned char* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

bool takeFault(std::atomic<int>& faults) {
    int n = faults.load();
    while (n > 0) {
        if (faults.compare_exchange_weak(n, n - 1)) {
            return true;
        }
    }
    return false;
}

}  // namespace

CWzNetwork::CWzNetwork(int fd) : m_fd(fd) {
    if (m_fd < 0) {
        m_broken = true;
        return;
    }
    // Every wait goes through poll, so the time-outs hold whatever the socket would do.
    int flags = fcntl(m_fd, F_GETFL);
    if (flags < 0 || fcntl(m_fd, F_SETFL, flags | O_NONBLOCK) < 0 || fcntl(m_fd, F_SETFD, FD_CLOEXEC) < 0) {
        m_broken = true;
    }
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_rx.resize(kReadAhead);
}

CWzNetwork::~CWzNetwork() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
    }
}

void CWzNetwork::wakeReceiver() {
    if (m_wakeFd >= 0) {
        uint64_t one = 1;
        if (::write(m_wakeFd, &one, sizeof one) < 0) {
            // The counter is already signalled (it cannot overflow in practice): the receiver wakes anyway.
        }
    }
}

void CWzNetwork::shutdown() {
    if (m_fd >= 0) {
        ::shutdown(m_fd, SHUT_RDWR);
    }
}

void CWzNetwork::injectReceiveErrors(int count, int errnum) {
    m_receiveFaultErrno = errnum;
    m_receiveFaults = count;
}

void CWzNetwork::injectSendErrors(int count, int errnum) {
    m_sendFaultErrno = errnum;
    m_sendFaults = count;
}

CQiError CWzNetwork::breakWith(int errnum, const char* why) {
    m_broken = true;
    return FXErrorUtil::ErrorErrNo(FX_HERE, errnum, "session broken: %s", why);
}

CQiError CWzNetwork::SendXDRMessage(unsigned long code, wzsDatabuf_v2* buffer, int flags, int timeoutSeconds,
                                    bool& timedOut) {
    timedOut = false;
    std::lock_guard<std::mutex> hold(m_sendLock);
    if (takeFault(m_sendFaults)) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, m_sendFaultErrno, "injected send error");
    }
    if (m_broken) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, EPIPE, "the session is broken");
    }
    const size_t waiting = m_tx.size();
    m_tx.resize(waiting + kHeader, 0);
    const char* data = buffer != nullptr ? buffer->getDataBuffer() : nullptr;
    if (data != nullptr) {
        const wzsession::WireCode* entry = wzsession::findWireCode(code);
        size_t length = buffer->getValidLen();
        std::string why;
        bool ok = true;
        const size_t limit = waiting + 4 + kMaxMessage;
        if (entry != nullptr && entry->record != nullptr) {
            ok = wzsession::encodeRecord(*entry->record, data, length, m_tx, limit, &why);
        } else if (length > 0) {
            ok = wzsession::encodeOpaque(data, length, m_tx, limit, &why);
        }
        if (!ok) {
            m_tx.resize(waiting);
            return FXErrorUtil::ErrorErrNo(FX_HERE, EMSGSIZE, "cannot send %s: %s", WZS_PRIM_STRING(code), why.c_str());
        }
    }
    unsigned char* header = &m_tx[waiting];
    putBe32(header, uint32_t(m_tx.size() - waiting - 4));
    putBe32(header + 4, uint32_t(code >> 32));
    putBe32(header + 8, uint32_t(code));
    if ((flags & kSendMayWait) != 0) {
        const Clock::time_point now = Clock::now();
        if (waiting == 0) {
            m_waiting.begin(now);
        }
        if (m_tx.size() < kPendingBytes && !m_waiting.olderThan(kPendingAge, now)) {
            return CQiError::Success();
        }
    }
    return writeAll(timeoutSeconds, timedOut, waiting);
}

CQiError CWzNetwork::flushPending() {
    std::lock_guard<std::mutex> hold(m_sendLock);
    if (m_tx.empty()) {
        return CQiError::Success();
    }
    bool timedOut = false;
    return writeAll(-1, timedOut);
}

CQiError CWzNetwork::flushIfStale() {
    if (!m_waiting.olderThan(kPendingAge, Clock::now())) {
        return CQiError::Success();
    }
    return flushPending();
}

CQiError CWzNetwork::writeAll(int timeoutSeconds, bool& timedOut, size_t keep) {
    const bool limited = timeoutSeconds >= 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(limited ? timeoutSeconds : 0);
    size_t sent = 0;
    CQiError result = CQiError::Success();
    while (sent < m_tx.size()) {
        ssize_t n = ::send(m_fd, m_tx.data() + sent, m_tx.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (waitFor(m_fd, POLLOUT, limited, deadline)) {
                continue;
            }
            timedOut = true;
            if (sent == 0) {
                // Nothing went: the messages that waited still wait, the one being sent is not sent.
                m_tx.resize(keep);
                if (keep == 0) {
                    m_waiting.end();
                }
                return FXErrorUtil::ErrorErrNo(FX_HERE, ETIMEDOUT, "send timed out");
            }
            result = breakWith(ETIMEDOUT, "send timed out inside a message");
        } else {
            result = breakWith(n < 0 ? errno : EPIPE, "send failed");
        }
        break;
    }
    m_tx.clear();
    m_waiting.end();
    return result;
}

CQiError CWzNetwork::ReceiveXDRMessage(unsigned long* code, wzsDatabuf_v2* buffer, wzsHostProtocolHeader*, int,
                                       int timeoutSeconds, bool& timedOut) {
    timedOut = false;
    if (code == nullptr || buffer == nullptr) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, EINVAL, "no code or buffer to receive into");
    }
    std::lock_guard<std::mutex> hold(m_receiveLock);
    buffer->releaseSessionMemory();
    if (takeFault(m_receiveFaults)) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, m_receiveFaultErrno, "injected receive error");
    }
    if (m_broken) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, ECONNRESET, "the session is broken");
    }
    CQiError error = readFrame(timeoutSeconds, timedOut);
    if (error.IsError()) {
        return error;
    }
    const unsigned char* frame = m_rx.data() + m_rxStart;
    size_t n = m_rxNeed - kHeader;
    m_rxStart += m_rxNeed;
    m_rxHave -= m_rxNeed;
    m_rxNeed = 4;
    *code = uint64_t(be32(frame + 4)) << 32 | be32(frame + 8);
    return decodeInto(*code, frame + kHeader, n, buffer);
}

CQiError CWzNetwork::readFrame(int timeoutSeconds, bool& timedOut) {
    const bool limited = timeoutSeconds >= 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(limited ? timeoutSeconds : 0);
    for (;;) {
        if (m_rxNeed == 4 && m_rxHave >= 4) {
            uint32_t length = be32(m_rx.data() + m_rxStart);
            if (length < 8) {
                return breakWith(EPROTO, "message shorter than its code");
            }
            if (length > kMaxMessage) {
                return breakWith(EMSGSIZE, "message over the size limit");
            }
            m_rxNeed = 4 + size_t(length);
        }
        if (m_rxHave >= m_rxNeed) {
            return CQiError::Success();
        }
        // What is left of the buffer moves to its start, and the receive takes whatever has arrived, so that a
        // stream of small messages costs one receive for many of them.
        if (m_rxStart != 0) {
            std::memmove(m_rx.data(), m_rx.data() + m_rxStart, m_rxHave);
            m_rxStart = 0;
        }
        if (m_rx.size() < m_rxNeed) {
            m_rx.resize(m_rxNeed);
        }
        ssize_t n = ::recv(m_fd, m_rx.data() + m_rxHave, m_rx.size() - m_rxHave, MSG_DONTWAIT);
        if (n > 0) {
            m_rxHave += size_t(n);
            continue;
        }
        if (n == 0) {
            return breakWith(ECONNRESET, m_rxHave == 0 ? "the peer closed the session"
                                                       : "the peer closed the session inside a message");
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return breakWith(errno, "receive failed");
        }
        if (!waitFor(m_fd, POLLIN, limited, deadline, m_wakeFd)) {
            timedOut = true;
            return FXErrorUtil::ErrorErrNo(FX_HERE, ETIMEDOUT, "no message within %d seconds", timeoutSeconds);
        }
    }
}

CQiError CWzNetwork::decodeInto(unsigned long code, const unsigned char* body, size_t n, wzsDatabuf_v2* buffer) {
    if (n == 0) {
        buffer->m_data = nullptr;
        return CQiError::Success();
    }
    const wzsession::WireCode* entry = wzsession::findWireCode(code);
    const wzsession::RecordLayout* layout = entry != nullptr ? entry->record : nullptr;
    wzsession::DecodedSize size;
    std::string why;
    if (!wzsession::measureRecord(layout, body, n, &size, &why)) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, EBADMSG, "%s does not decode: %s", WZS_PRIM_STRING(code), why.c_str());
    }
    if (size.fixed == 0) {
        buffer->m_data = nullptr;
        return CQiError::Success();
    }
    char* attached = buffer->m_buffer.Ptr();
    const bool fits = attached != nullptr && size.fixed <= buffer->m_buffer.Capacity() &&
                      reinterpret_cast<uintptr_t>(attached) % alignof(uint64_t) == 0;
    const size_t fixedInSession = fits ? 0 : (size.fixed + 7) & ~size_t(7);
    char* session = nullptr;
    if (fixedInSession + size.outOfLine > 0) {
        session = buffer->m_session.Allocate(fixedInSession + size.outOfLine);
    }
    char* fixed = fits ? attached : session;
    wzsession::decodeRecord(layout, body, n, fixed, session != nullptr ? session + fixedInSession : nullptr);
    buffer->m_data = fixed;
    buffer->m_validLen = size.fixed;
    return CQiError::Success();
}

CQiError CWzNetwork::FreeReceivedMessage(unsigned long, wzsDatabuf_v2* buffer) {
    if (buffer != nullptr) {
        buffer->releaseSessionMemory();
    }
    return CQiError::Success();
}
