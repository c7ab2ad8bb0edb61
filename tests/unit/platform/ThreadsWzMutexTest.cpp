// The plain mutex of the thread library: results as error numbers, and its fault hooks.
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/threads/WzMutex.h"

namespace {

class ThreadsWzMutex : public ::testing::Test {
protected:
    void TearDown() override {
        WzMutex::lockFaults().clear();
        WzMutex::unlockFaults().clear();
    }
    WzMutex mutex;
};

TEST_F(ThreadsWzMutex, MisuseReturnsAnErrorNumber) {
    EXPECT_EQ(mutex.unlock(), EPERM) << "unlock of a free mutex";
    ASSERT_EQ(mutex.lock(), 0);
    EXPECT_EQ(mutex.lock(), EDEADLK) << "relock by the holder";
    int foreign = 0;
    std::thread other([&] { foreign = mutex.unlock(); });
    other.join();
    EXPECT_EQ(foreign, EPERM) << "unlock by a thread that does not hold it";
    EXPECT_EQ(mutex.unlock(), 0);
}

TEST_F(ThreadsWzMutex, InjectedFailuresLeaveTheMutexAsItWas) {
    WzMutex::lockFaults().failNext(1, EINVAL);
    EXPECT_EQ(mutex.lock(), EINVAL);
    EXPECT_EQ(mutex.unlock(), EPERM) << "the failed lock must not have taken it";
    ASSERT_EQ(mutex.lock(), 0);
    WzMutex::unlockFaults().failNext(1, EPERM);
    EXPECT_EQ(mutex.unlock(), EPERM);
    EXPECT_EQ(mutex.lock(), EDEADLK) << "the failed unlock must not have released it";
    EXPECT_EQ(mutex.unlock(), 0);
}

TEST_F(ThreadsWzMutex, FaultArmedWithoutAnErrorStillFails) {
    WzMutex::lockFaults().failNext(1);
    EXPECT_NE(mutex.lock(), 0);
    EXPECT_EQ(mutex.lock(), 0);
    EXPECT_EQ(mutex.unlock(), 0);
}

TEST_F(ThreadsWzMutex, ExcludesOtherThreads) {
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            ASSERT_EQ(mutex.lock(), 0);
            ++counter;
            ASSERT_EQ(mutex.unlock(), 0);
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
}

}  // namespace
