#include "tools/fir/FirSession.h"

#include <algorithm>
#include <chrono>

#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"

namespace fir {

bool sentPerItem(unsigned long code) {
    switch (code) {
        case FSR_MSG_RESTORE_ITEM:
        case FSR_MSG_PROGRESS_REPORT_5_9:
        case FSR_MSG_PROGRESS_REPORT_11_14:
        case FSR_MSG_IMG_EXTENT_RESTORE_STATUS:
        case FSR_MSG_ERROR_REPORT:
        case FSR_MSG_SRC_PATH:
        case FSR_MSG_META_DATA_FOLDER:
            return true;
        default:
            return false;
    }
}

FirSession::FirSession(std::unique_ptr<CWzNetwork> session, FirKeep keep)
    : m_session(std::move(session)), m_keep(std::move(keep)) {
    m_receiver = std::thread([this] { receiveLoop(); });
}

FirSession::~FirSession() {
    close();
    m_receiver.join();
}

void FirSession::close() {
    m_session->shutdown();
}

CQiError FirSession::send(unsigned long code, const void* record, size_t length) {
    wzsDatabuf_v2 buffer;
    buffer.setExternalBuffer(static_cast<char*>(const_cast<void*>(record)), record != nullptr ? length : 0);
    bool timedOut = false;
    return m_session->SendXDRMessage(code, record != nullptr ? &buffer : nullptr, 0, -1, timedOut);
}

void FirSession::receiveLoop() {
    for (;;) {
        wzsDatabuf_v2 buffer;
        unsigned long code = 0;
        bool timedOut = false;
        CQiError error = m_session->ReceiveXDRMessage(&code, &buffer, nullptr, 0, -1, timedOut);
        if (error.IsError() && (timedOut || !m_session->isBroken())) {
            // A record that did not decode is lost; the session goes on.
            FCL_ERROR("FIR: message refused: %s", error.AsString().c_str());
            continue;
        }
        if (error.IsError()) {
            std::lock_guard<std::mutex> hold(m_lock);
            m_ended = true;
            m_endError = error;
            m_changed.notify_all();
            return;
        }
        FirMessage message = copyOut(code, buffer);
        m_session->FreeReceivedMessage(code, &buffer);
        Observer observer;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            observer = m_observer;
        }
        if (observer) {
            observer(message);
        }
        std::optional<FSRErrorReport> toAnswer;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            if (code == FSR_MSG_RESTORE_END || code == FSR_MSG_FAILURE || code == FSR_MSG_FATAL_ERROR) {
                m_finalStatus = code;
            }
            if (message.errorReport.has_value()) {
                if (m_answerReports) {
                    toAnswer = message.errorReport->record;
                } else {
                    m_heldReports.push_back(message.errorReport->record);
                }
            }
            record(std::move(message));
        }
        if (toAnswer) {
            answer(*toAnswer);
        }
    }
}

// Called with the lock held.
void FirSession::record(FirMessage&& message) {
    const unsigned long code = message.code;
    ++m_count;
    ++m_counts[code];
    if (message.progress) {
        m_lastProgress = message.progress;
    }
    if (m_keep.recent > 0) {
        if (m_recent.size() == m_keep.recent) {
            m_recent.pop_front();
        }
        m_recent.push_back(message);
    }
    const bool kept = m_keep.all || !sentPerItem(code) || m_keep.codes.count(code) != 0;
    const bool awaited = waitedFor(code);
    if (kept) {
        m_kept.push_back(message);
    }
    if (kept || awaited) {
        m_unread.push_back(std::move(message));
    }
    // A waiter wakes only for a code it waits for: the per-item stream passes by without a wake-up.
    if (awaited) {
        m_changed.notify_all();
    }
}

