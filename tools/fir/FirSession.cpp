#include "tools/fir/FirSession.h"

#include <algorithm>
#include <chrono>

#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"

namespace fir {

FirSession::FirSession(std::unique_ptr<CWzNetwork> session) : m_session(std::move(session)) {
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
        bool answerIt = false;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            if (code == FSR_MSG_RESTORE_END || code == FSR_MSG_FAILURE || code == FSR_MSG_FATAL_ERROR) {
                m_finalStatus = code;
            }
            answerIt = m_answerReports && message.errorReport.has_value();
            if (!m_answerReports && message.errorReport.has_value()) {
                m_heldReports.push_back(message.errorReport->record);
            }
            m_messages.push_back(message);
            m_changed.notify_all();
        }
        if (answerIt) {
            answer(message.errorReport->record);
        }
    }
}

void FirSession::answer(const FSRErrorReport& report) {
    ReportNamer namer;
    size_t receivedBefore = 0;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        namer = m_namer;
        receivedBefore = m_messages.size();
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
    std::unique_lock<std::mutex> hold(m_lock);
    for (;;) {
        while (m_cursor < m_messages.size()) {
            const FirMessage& m = m_messages[m_cursor++];
            if (codes.size() == 0 || std::find(codes.begin(), codes.end(), m.code) != codes.end()) {
                if (message != nullptr) {
                    *message = m;
                }
                return true;
            }
        }
        if (m_ended) {
            return false;
        }
        if (timeoutMs < 0) {
            m_changed.wait(hold);
        } else if (m_changed.wait_until(hold, deadline) == std::cv_status::timeout && m_cursor == m_messages.size()) {
            return false;
        }
    }
}

std::vector<FirMessage> FirSession::received() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_messages;
}

std::vector<FirMessage> FirSession::received(unsigned long code) const {
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<FirMessage> some;
    for (const FirMessage& m : m_messages) {
        if (m.code == code) {
            some.push_back(m);
        }
    }
    return some;
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
    std::lock_guard<std::mutex> hold(m_lock);
    return m_answered;
}

std::vector<FirAnswer> FirSession::answers() const {
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
