#include "platform/events/EvEvent.h"

#include <cstdio>

#include "platform/events/Journal.h"
#include "platform/events/MessageCatalogue.h"
#include "platform/events/RecordedList.h"
#include "platform/log/LogWriter.h"

namespace {

wzplatform::RecordedList<EvRaisedEvent>& eventLog() {
    static wzplatform::RecordedList<EvRaisedEvent> log;
    return log;
}

std::vector<unsigned char> littleEndian(unsigned long value, size_t width) {
    std::vector<unsigned char> bytes(width);
    for (size_t i = 0; i < width; ++i) {
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    }
    return bytes;
}

unsigned long fromLittleEndian(const std::vector<unsigned char>& bytes) {
    unsigned long value = 0;
    for (size_t i = bytes.size(); i-- > 0;) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

std::string describe(const EvArgument& argument) {
    char text[64];
    switch (argument.type) {
        case EV_ARG_INT:
            snprintf(text, sizeof text, "int %d", argument.asInt());
            return text;
        case EV_ARG_UINT64:
            snprintf(text, sizeof text, "u64 %lu", argument.asUInt64());
            return text;
        case EV_ARG_STRING:
            return "text \"" + argument.asText() + "\"";
        default:
            snprintf(text, sizeof text, "type %d, %zu bytes", argument.type, argument.bytes.size());
            return text;
    }
}

std::string journalLine(const EvRaisedEvent& event) {
    char head[128];
    snprintf(head, sizeof head, "%s 0x%08x job %lld param %lld flags %d args [",
             wzplatform::severityName(event.severity), static_cast<unsigned>(event.messageId), event.jobId, event.param,
             event.flags);
    std::string line(head);
    for (size_t i = 0; i < event.arguments.size(); ++i) {
        line += (i ? ", " : "") + describe(event.arguments[i]);
    }
    return line + "]";
}

}  // namespace

int EvArgument::asInt() const {
    return type == EV_ARG_INT && bytes.size() == 4 ? static_cast<int>(static_cast<unsigned>(fromLittleEndian(bytes)))
                                                   : 0;
}

unsigned long EvArgument::asUInt64() const {
    return type == EV_ARG_UINT64 && bytes.size() == 8 ? fromLittleEndian(bytes) : 0;
}

std::string EvArgument::asText() const {
    return type == EV_ARG_STRING ? std::string(bytes.begin(), bytes.end()) : std::string();
}

void EvEvent::setJobId(long long jobId) {
    std::lock_guard<std::mutex> lock(mutex_);
    jobId_ = jobId;
}

long long EvEvent::getJobId() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return jobId_;
}

void EvEvent::addArgument(int type, const void* data, unsigned long length) {
    if (data == nullptr && length != 0) {
        return;
    }
    const unsigned char* p = static_cast<const unsigned char*>(data);
    EvArgument argument{type, std::vector<unsigned char>(p, p + length)};
    std::lock_guard<std::mutex> lock(mutex_);
    arguments_.push_back(std::move(argument));
}

EvEvent& EvEvent::operator<<(int value) {
    std::vector<unsigned char> bytes = littleEndian(static_cast<unsigned>(value), 4);
    addArgument(EV_ARG_INT, bytes.data(), bytes.size());
    return *this;
}

EvEvent& EvEvent::operator<<(unsigned long value) {
    std::vector<unsigned char> bytes = littleEndian(value, 8);
    addArgument(EV_ARG_UINT64, bytes.data(), bytes.size());
    return *this;
}

EvEvent& EvEvent::operator<<(const char* text) {
    std::string value(text ? text : "");
    addArgument(EV_ARG_STRING, value.data(), value.size());
    return *this;
}

std::vector<EvArgument> EvEvent::pendingArguments() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return arguments_;
}

int EvEvent::evPrintf(char* buffer, unsigned long limit, int messageId) const {
    if (buffer == nullptr) {
        return 0;
    }
    const std::string text = wzplatform::catalogueText(messageId);
    const size_t length = text.size() < limit ? text.size() : limit;
    text.copy(buffer, length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

int EvEvent::CriticalEvent(int messageId, long long param, int flags) {
    return raise(EV_CRITICAL, messageId, param, flags);
}

int EvEvent::MajorEvent(int messageId, long long param, int flags) {
    return raise(EV_MAJOR, messageId, param, flags);
}

int EvEvent::MinorEvent(int messageId, long long param, int flags) {
    return raise(EV_MINOR, messageId, param, flags);
}

int EvEvent::raise(EvSeverity severity, int messageId, long long param, int flags) {
    EvRaisedEvent event{0, severity, messageId, param, flags, {}};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        event.jobId = jobId_;
        event.arguments.swap(arguments_);
    }
    std::string line = journalLine(event);
    FCL_LOG(2, "Raised event: %s", line.c_str());
    eventLog().add(event);
    wzplatform::journal("EvEvent", line);
    return 0;
}

namespace wzplatform {

std::vector<EvRaisedEvent> raisedEvents() {
    return eventLog().snapshot();
}

void clearRaisedEvents() {
    eventLog().clear();
}

const char* severityName(EvSeverity severity) {
    switch (severity) {
        case EV_CRITICAL:
            return "CriticalEvent";
        case EV_MAJOR:
            return "MajorEvent";
        case EV_MINOR:
            return "MinorEvent";
    }
    return "Event";
}

}  // namespace wzplatform
