#include "platform/jobs/WZJobClient.h"

#include <cstdarg>
#include <cstdio>

#include "platform/events/Journal.h"
#include "platform/events/RecordedList.h"

namespace {

constexpr const char* kComponent = "jobs";

wzplatform::RecordedList<JMPendingCause>& causeLog() {
    static wzplatform::RecordedList<JMPendingCause> log;
    return log;
}

std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatted(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

}  // namespace

WZJobClient& WZJobClient::operator<<(const char* text) {
    std::lock_guard<std::mutex> lock(mutex_);
    arguments_.push_back(text != nullptr ? text : "");
    return *this;
}

WZJobClient& WZJobClient::operator<<(int value) {
    std::lock_guard<std::mutex> lock(mutex_);
    arguments_.push_back(std::to_string(value));
    return *this;
}

int WZJobClient::setPendingCause(int code, const std::vector<long long>* arguments, bool, EvMessageType type, int, int,
                                 int, bool, JMGUIAlertColorLevel, JMPendingCauseFlags, unsigned int, unsigned int) {
    if (arguments != nullptr) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (long long value : *arguments) {
            arguments_.push_back(std::to_string(value));
        }
    }
    return raise(code, type, false);
}

int WZJobClient::setPendingCauseAndEvent(int code, int, int, bool, int messageType) {
    return raise(code, messageType, true);
}

int WZJobClient::addJobProgress(int percent) {
    wzplatform::journal(kComponent, formatted("progress of job %lld moved on by %d", jobId(), percent));
    return 1;
}

int WZJobClient::updateJobProgress(int percent) {
    wzplatform::journal(kComponent, formatted("progress of job %lld set to %d", jobId(), percent));
    return 1;
}

long long WZJobClient::jobId() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return jobId_;
}

std::vector<std::string> WZJobClient::pendingArguments() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return arguments_;
}

void WZJobClient::setJobId(long long jobId) {
    std::lock_guard<std::mutex> lock(mutex_);
    jobId_ = jobId;
}

int WZJobClient::raise(int code, int messageType, bool withEvent) {
    JMPendingCause cause;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cause.jobId = jobId_;
        cause.arguments.swap(arguments_);
    }
    cause.code = code;
    cause.messageType = messageType;
    cause.withEvent = withEvent;
    std::string line =
        formatted("pending cause 0x%08x job %lld type %d", static_cast<unsigned>(code), cause.jobId, messageType);
    line += withEvent ? " with event args [" : " args [";
    for (size_t i = 0; i < cause.arguments.size(); ++i) {
        line += (i ? ", \"" : "\"") + cause.arguments[i] + "\"";
    }
    wzplatform::journal(kComponent, line + "]");
    causeLog().add(std::move(cause));
    return 0;
}

bool WZRstJobClient::init(const char* name, long long jobId, int kind, bool, void*) {
    if (initFaults().take()) {
        wzplatform::journal(kComponent, formatted("restore job %lld refused (kind %d)", jobId, kind));
        return false;
    }
    setJobId(jobId);
    wzplatform::journal(
        kComponent, formatted("restore job %lld registered (kind %d) as %s", jobId, kind, name != nullptr ? name : ""));
    return true;
}

int WZRstJobClient::complete(int jobStatus, int statusKind, int pendingCause) {
    wzplatform::journal(kComponent, formatted("restore job completed: status %d kind %d cause 0x%x", jobStatus,
                                              statusKind, static_cast<unsigned>(pendingCause)));
    return 0;
}

wzfault::FaultCounter& WZRstJobClient::initFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

WZJobCtrlClient::WZJobCtrlClient(int verbose) : verbose_(verbose) {}

bool WZJobCtrlClient::Init2(long long jobId, const char* name, int controlFlags, int platformType, char*, void*) {
    jobId_ = jobId;
    if (init2Faults().take()) {
        wzplatform::journal(kComponent, formatted("job control refused job %lld (flags %d, platform %d)", jobId,
                                                  controlFlags, platformType));
        return false;
    }
    registered_ = true;
    wzplatform::journal(kComponent,
                        formatted("job control took job %lld (flags %d, platform %d, verbose %d) as %s", jobId,
                                  controlFlags, platformType, verbose_, name != nullptr ? name : ""));
    return true;
}

int WZJobCtrlClient::finishedWorkWithoutExit(int timeoutMs) {
    if (finishFaults().take()) {
        wzplatform::journal(kComponent, formatted("job control: finished work of job %lld failed", jobId_));
        return -1;
    }
    registered_ = false;
    wzplatform::journal(kComponent,
                        formatted("job control: finished work of job %lld, exit within %d ms", jobId_, timeoutMs));
    return 0;
}

wzfault::FaultCounter& WZJobCtrlClient::init2Faults() {
    static wzfault::FaultCounter faults;
    return faults;
}

wzfault::FaultCounter& WZJobCtrlClient::finishFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

namespace wzplatform {

std::vector<JMPendingCause> pendingCauses() {
    return causeLog().snapshot();
}

void clearPendingCauses() {
    causeLog().clear();
}

}  // namespace wzplatform
