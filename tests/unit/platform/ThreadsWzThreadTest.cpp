// The thread object of the thread library.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <future>
#include <ostream>
#include <thread>

#include "platform/log/LogWriter.h"
#include "platform/threads/WzThread.h"
#include "tests/common/Concurrency.h"

namespace {

// A thread body that runs until the test lets it go, then returns its argument.
struct Gate {
    std::promise<void> started;
    std::promise<void> release;
    std::shared_future<void> released{release.get_future().share()};
    std::atomic<int> runs{0};
};

void* gated(void* arg) {
    Gate* gate = static_cast<Gate*>(arg);
    ++gate->runs;
    gate->started.set_value();
    gate->released.wait();
    return arg;
}

class ThreadsWzThread : public ::testing::Test {
protected:
    void TearDown() override { WzThread::creationFaults().clear(); }
};

TEST_F(ThreadsWzThread, JoinGivesTheExitValueAndNoErrorIsReported) {
    Gate gate;
    WzThread thread;
    EXPECT_EQ(thread.getLastError(), nullptr);
    EXPECT_EQ(thread.getThreadID(), 0u);
    ASSERT_EQ(thread.createThread(gated, &gate), 0);
    EXPECT_NE(thread.getThreadID(), 0u);
    gate.release.set_value();
    void* result = nullptr;
    EXPECT_EQ(thread.joinThread(&result), 0);
    EXPECT_EQ(result, &gate);
    EXPECT_EQ(thread.getLastError(), nullptr);
}

TEST_F(ThreadsWzThread, InjectedCreationFailureStartsNothing) {
    Gate gate;
    WzThread thread;
    WzThread::creationFaults().failNext(1, EAGAIN);
    EXPECT_EQ(thread.createThread(gated, &gate), EAGAIN);
    ASSERT_NE(thread.getLastError(), nullptr);
    EXPECT_NE(std::string(thread.getLastError()).find("createThread"), std::string::npos);
    EXPECT_EQ(thread.getThreadID(), 0u);
    EXPECT_EQ(thread.joinThread(nullptr), ESRCH);
    EXPECT_EQ(gate.runs, 0);
}

TEST_F(ThreadsWzThread, TimedJoinTimesOutWhileTheThreadRunsThenJoins) {
    Gate gate;
    WzThread thread;
    ASSERT_EQ(thread.createThread(gated, &gate), 0);
    gate.started.get_future().wait();
    int result = 0;
    long long ms = fcltest::elapsedMs([&] { result = thread.timedJoin(200); });
    EXPECT_EQ(result, ETIMEDOUT);
    EXPECT_GE(ms, 200);
    EXPECT_LT(ms, 5000);
    EXPECT_EQ(thread.getLastError(), nullptr) << "a time-out is not a failure";
    gate.release.set_value();
    void* exitValue = nullptr;
    EXPECT_EQ(thread.timedJoin(10000, &exitValue), 0);
    EXPECT_EQ(exitValue, &gate);
}

struct RefusedCase {
    const char* name;
    int (WzThread::*operation)();
    const char* logged;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class ThreadsRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(ThreadsRefused, SuspendAndTerminateRefuseAndLeaveTheThreadRunning) {
    const RefusedCase& c = GetParam();
    wzlog::ScopedCapture capture;
    Gate gate;
    WzThread thread;
    ASSERT_EQ(thread.createThread(gated, &gate), 0);
    gate.started.get_future().wait();
    EXPECT_NE((thread.*c.operation)(), 0);
    EXPECT_NE(thread.getLastError(), nullptr);
    ASSERT_EQ(capture->lines().size(), 1u);
    EXPECT_EQ(capture->lines()[0].level, -1);
    EXPECT_TRUE(capture->contains(c.logged));
    // Still running: not joinable yet, and it finishes its work when let go.
    EXPECT_EQ(thread.timedJoin(50), ETIMEDOUT);
    gate.release.set_value();
    void* exitValue = nullptr;
    EXPECT_EQ(thread.joinThread(&exitValue), 0);
    EXPECT_EQ(exitValue, &gate);
}

INSTANTIATE_TEST_SUITE_P(Operations, ThreadsRefused,
                         ::testing::Values(RefusedCase{"suspend", &WzThread::suspendThread, "cannot be suspended"},
                                           RefusedCase{"terminate", &WzThread::terminateThread,
                                                       "cannot be terminated"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ThreadsWzThread, MisuseIsAnErrorNotUndefinedBehaviour) {
    Gate gate;
    WzThread thread;
    EXPECT_EQ(thread.detachThread(), ESRCH);
    ASSERT_EQ(thread.createThread(gated, &gate), 0);
    EXPECT_EQ(thread.createThread(gated, &gate), EBUSY) << "the first thread was never joined";
    gate.release.set_value();
    EXPECT_EQ(thread.joinThread(nullptr), 0);
    EXPECT_EQ(thread.joinThread(nullptr), ESRCH) << "joined twice";
    EXPECT_EQ(gate.runs, 1);
}

std::atomic<int> g_detachedRuns(0);

void* countRun(void*) {
    ++g_detachedRuns;  // touches nothing of the test, which may be gone by the time the thread ends
    return nullptr;
}

TEST_F(ThreadsWzThread, DetachedThreadRunsButCannotBeJoined) {
    WzThread thread;
    ASSERT_EQ(thread.createThread(countRun, nullptr), 0);
    EXPECT_EQ(thread.detachThread(), 0);
    EXPECT_EQ(thread.joinThread(nullptr), ESRCH);
    fcltest::finishesWithin(std::chrono::seconds(10), "a detached thread running", [] {
        while (g_detachedRuns == 0) {
            std::this_thread::yield();
        }
    });
}

}  // namespace
