#pragma once
// One session of the restore protocol over a stream socket (Unix-domain, socketpair or TCP on loopback).
// A message on the wire: a 4-byte big-endian length N of what follows, an 8-byte big-endian code, then N-8 bytes
// of the record in XDR, as the protocol table lays it out for that code.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/session/wzsDatabuf.h"
#include "platform/support/CQiError.h"
#include "platform/support/WaitingSince.h"

class CWzNetwork {
public:
    // The largest N (code and record) a message may have.
    static constexpr size_t kMaxMessage = 16 * 1024 * 1024;

    // SendXDRMessage flag: the message may wait to go out with the ones after it, in one write. It goes at the latest
    // with the next message sent without the flag, at flushPending(), once kPendingBytes have gathered, or when the
    // oldest waiting message is kPendingAge old at a send or at flushIfStale(). Its send answers success; a failure
    // of the write that carries it is the answer of that later call, and breaks the session.
    static constexpr int kSendMayWait = 0x1;
    static constexpr size_t kPendingBytes = 32 * 1024;
    static constexpr std::chrono::milliseconds kPendingAge{10};

    // Takes ownership of a connected stream socket.
    explicit CWzNetwork(int fd);
    ~CWzNetwork();
    CWzNetwork(const CWzNetwork&) = delete;
    CWzNetwork& operator=(const CWzNetwork&) = delete;

    // Two sessions joined to each other.
    static CQiError makePair(std::unique_ptr<CWzNetwork>* first, std::unique_ptr<CWzNetwork>* second);
    // Connects to "127.0.0.1:PORT" or to a Unix-domain socket path.
    static CQiError connect(const std::string& address, std::unique_ptr<CWzNetwork>* session);

    // Sends `code` with the record `buffer` points at (none when the buffer is null or holds no data). The record is
    // encoded whole here, so the caller may reuse it at once. `timeoutSeconds` -1 waits without limit. Whole
    // messages only: a failure part-way through breaks the session.
    CQiError SendXDRMessage(unsigned long code, wzsDatabuf_v2* buffer, int flags, int timeoutSeconds, bool& timedOut);
    // Writes the messages that wait (see kSendMayWait), without a time limit.
    CQiError flushPending();
    // flushPending() when the oldest waiting message is kPendingAge old; nothing when none waits.
    CQiError flushIfStale();
    // Waits for the next message: `*code` and its record in `buffer` (see wzsDatabuf_v2). `timeoutSeconds` -1 waits
    // without limit; when it passes first, the result is an error and `timedOut` is set, and a message that had
    // begun to arrive is kept for the next call. A peer that closes, a message over kMaxMessage or shorter than its
    // code is an error that breaks the session; a record that does not decode is an error for that message only.
    CQiError ReceiveXDRMessage(unsigned long* code, wzsDatabuf_v2* buffer, wzsHostProtocolHeader* header, int flags,
                               int timeoutSeconds, bool& timedOut);
    // Releases the session memory of the last receive into `buffer`; the attached buffer stays its owner's.
    CQiError FreeReceivedMessage(unsigned long code, wzsDatabuf_v2* buffer);

    // Ends the session both ways: the peer sees it closed and a receive waiting here returns.
    void shutdown();
    // Ends the current or next wait of ReceiveXDRMessage at once, as if its time had run out; the session goes on.
    // For a receiver that must see a flag of its own without waiting out its time-out.
    void wakeReceiver();
    bool isBroken() const { return m_broken.load(); }
    int fd() const { return m_fd; }

    // Test hooks: the next `count` receives or sends fail with `errnum` without touching the socket.
    void injectReceiveErrors(int count, int errnum = EIO);
    void injectSendErrors(int count, int errnum = EPIPE);

private:
    CQiError readFrame(int timeoutSeconds, bool& timedOut);
    CQiError decodeInto(unsigned long code, const unsigned char* body, size_t n, wzsDatabuf_v2* buffer);
    // Writes m_tx from its start; on a time-out with nothing written, m_tx is cut back to `keep` bytes.
    CQiError writeAll(int timeoutSeconds, bool& timedOut, size_t keep = 0);
    CQiError breakWith(int errnum, const char* why);

    int m_fd;
    int m_wakeFd = -1;  // an eventfd: wakeReceiver() makes it readable
    std::atomic<bool> m_broken{false};

    std::mutex m_sendLock;
    // The messages that wait (kSendMayWait), then the one being sent.
    std::vector<unsigned char> m_tx;
    wzsupport::WaitingSince m_waiting;
    std::atomic<int> m_sendFaults{0};
    std::atomic<int> m_sendFaultErrno{EPIPE};

    std::mutex m_receiveLock;
    // What has arrived and is not yet taken: from m_rxStart, m_rxHave bytes, the next message first (its length
    // word, code and record: m_rxNeed bytes, 4 until its length word is in).
    std::vector<unsigned char> m_rx;
    size_t m_rxStart = 0;
    size_t m_rxHave = 0;
    size_t m_rxNeed = 4;
    std::atomic<int> m_receiveFaults{0};
    std::atomic<int> m_receiveFaultErrno{EIO};
};

// Waits for sessions on "127.0.0.1:PORT" (PORT 0: any free port) or a Unix-domain socket path.
class CWzListener {
public:
    ~CWzListener();
    CWzListener(const CWzListener&) = delete;
    CWzListener& operator=(const CWzListener&) = delete;

    static CQiError listen(const std::string& address, std::unique_ptr<CWzListener>* listener);
    // The next session; `timeoutSeconds` -1 waits without limit.
    CQiError accept(int timeoutSeconds, std::unique_ptr<CWzNetwork>* session);
    // The address to connect to, with the port the system chose.
    const std::string& address() const { return m_address; }

private:
    CWzListener(int fd, std::string address, std::string unixPath);
    int m_fd;
    std::string m_address;
    std::string m_unixPath;  // removed when the listener goes
};

// Printable names of codes for log lines: the protocol's name, or the code in hex.
const char* WZS_PRIM_STRING(unsigned long code);
const char* WZS_FileSystemRestore_PM_STRING(unsigned int code);
