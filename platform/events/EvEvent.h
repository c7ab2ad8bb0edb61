#pragma once
// The job's event object. Arguments are added one by one and belong to the next event raised on the object; raising
// an event records it (in memory, for tests, and as one line of the job journal) and starts a new argument list.
#include <mutex>
#include <string>
#include <vector>

// Argument kinds: a 32-bit integer, a 64-bit unsigned integer (both little-endian), a text (its bytes, no NUL).
enum EvArgumentType { EV_ARG_INT = 5, EV_ARG_UINT64 = 10, EV_ARG_STRING = 11 };

struct EvArgument {
    int type;
    std::vector<unsigned char> bytes;

    // Decoded values, for tests and the journal; 0 or "" when the argument is of another kind.
    int asInt() const;
    unsigned long asUInt64() const;
    std::string asText() const;
};

enum EvSeverity { EV_CRITICAL, EV_MAJOR, EV_MINOR };

struct EvRaisedEvent {
    long long jobId;
    EvSeverity severity;
    int messageId;
    long long param;  // the second and third arguments of the raise, kept as given
    int flags;
    std::vector<EvArgument> arguments;
};

class EvEvent {
public:
    EvEvent() = default;
    virtual ~EvEvent() = default;
    EvEvent(const EvEvent&) = delete;
    EvEvent& operator=(const EvEvent&) = delete;

    void setJobId(long long jobId);
    long long getJobId() const;

    // A null `data` with a length adds nothing.
    void addArgument(int type, const void* data, unsigned long length);
    EvEvent& operator<<(int value);
    EvEvent& operator<<(unsigned long value);
    // A null text adds an empty text.
    EvEvent& operator<<(const char* text);

    // Raise the event `messageId` with the arguments added since the last raise. Answer 0.
    int CriticalEvent(int messageId, long long param = 0, int flags = 0);
    int MajorEvent(int messageId, long long param = 0, int flags = 0);
    int MinorEvent(int messageId, long long param = 0, int flags = 0);

    // The catalogue text of `messageId` into `buffer`: at most `limit` characters and a terminating NUL, so the
    // buffer must hold `limit` + 1 bytes. Answers the length written.
    int evPrintf(char* buffer, unsigned long limit, int messageId) const;

    // Arguments waiting for the next raise.
    std::vector<EvArgument> pendingArguments() const;

private:
    int raise(EvSeverity severity, int messageId, long long param, int flags);

    mutable std::mutex mutex_;
    long long jobId_ = 0;
    std::vector<EvArgument> arguments_;
};

namespace wzplatform {

// Every event raised in the process, in order (any event object).
std::vector<EvRaisedEvent> raisedEvents();
void clearRaisedEvents();
const char* severityName(EvSeverity severity);

}  // namespace wzplatform
