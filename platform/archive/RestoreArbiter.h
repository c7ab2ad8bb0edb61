#pragma once
// The restore arbiter sees every queued message of a job before the job handles it and may take a message over.
// This platform has nothing to arbitrate: it records what it saw and hands everything back to the job.
#include <atomic>
#include <vector>

#include "platform/support/FaultCounter.h"

struct FSRInitData;
struct FSRSetParams;
struct FSRSrcPath;
struct FclRestoreMsg;

class RestoreArbiter : public wzfault::FailableAllocation<RestoreArbiter> {
public:
    // The job's fatal mark, its stop-received mark and its processing thread's stop flag.
    RestoreArbiter(std::atomic<int>* fatalError, std::atomic<int>* stopReceived, std::atomic<int>* terminateProcess);
    RestoreArbiter(const RestoreArbiter&) = delete;
    RestoreArbiter& operator=(const RestoreArbiter&) = delete;

    // 0 to go on, negative to end the job's processing; `handled` set when the arbiter took the message over.
    int messageHandler(FSRInitData* initData, FSRSetParams* params, FSRSrcPath* paths, FclRestoreMsg* message,
                       bool& handled);

    // The codes seen, in order.
    std::vector<unsigned long> seen() const;

    // Test hooks: armed, messageHandler answers -1, or takes the message over.
    static wzfault::FaultCounter& refuseFaults();
    static wzfault::FaultCounter& takeOverFaults();

private:
    std::atomic<int>* fatalError_;
    std::atomic<int>* stopReceived_;
    std::atomic<int>* terminateProcess_;
    std::vector<unsigned long> seen_;
};