bool FirSession::waitedFor(unsigned long code) const {
    for (const std::vector<unsigned long>* codes : m_waits) {
        if (codes->empty() || std::find(codes->begin(), codes->end(), code) != codes->end()) {
            return true;
        }
    }
    return false;
}
void FirSession::answer(const FSRErrorReport& report) {
    std::lock_guard<std::mutex> answering(m_answering);
    ReportNamer namer;
    size_t receivedBefore = 0;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        namer = m_namer;
        receivedBefore = m_count;
    }
    FSRErrorReport reply = report;
    std::string name = namer ? namer(report) : std::string();
    reply.name = &name[0];
    if (send(FSR_MSG_ERROR_REPORT_7_0, &reply, sizeof reply).IsError()) {
        return;
    }
    std::lock_guard<std::mutex> hold(m_lock);
    ++m_answered;
    m_answers.push_back({name, receivedBefore});
}

bool FirSession::next(FirMessage* message, int timeoutMs) {
    return waitFor({}, timeoutMs, message);
}

bool FirSession::waitFor(std::initializer_list<unsigned long> codes, int timeoutMs, FirMessage* message) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    const std::vector<unsigned long> wanted(codes);
    auto matches = [&wanted](unsigned long code) {
        return wanted.empty() || std::find(wanted.begin(), wanted.end(), code) != wanted.end();
    };
    std::unique_lock<std::mutex> hold(m_lock);
    m_waits.push_back(&wanted);
    struct Done {
        std::vector<const std::vector<unsigned long>*>& waits;
        const std::vector<unsigned long>* mine;
        ~Done() { waits.erase(std::find(waits.begin(), waits.end(), mine)); }
    } done{m_waits, &wanted};
    for (;;) {
        while (!m_unread.empty()) {
            FirMessage m = std::move(m_unread.front());
            m_unread.pop_front();
            if (matches(m.code)) {
                if (message != nullptr) {
                    *message = std::move(m);
                }
                return true;
            }
        }
        if (m_ended) {
            return false;
        }
        if (timeoutMs < 0) {
            m_changed.wait(hold);
        } else if (m_changed.wait_until(hold, deadline) == std::cv_status::timeout && m_unread.empty()) {
            return false;
        }
    }
}

void FirSession::keep(FirKeep rule) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_keep = std::move(rule);
    while (m_recent.size() > m_keep.recent) {
        m_recent.pop_front();
    }
}

std::vector<FirMessage> FirSession::received() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_kept;
}

std::vector<FirMessage> FirSession::received(unsigned long code) const {
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<FirMessage> some;
    for (const FirMessage& m : m_kept) {
        if (m.code == code) {
            some.push_back(m);
        }
    }
    return some;
}

std::vector<FirMessage> FirSession::recent() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return std::vector<FirMessage>(m_recent.begin(), m_recent.end());
}

size_t FirSession::receivedCount() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_count;
}

size_t FirSession::receivedCount(unsigned long code) const {
    std::lock_guard<std::mutex> hold(m_lock);
    auto it = m_counts.find(code);
    return it != m_counts.end() ? it->second : 0;
}

std::optional<FirProgress> FirSession::lastProgress() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_lastProgress;
}

unsigned long FirSession::finalStatus() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_finalStatus;
}

bool FirSession::ended() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_ended;
}

CQiError FirSession::endError() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_endError;
}

size_t FirSession::reportsAnswered() const {
    std::lock_guard<std::mutex> answering(m_answering);
    std::lock_guard<std::mutex> hold(m_lock);
    return m_answered;
}

std::vector<FirAnswer> FirSession::answers() const {
    std::lock_guard<std::mutex> answering(m_answering);
    std::lock_guard<std::mutex> hold(m_lock);
    return m_answers;
}

void FirSession::setAnswerErrorReports(bool on) {
    std::vector<FSRErrorReport> held;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_answerReports = on;
        if (on) {
            held.swap(m_heldReports);
        }
    }
    for (const FSRErrorReport& report : held) {
        answer(report);
    }
}

void FirSession::setReportNamer(ReportNamer namer) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_namer = std::move(namer);
}

void FirSession::setObserver(Observer observer) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_observer = std::move(observer);
}

}  // namespace fir
