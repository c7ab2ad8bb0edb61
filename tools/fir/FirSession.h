#pragma once
// The FIR's end of a job's session, at the level tests script it: send a code with a record, wait for the next
// message or for given codes. A thread receives everything the engine sends, counts it by code, keeps what the
// session's keep rule asks for, and answers each FSR_MSG_ERROR_REPORT with FSR_MSG_ERROR_REPORT_7_0 naming the item
// (unless told not to). Nothing per item is kept by default, so a job of many items costs the FIR no memory per item.
#include <condition_variable>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
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

// Which messages the session keeps, for received() and for waits that start after they came. Every message is
// counted, and the last progress report is always kept, whatever the rule.
struct FirKeep {
    // Every message: for tests that script a job message by message.
    bool all = false;
    // The codes the engine sends per item (items, progress, extent statuses, error reports, paths and folders it
    // names) are left out unless named here; every other code is kept.
    std::set<unsigned long> codes;
    // Besides, the last `recent` messages of any code (recent()).
    size_t recent = 0;
};

// Whether the engine sends `code` once per item or more often, so that keeping it costs memory per item.
bool sentPerItem(unsigned long code);

class FirSession {
public:
    // Names the item an error report is about; the driver's default job looks it up in the archive index.
    using ReportNamer = std::function<std::string(const FSRErrorReport&)>;
    // Sees each message as it arrives, on the receiving thread, before any waiter does (a host's progress display).
    using Observer = std::function<void(const FirMessage&)>;

    explicit FirSession(std::unique_ptr<CWzNetwork> session, FirKeep keep = {});
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
    // Both see the messages kept, and any message that comes while they wait for its code.
    bool waitFor(std::initializer_list<unsigned long> codes, int timeoutMs, FirMessage* message = nullptr);

    // Sets what is kept of the messages that come from now on.
    void keep(FirKeep rule);
    // The messages kept so far, in order.
    std::vector<FirMessage> received() const;
    std::vector<FirMessage> received(unsigned long code) const;
    // The last messages of any code, up to the keep rule's `recent`, in order.
    std::vector<FirMessage> recent() const;
    // How many messages came in all, and how many with `code`, kept or not.
    size_t receivedCount() const;
    size_t receivedCount(unsigned long code) const;
    // The last progress report received (either version), absent while none came.
    std::optional<FirProgress> lastProgress() const;
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
    void record(FirMessage&& message);
    bool waitedFor(unsigned long code) const;
    void answer(const FSRErrorReport& report);

    std::unique_ptr<CWzNetwork> m_session;
    // Held over an answer's send and its record, and by the readers of the answers: the engine can act on an answer
    // (and the job end) before the thread that sent it has recorded it.
    mutable std::mutex m_answering;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    FirKeep m_keep;
    std::vector<FirMessage> m_kept;
    std::deque<FirMessage> m_recent;
    // Messages not yet passed by next() or waitFor(): those kept, and those a waiter asked for as they came.
    std::deque<FirMessage> m_unread;
    // The codes of each wait in progress; an empty set waits for any code.
    std::vector<const std::vector<unsigned long>*> m_waits;
    size_t m_count = 0;
    std::map<unsigned long, size_t> m_counts;
    std::optional<FirProgress> m_lastProgress;
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
