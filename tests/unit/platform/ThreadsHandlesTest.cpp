// The thread library's handles used directly: misuse answers instead of undefined behaviour, and the
// allocation hook.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <new>
#include <thread>

#include "platform/threads/WzCriticalSectionH.h"
#include "platform/threads/WzMonitorH.h"
#include "platform/threads/WzSemaphoreH.h"

namespace {

template <class F>
void onOtherThread(F body) {
    std::thread other(body);
    other.join();
}

TEST(ThreadsHandles, CriticalSectionIsReentrantAndRefusesAForeignLeave) {
    WzCriticalSectionH cs;
    ASSERT_TRUE(cs.enter(true));
    ASSERT_TRUE(cs.enter(false));
    int foreignLeave = 0;
    bool foreignEnter = true;
    onOtherThread([&] {
        foreignLeave = cs.leave();
        foreignEnter = cs.enter(false);
    });
    EXPECT_EQ(foreignLeave, EPERM);
    EXPECT_FALSE(foreignEnter);
    EXPECT_EQ(cs.leave(), 0);
    EXPECT_EQ(cs.leave(), 0);
    EXPECT_EQ(cs.leave(), EPERM) << "left more often than entered";
}

TEST(ThreadsHandles, MonitorLeaveByANonHolderChangesNothing) {
    WzMonitorH monitor;
    EXPECT_FALSE(monitor.leave());
    monitor.enter();
    bool foreignLeave = true;
    onOtherThread([&] { foreignLeave = monitor.leave(); });
    EXPECT_FALSE(foreignLeave);
    EXPECT_TRUE(monitor.leave());
    EXPECT_FALSE(monitor.leave());
}

TEST(ThreadsHandles, SemaphoreWithANegativeCountNeedsThatManyReleases) {
    WzSemaphoreH s(-1);
    s.release(1);
    EXPECT_FALSE(s.wait(0));
    s.release(1);
    EXPECT_TRUE(s.wait(0));
}

TEST(ThreadsHandles, AllocationHookFailsNothrowAndPlainNew) {
    WzMonitorH::allocationFaults().failNext(2);
    EXPECT_EQ(new (std::nothrow) WzMonitorH(), nullptr);
    EXPECT_THROW(delete new WzMonitorH(), std::bad_alloc);
    std::unique_ptr<WzMonitorH> made(new (std::nothrow) WzMonitorH());
    EXPECT_NE(made, nullptr);
}

TEST(ThreadsHandles, AllocationHookArmedWithoutLimitFailsUntilCleared) {
    WzSemaphoreH::allocationFaults().failNext(-1);
    EXPECT_EQ(new (std::nothrow) WzSemaphoreH(0), nullptr);
    EXPECT_EQ(new (std::nothrow) WzSemaphoreH(0), nullptr);
    WzSemaphoreH::allocationFaults().clear();
    std::unique_ptr<WzSemaphoreH> made(new (std::nothrow) WzSemaphoreH(0));
    EXPECT_NE(made, nullptr);
}

}  // namespace
