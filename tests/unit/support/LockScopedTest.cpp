// Scoped locks and the handle-allocation failures of the wrappers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <thread>

#include "clRestore/support/FXLockableResource.h"
#include "clRestore/support/WzMonitor.h"
#include "clRestore/support/WzSafeFlags.h"
#include "clRestore/support/WzSemaphore.h"
#include "platform/threads/WzCriticalSection.h"

namespace {

// True when another thread cannot enter `cs` right now.
bool heldElsewhere(WzCriticalSection& cs) {
    bool entered = false;
    std::thread probe([&] {
        entered = cs.enter(false);
        if (entered) {
            cs.leave();
        }
    });
    probe.join();
    return !entered;
}

TEST(LockScoped, CriticalSectionLockHoldsForItsScope) {
    WzCriticalSection cs;
    {
        WzCriticalSectionLock lock(&cs);
        EXPECT_TRUE(heldElsewhere(cs));
    }
    EXPECT_FALSE(heldElsewhere(cs));
}

TEST(LockScoped, ResetMovesTheLockFromOneSectionToAnother) {
    WzCriticalSection first;
    WzCriticalSection second;
    WzCriticalSectionLock lock(&first);
    lock.resetCriticalSection(&second);
    EXPECT_FALSE(heldElsewhere(first));
    EXPECT_TRUE(heldElsewhere(second));
}

TEST(LockScoped, ResetToNullLeavesTheHeldSectionAndHoldsNothing) {
    WzCriticalSection cs;
    {
        WzCriticalSectionLock lock(&cs);
        lock.resetCriticalSection(nullptr);
        EXPECT_FALSE(heldElsewhere(cs));
    }
    // With a hold of this thread's own underneath, the destructor must not leave once more.
    cs.enter(true);
    {
        WzCriticalSectionLock lock(&cs);
        lock.resetCriticalSection(nullptr);
    }
    EXPECT_TRUE(heldElsewhere(cs));
    cs.leave();
    EXPECT_FALSE(heldElsewhere(cs));
}

TEST(LockScoped, NullTargetsDoNothing) {
    {
        WzCriticalSectionLock lock(nullptr);
        lock.resetCriticalSection(nullptr);
    }
    { WzMonitorLock lock(nullptr); }
    {
        auto_lock guard(nullptr, true);
        guard.Lock();
        guard.Unlock();
    }
}

class MockResource : public FXLockableResource {
public:
    MOCK_METHOD(bool, TryLock, (), (override));
    MOCK_METHOD(bool, TryLock, (CTimeInterval), (override));
    MOCK_METHOD(void, Lock, (), (override));
    MOCK_METHOD(void, Unlock, (), (override));
};

TEST(LockScoped, AutoLockNotLockedNeverUnlocks) {
    ::testing::StrictMock<MockResource> resource;
    { auto_lock guard(&resource, false); }
}

TEST(LockScoped, AutoLockLocksOnceAndUnlocksOnce) {
    ::testing::StrictMock<MockResource> resource;
    EXPECT_CALL(resource, Lock()).Times(1);
    EXPECT_CALL(resource, Unlock()).Times(1);
    auto_lock guard(&resource, true);
    guard.Lock();
}

TEST(LockScoped, AutoLockUnlockedEarlyDoesNotUnlockAgain) {
    ::testing::StrictMock<MockResource> resource;
    ::testing::InSequence order;
    EXPECT_CALL(resource, Lock());
    EXPECT_CALL(resource, Unlock());
    EXPECT_CALL(resource, Lock());
    EXPECT_CALL(resource, Unlock());
    auto_lock guard(&resource, false);
    guard.Lock();
    guard.Unlock();
    guard.Unlock();
    guard.Lock();
}

struct AllocationCase {
    const char* name;
    std::function<void()> armFault;
    std::function<void()> construct;
    const char* text;
};

void PrintTo(const AllocationCase& c, std::ostream* os) {
    *os << c.name;
}

class LockAllocation : public ::testing::TestWithParam<AllocationCase> {};

TEST_P(LockAllocation, MissingHandleThrowsTheClassText) {
    const AllocationCase& c = GetParam();
    c.armFault();
    const char* thrown = nullptr;
    try {
        c.construct();
    } catch (const char* text) {
        thrown = text;
    }
    ASSERT_NE(thrown, nullptr);
    EXPECT_STREQ(thrown, c.text);
    // The fault was used up: the next object is made.
    EXPECT_NO_THROW(c.construct());
}

INSTANTIATE_TEST_SUITE_P(
    Wrappers, LockAllocation,
    ::testing::Values(AllocationCase{"criticalSection", [] { WzCriticalSectionH::allocationFaults().failNext(1); },
                                     [] { WzCriticalSection cs; }, "Not enough memory to initialize WzCriticalSection"},
                      AllocationCase{"semaphore", [] { WzSemaphoreH::allocationFaults().failNext(1); },
                                     [] { WzSemaphore s(1); }, "Not enough memory to initialize WzSemaphore"},
                      AllocationCase{"monitor", [] { WzMonitorH::allocationFaults().failNext(1); }, [] { WzMonitor m; },
                                     "Not enough memory to initialize WzMonitor"},
                      AllocationCase{"safeFlags", [] { WzMonitorH::allocationFaults().failNext(1); },
                                     [] { WzSafeFlags f(0); }, "Not enough memory to initialize WzMonitor"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
