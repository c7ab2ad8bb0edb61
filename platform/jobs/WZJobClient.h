#pragma once
// The job clients of job management. Nothing on this machine plays job management, so every call is recorded: kept in
// memory for tests and written as one line of the job journal.
#include <mutex>
#include <string>
#include <vector>

#include "platform/support/FaultCounter.h"

// Message types of pending causes; the engine raises its causes with 300.
enum EvMessageType : int { EV_MSG_TYPE_JOB = 300 };
enum JMGUIAlertColorLevel : int { JM_ALERT_COLOR_NONE = 0 };
enum JMPendingCauseFlags : int { JM_PENDING_CAUSE_FLAGS_NONE = 0 };

// One pending cause as job management received it, with the arguments added to the client before it.
struct JMPendingCause {
    long long jobId = 0;
    int code = 0;
    int messageType = 0;
    bool withEvent = false;
    std::vector<std::string> arguments;
};

class WZJobClient {
public:
    WZJobClient() = default;
    virtual ~WZJobClient() = default;
    WZJobClient(const WZJobClient&) = delete;
    WZJobClient& operator=(const WZJobClient&) = delete;

    // Arguments of the next pending cause raised on this client. A null text adds an empty one.
    WZJobClient& operator<<(const char* text);
    WZJobClient& operator<<(int value);

    // Raises `code` as the job's pending cause with the arguments added since the last one. Answers 0.
    int setPendingCause(int code, const std::vector<long long>* arguments = nullptr, bool flag = false,
                        EvMessageType type = EV_MSG_TYPE_JOB, int a = 0, int b = 0, int c = 0, bool d = false,
                        JMGUIAlertColorLevel color = JM_ALERT_COLOR_NONE,
                        JMPendingCauseFlags flags = JM_PENDING_CAUSE_FLAGS_NONE, unsigned int e = 0,
                        unsigned int f = 0);
    // The same, and an event of the cause raised by job management.
    int setPendingCauseAndEvent(int code, int severity, int param, bool flag, int messageType);
    // Moves the job's progress on by `percent`: non-zero when job management took it (always, here).
    int addJobProgress(int percent);
    // Sets the job's progress to `percent`: non-zero when job management took it.
    int updateJobProgress(int percent);

    long long jobId() const;
    // Arguments waiting for the next pending cause.
    std::vector<std::string> pendingArguments() const;

protected:
    void setJobId(long long jobId);

private:
    int raise(int code, int messageType, bool withEvent);

    mutable std::mutex mutex_;
    long long jobId_ = 0;
    std::vector<std::string> arguments_;
};

// The restore job's registration with job management.
class WZRstJobClient : public WZJobClient, public wzfault::FailableAllocation<WZRstJobClient> {
public:
    using wzfault::FailableAllocation<WZRstJobClient>::operator new;
    using wzfault::FailableAllocation<WZRstJobClient>::operator delete;

    // Registers the job; true when job management took it.
    bool init(const char* name, long long jobId, int kind, bool flag, void* context);
    // Ends the job with a status (3: partially successful) of a kind, and a pending cause (0: none). Answers 0.
    int complete(int jobStatus, int statusKind, int pendingCause);

    // Test hook: armed, init refuses the registration.
    static wzfault::FaultCounter& initFaults();
};

// The job's registration with job control, which may end a job that stops answering.
class WZJobCtrlClient : public wzfault::FailableAllocation<WZJobCtrlClient> {
public:
    explicit WZJobCtrlClient(int verbose);
    WZJobCtrlClient(const WZJobCtrlClient&) = delete;
    WZJobCtrlClient& operator=(const WZJobCtrlClient&) = delete;

    // True when job control took the job.
    bool Init2(long long jobId, const char* name, int controlFlags, int platformType, char* argument, void* context);
    // The job's work is over; job control lets the process end by itself within `timeoutMs`. 0 on success.
    int finishedWorkWithoutExit(int timeoutMs);

    bool registered() const { return registered_; }

    // Test hooks: armed, Init2 refuses the job, finishedWorkWithoutExit fails.
    static wzfault::FaultCounter& init2Faults();
    static wzfault::FaultCounter& finishFaults();

private:
    int verbose_;
    long long jobId_ = 0;
    bool registered_ = false;
};

namespace wzplatform {

// Every pending cause raised in the process, in order.
std::vector<JMPendingCause> pendingCauses();
void clearPendingCauses();

}  // namespace wzplatform
