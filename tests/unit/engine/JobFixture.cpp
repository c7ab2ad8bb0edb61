#include "tests/unit/engine/JobFixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <future>

#include "platform/events/EvEvent.h"
#include "platform/events/Journal.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/settings/PlatformPaths.h"
#include "platform/settings/SettingsFile.h"
#include "tests/common/Concurrency.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace jobtest {

int threadCount() {
    return fcltest::runningThreads();
}

int inChild(const std::function<void()>& body) {
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        body();
        int failed = ::testing::Test::HasFailure() ? 1 : 0;
#if defined(__SANITIZE_ADDRESS__)
        if (failed == 0 && __lsan_do_recoverable_leak_check() != 0) {
            failed = 2;
        }
#endif
        fflush(nullptr);
        _exit(failed);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

JobFixture::JobFixture() : scratch_("fcljob"), settingsPath_(scratch_ / "settings.ini") {
    wzplatform::setResultsDirectory(scratch_ / "results");
    wzplatform::setSettingsFile(settingsPath_);
    wzplatform::clearJournal();
    wzplatform::clearRaisedEvents();
    wzplatform::clearPendingCauses();
}

JobFixture::~JobFixture() {
    destroyJob();
    wzplatform::setSettingsFile("");
}

void JobFixture::makeSessions() {
    std::unique_ptr<CWzNetwork> firEnd;
    ASSERT_FALSE(CWzNetwork::makePair(&firEnd, &engineEnd_).IsError());
    fir_ = std::make_unique<fir::FirSession>(std::move(firEnd), firKeep_);
}

void JobFixture::sendInitData(const InitDataPlan& plan) {
    FSRInitData record;
    record.appType = plan.appType;
    record.jobId = plan.jobId;
    record.numFiles = plan.numFiles;
    record.sourceMachine = const_cast<char*>(plan.sourceMachine);
    record.destMachine = const_cast<char*>(plan.destMachine);
    record.subclientName = const_cast<char*>(plan.subclientName);
    record.reservedString = const_cast<char*>(plan.reservedString);
    ASSERT_FALSE(fir_->send(FSR_MSG_INIT_DATA, &record, sizeof record).IsError());
}

unsigned long JobFixture::startJob(const InitDataPlan& plan) {
    sendInitData(plan);
    char name[] = "fclrestore-test";
    job_->initialize(engineEnd_.get(), name, nullptr);
    fir::FirMessage answer;
    return fir_->waitFor({FSR_MSG_SUCCESS, FSR_MSG_FAILURE}, 10000, &answer) ? answer.code : 0;
}

void JobFixture::runReceiveLoop() {
    loop_ = std::thread([this] { job_->receiveRestoreMsgs(); });
}

void JobFixture::endJob(int ms) {
    if (loop_.joinable()) {
        // A loop that does not end fails the test rather than hanging it: the binary is aborted.
        auto done = std::async(std::launch::async, [this] { loop_.join(); });
        if (done.wait_for(std::chrono::milliseconds(ms)) != std::future_status::ready) {
            ADD_FAILURE() << "the receive loop did not end";
            fflush(nullptr);
            _exit(3);
        }
    }
    job_->finalize();
}

void JobFixture::destroyJob() {
    if (loop_.joinable()) {
        loop_.join();
    }
    job_.reset();
    fir_.reset();
    engineEnd_.reset();
}

HeadPair::HeadPair() {
    EXPECT_FALSE(CWzNetwork::makePair(&jobEnd, &headEnd).IsError());
}

unsigned long HeadPair::next(int seconds, wzsDatabuf_v2* data) {
    unsigned long code = 0;
    wzsDatabuf_v2 local;
    bool timedOut = false;
    if (headEnd->ReceiveXDRMessage(&code, data != nullptr ? data : &local, nullptr, 0, seconds, timedOut).IsError()) {
        return 0;
    }
    return code;
}

}  // namespace jobtest
