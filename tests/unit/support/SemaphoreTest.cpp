// The counting semaphore of the message queue.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "clRestore/support/WzSemaphore.h"
#include "tests/common/Concurrency.h"

namespace {

using std::chrono::milliseconds;

TEST(Semaphore, GivesItsUnitsThenTimesOut) {
    WzSemaphore slots(3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(slots.wait(0)) << "unit " << i;
    }
    bool taken = true;
    long long ms = fcltest::elapsedMs([&] { taken = slots.wait(200); });
    EXPECT_FALSE(taken);
    EXPECT_GE(ms, 200);
    EXPECT_LT(ms, 5000);
}

TEST(Semaphore, ReleaseWakesAsManyWaitersAsUnits) {
    WzSemaphore messages(0);
    std::atomic<int> woken(0);
    auto waiter = [&] {
        if (messages.wait(10000)) {
            ++woken;
        }
    };
    std::thread a(waiter);
    std::thread b(waiter);
    std::this_thread::sleep_for(milliseconds(50));
    messages.release(2);
    a.join();
    b.join();
    EXPECT_EQ(woken, 2);
    EXPECT_FALSE(messages.wait(0));
}

TEST(Semaphore, ReleaseOfNothingAddsNothing) {
    WzSemaphore s(0);
    s.release(0);
    s.release(-3);
    EXPECT_FALSE(s.wait(0));
    s.release(1);
    EXPECT_TRUE(s.wait(0));
}

TEST(Semaphore, NoPracticalLimitDoesNotOverflowIntoNoWait) {
    // 2^64 - 1000 ms is what a caller passes for "no limit"; added to the clock it must not wrap.
    WzSemaphore s(0);
    std::atomic<bool> returned(false);
    std::atomic<bool> taken(false);
    std::thread waiter([&] {
        taken = s.wait(static_cast<unsigned long>(-1000L));
        returned = true;
    });
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_FALSE(returned);
    s.release(1);
    waiter.join();
    EXPECT_TRUE(taken);
}

}  // namespace
