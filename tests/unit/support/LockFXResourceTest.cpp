// The self-contained lock hierarchy: FXMutex and FXCriticalSection behind FXLockableResource.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "clRestore/support/FXCriticalSection.h"
#include "clRestore/support/FXMutex.h"
#include "platform/log/LogWriter.h"
#include "tests/common/Concurrency.h"

namespace {

// Runs `body` on another thread and waits for it.
template <class F>
void onOtherThread(F body) {
    std::thread other(body);
    other.join();
}

template <class T>
class LockFXResource : public ::testing::Test {
protected:
    T lock;
};

using LockTypes = ::testing::Types<FXMutex, FXCriticalSection>;
TYPED_TEST_SUITE(LockFXResource, LockTypes);

TYPED_TEST(LockFXResource, RecordsTheOwnerWhileHeld) {
    EXPECT_EQ(this->lock.GetOwnerThreadId(), 0u);
    this->lock.Lock();
    EXPECT_EQ(this->lock.GetOwnerThreadId(), GetCurrentThreadId());
    this->lock.Unlock();
    EXPECT_EQ(this->lock.GetOwnerThreadId(), 0u);
}

TYPED_TEST(LockFXResource, TimedTryLockIsOneAttemptWhateverTheInterval) {
    this->lock.Lock();
    bool plain = true;
    bool timed = true;
    long long ms = 0;
    onOtherThread([&] {
        plain = this->lock.TryLock();
        ms = fcltest::elapsedMs([&] { timed = this->lock.TryLock(CTimeInterval::FromSeconds(30)); });
    });
    EXPECT_FALSE(plain);
    EXPECT_FALSE(timed);
    EXPECT_LT(ms, 5000);
    this->lock.Unlock();

    bool freeTaken = false;
    onOtherThread([&] {
        freeTaken = this->lock.TryLock(CTimeInterval::FromSeconds(30));
        if (freeTaken) {
            this->lock.Unlock();
        }
    });
    EXPECT_TRUE(freeTaken);
}

TYPED_TEST(LockFXResource, UnlockByAnotherThreadNeitherReleasesNorClearsTheOwner) {
    wzlog::ScopedCapture capture;
    this->lock.Lock();
    bool taken = true;
    onOtherThread([&] {
        this->lock.Unlock();
        taken = this->lock.TryLock();
    });
    EXPECT_FALSE(taken);
    EXPECT_EQ(this->lock.GetOwnerThreadId(), GetCurrentThreadId());
    this->lock.Unlock();
}

TYPED_TEST(LockFXResource, GuardsACounterBetweenThreads) {
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            auto_lock guard(&this->lock, true);
            ++counter;
        }
    };
    fcltest::finishesWithin(std::chrono::seconds(60), "two threads taking one FX lock", [&] {
        std::thread a(work);
        std::thread b(work);
        a.join();
        b.join();
    });
    EXPECT_EQ(counter, 40000);
}

TEST(LockFXMutex, CountsLevelsAndKeepsTheOwnerUntilTheLast) {
    FXMutex m;
    m.Lock();
    m.Lock();
    EXPECT_TRUE(m.TryLock());
    EXPECT_EQ(m.GetLockCount(), 3);
    m.Unlock();
    m.Unlock();
    EXPECT_EQ(m.GetLockCount(), 1);
    EXPECT_EQ(m.GetOwnerThreadId(), GetCurrentThreadId());
    m.Unlock();
    EXPECT_EQ(m.GetLockCount(), 0);
    EXPECT_EQ(m.GetOwnerThreadId(), 0u);
}

TEST(LockFXMutex, UnlockOfAFreeMutexChangesNothing) {
    FXMutex m;
    m.Unlock();
    EXPECT_EQ(m.GetLockCount(), 0);
    m.Lock();
    EXPECT_EQ(m.GetLockCount(), 1);
    m.Unlock();
}

TEST(LockFXMutex, DestroyingAMutexStillHeldTwiceReturns) {
    fcltest::finishesWithin(std::chrono::seconds(10), "destroying an FXMutex held twice", [] {
        auto m = std::make_unique<FXMutex>();
        m->Lock();
        m->Lock();
        m.reset();
    });
}

TEST(LockFXCriticalSection, NestedUnlockClearsTheOwnerWhileTheOuterLevelIsHeld) {
    FXCriticalSection cs;
    cs.Lock();
    cs.Lock();
    cs.Unlock();
    EXPECT_EQ(cs.GetOwnerThreadId(), 0u);
    bool taken = true;
    onOtherThread([&] { taken = cs.TryLock(); });
    EXPECT_FALSE(taken);
    cs.Unlock();
    onOtherThread([&] {
        taken = cs.TryLock();
        if (taken) {
            cs.Unlock();
        }
    });
    EXPECT_TRUE(taken);
}

TEST(LockFXCriticalSection, ForeignUnlockIsLogged) {
    wzlog::ScopedCapture capture;
    FXCriticalSection cs;
    cs.Unlock();
    EXPECT_TRUE(capture->contains("does not hold"));
}

TEST(LockFXCriticalSection, DestroyingASectionStillHeldReturns) {
    // The mutex asserts when destroyed while held; the section gives its levels back first.
    auto cs = std::make_unique<FXCriticalSection>();
    cs->Lock();
    cs->Lock();
    cs.reset();
}

}  // namespace
