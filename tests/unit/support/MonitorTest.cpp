// The re-entrant monitor and the safe flags built on it, used the way the thread-end waits use them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "clRestore/support/WzSafeFlags.h"
#include "tests/common/Concurrency.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// The thread-end wait: hold the flag's monitor, wait once while it is set, read it again.
bool waitForZero(WzSafeFlags& running, unsigned long timeout) {
    WzMonitorLock lock(&running);
    if (running != 0) {
        running.wait(timeout);
    }
    return running == 0;
}

TEST(Monitor, SafeFlagsCanBeReadAndChangedWhileTheirMonitorIsHeld) {
    WzSafeFlags flags(5);
    fcltest::finishesWithin(seconds(10), "reading WzSafeFlags under its own WzMonitorLock", [&] {
        WzMonitorLock outer(&flags);
        WzMonitorLock inner(&flags);
        EXPECT_EQ(static_cast<int>(flags), 5);
        flags = 7;
        flags++;
        flags--;
        flags--;
        EXPECT_EQ(static_cast<int>(flags), 6);
    });
}

TEST(Monitor, WaiterWakesWhenAnotherThreadChangesTheFlag) {
    WzSafeFlags running(1);
    std::thread worker([&] {
        std::this_thread::sleep_for(milliseconds(50));
        running = 0;
    });
    bool ended = false;
    long long ms = fcltest::elapsedMs([&] { ended = waitForZero(running, 10000); });
    worker.join();
    EXPECT_TRUE(ended);
    EXPECT_LT(ms, 5000);
}

TEST(Monitor, EachChangeWakesTheWaiterToReadTheValueItself) {
    WzSafeFlags count(0);
    WzMonitorLock lock(&count);  // before the worker starts, so its change cannot come before the wait
    std::thread worker([&] { count++; });
    bool woken = count.wait(10000);
    EXPECT_TRUE(woken);
    EXPECT_EQ(static_cast<int>(count), 1);
    worker.join();
}

TEST(Monitor, WaitWithoutAChangeTimesOut) {
    WzSafeFlags running(1);
    bool ended = true;
    long long ms = fcltest::elapsedMs([&] { ended = waitForZero(running, 200); });
    EXPECT_FALSE(ended);
    EXPECT_GE(ms, 200);
    EXPECT_LT(ms, 5000);
}

TEST(Monitor, WaitGivesUpEveryLevelAndTakesThemAllBack) {
    WzMonitor monitor;
    std::atomic<bool> otherInside(false);
    monitor.enter();
    monitor.enter();
    std::thread signaller([&] {
        // Gets in only if the waiter gave up both of its levels.
        WzMonitorLock lock(&monitor);
        monitor.broadcast();
    });
    EXPECT_TRUE(monitor.wait(10000));
    signaller.join();

    monitor.leave();
    std::thread late([&] {
        WzMonitorLock lock(&monitor);
        otherInside = true;
    });
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_FALSE(otherInside) << "the second level was not taken back by wait()";
    monitor.leave();
    late.join();
    EXPECT_TRUE(otherInside);
}

TEST(Monitor, WaitWithoutHoldingTheMonitorReturnsAtOnce) {
    WzMonitor monitor;
    bool woken = true;
    long long ms = fcltest::elapsedMs([&] { woken = monitor.wait(10000); });
    EXPECT_FALSE(woken);
    EXPECT_LT(ms, 5000);
}

}  // namespace
