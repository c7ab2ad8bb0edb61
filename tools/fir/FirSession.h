#pragma once
// The FIR's end of a job's session, at the level tests script it: send a code with a record, wait for the next
// message or for given codes. A thread receives everything the engine sends, keeps a copy of each message, and
// answers each FSR_MSG_ERROR_REPORT with FSR_MSG_ERROR_REPORT_7_0 naming the item (unless told not to).
#include <condition_variable>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/session/CWzNetwork.h"
#include "platform/support/CQiError.h"
#include "tools/fir/FirMessages.h"

namespace fir {

// An answer the FIR sent to an error report: the item it named, and how many messages of the engine had come
// before it was sent (so a test can tell what the engine sent after it).
struct FirAnswer {
    std::string name;
    size_t receivedBefore = 0;
};

class FirSession {
public:
    // Names the item an error report is about; the driver's default job looks it up in the archive index.
    using ReportNamer = std::function<std::string(const FSRErrorReport&)>;
    // Sees each message as it arrives, on the receiving thread, before any waiter does (a host's progress display).
    using Observer = std::function<void(const FirMessage&)>;

    explicit FirSession(std::unique_ptr<CWzNetwork> session);
    // Ends the session (the engine sees it closed) and the receiving thread.
    ~FirSession();
    FirSession(const FirSession&) = delete;
    FirSession& operator=(const FirSession&) = delete;

    // Sends `code` with the `length` bytes of `record`, or alone when `record` is null.
    CQiError send(unsigned long code, const void* record = nullptr, size_t length = 0);

    // The next message after the last one next() or waitFor() returned, waiting up to `timeoutMs` (-1: no limit).
    // False when none came in time or the session ended with nothing more to read.
    bool next(FirMessage* message, int timeoutMs);
    // Moves on to the next message carrying one of `codes`, passing over others (they stay in received()).
    bool waitFor(std::initializer_list<unsigned long> codes, int timeoutMs, FirMessage* message = nullptr);

    // Every message received so far, in order.
    std::vector<FirMessage> received() const;
    std::vector<FirMessage> received(unsigned long code) const;
    // The last of FSR_MSG_RESTORE_END, FSR_MSG_FAILURE and FSR_MSG_FATAL_ERROR received, 0 while none came.
    unsigned long finalStatus() const;
    // The session ended (closed by the peer, or broken); the error says how.
    bool ended() const;
    CQiError endError() const;
    // Error reports received and answered.
    size_t reportsAnswered() const;
    // The answers sent, in order.
    std::vector<FirAnswer> answers() const;

    // Off: error reports are held back unanswered. On again: the reports held back are answered now, on the
    // caller's thread, and later ones as they come.
    void setAnswerErrorReports(bool answer);
    void setReportNamer(ReportNamer namer);
    void setObserver(Observer observer);
    // Ends the session now; the receiving thread stops.
    void close();

private:
    void receiveLoop();
    void answer(const FSRErrorReport& report);

    std::unique_ptr<CWzNetwork> m_session;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<FirMessage> m_messages;
    size_t m_cursor = 0;
    bool m_ended = false;
    CQiError m_endError;
    unsigned long m_finalStatus = 0;
    size_t m_answered = 0;
    std::vector<FirAnswer> m_answers;
    std::vector<FSRErrorReport> m_heldReports;
    bool m_answerReports = true;
    ReportNamer m_namer;
    Observer m_observer;
    std::thread m_receiver;
};

}  // namespace fir
