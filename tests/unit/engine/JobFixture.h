#pragma once
// A job object on one end of a socketpair and the FIR driver's session on the other, with a scratch results
// directory and settings file per test.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "clRestore/engine/FclRestore.h"
#include "platform/session/CWzNetwork.h"
#include "protocol/FsrRecords.h"
#include "tests/common/TestSupport.h"
#include "tools/fir/FirSession.h"

namespace jobtest {

// The FIR's view of the job's identity; null texts are sent as absent.
struct InitDataPlan {
    long long jobId = 4711;
    unsigned long appType = 29;
    unsigned long numFiles = 3;
    const char* sourceMachine = "src-host";
    const char* destMachine = "dst-host";
    const char* subclientName = "default";
    const char* reservedString = nullptr;
};

// Runs `body` in a child process and answers its exit status (0 when no expectation failed). Jobs that run the
// receive loop go there: the loop changes the process's signal dispositions. Under AddressSanitizer the child also
// checks that nothing leaked.
int inChild(const std::function<void()>& body);
// The child's checks before it ends: the threads of the process still running (1: none left besides the caller).
// A thread just joined may still be listed by the kernel; it is not counted.
int threadCount();

class JobFixture : public ::testing::Test {
protected:
    JobFixture();
    ~JobFixture() override;

    // Makes the session pair and a job of type `Job`. The job object's destructor is not virtual: the job is
    // destroyed as what it was made.
    template <class Job = FclRestore>
    Job* makeJob() {
        makeSessions();
        Job* job = new Job();
        job_ = JobPtr(job, [](FclRestore* p) { std::default_delete<Job>()(static_cast<Job*>(p)); });
        return job;
    }
    void makeSessions();
    void sendInitData(const InitDataPlan& plan = InitDataPlan());
    // Runs initialize and answers what the FIR received for it.
    unsigned long startJob(const InitDataPlan& plan = InitDataPlan());
    // The receive loop on a thread of its own, as the host runs it.
    void runReceiveLoop();
    // Waits for the receive loop to return (at most `ms`), then runs finalize.
    void endJob(int ms = 20000);
    void destroyJob();

    fcltest::ScratchDir scratch_;
    std::string settingsPath_;
    std::unique_ptr<CWzNetwork> engineEnd_;
    std::unique_ptr<fir::FirSession> fir_;
    // What the FIR keeps of the messages the engine sends it; set before makeJob().
    fir::FirKeep firKeep_;
    using JobPtr = std::unique_ptr<FclRestore, void (*)(FclRestore*)>;
    JobPtr job_{nullptr, [](FclRestore* p) { std::default_delete<FclRestore>()(p); }};
    std::thread loop_;
};

// A restore-head session for a job: the job sends on one end; the test reads the other.
struct HeadPair {
    HeadPair();
    // The next code the job sent to the restore head within `seconds`, or 0.
    unsigned long next(int seconds, wzsDatabuf_v2* data = nullptr);
    std::unique_ptr<CWzNetwork> jobEnd;
    std::unique_ptr<CWzNetwork> headEnd;
};

}  // namespace jobtest
