#include "platform/archive/RestoreArbiter.h"

#include "protocol/FsrMessages.h"

RestoreArbiter::RestoreArbiter(std::atomic<int>* fatalError, std::atomic<int>* stopReceived,
                               std::atomic<int>* terminateProcess)
    : fatalError_(fatalError), stopReceived_(stopReceived), terminateProcess_(terminateProcess) {}

int RestoreArbiter::messageHandler(FSRInitData*, FSRSetParams*, FSRSrcPath*, FclRestoreMsg* message, bool& handled) {
    handled = false;
    // Only the job's processing thread calls this, so the list needs no lock of its own.
    seen_.push_back(message != nullptr ? message->code : 0);
    if (refuseFaults().take()) {
        return -1;
    }
    handled = takeOverFaults().take();
    return 0;
}

std::vector<unsigned long> RestoreArbiter::seen() const {
    return seen_;
}

wzfault::FaultCounter& RestoreArbiter::refuseFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

wzfault::FaultCounter& RestoreArbiter::takeOverFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}
