// The restore task and the timestamp handler are made on first use by whichever thread asks first: threads asking
// at once all get the one object made.
#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "clRestore/options/ServiceObjects.h"
#include "platform/tasks/EvTask.h"
#include "platform/timestamps/CRestoreTimestampHandler.h"
#include "tests/unit/options/ServiceFixture.h"

namespace {

constexpr int kThreads = 8;

// Runs `body(i)` on kThreads threads released together.
template <class Body>
void atOnce(Body body) {
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (ready.load() < kThreads) {
            }
            body(i);
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
}

class ServiceCacheThreads : public fcltest::ServiceFixture {};

TEST_F(ServiceCacheThreads, OneRestoreTaskIsMadeForThreadsAskingAtOnce) {
    for (int round = 0; round < 20; ++round) {
        FclRestoreUNIX unix(nullptr);
        wzlog::ScopedCapture log;
        std::vector<EvRstTask*> seen(kThreads, nullptr);
        atOnce([&](int i) {
            boost::shared_ptr<EvRstTask> task;
            EXPECT_FALSE(unix.getRestoreTaskObject(31, task, false).IsError());
            seen[i] = task.get();
        });
        EXPECT_EQ(std::set<EvRstTask*>(seen.begin(), seen.end()).size(), 1u) << round;
        EXPECT_EQ(log->count("Fetching EvRstTask done"), 1u) << round;
    }
}

TEST_F(ServiceCacheThreads, OneTimestampHandlerIsMadeForThreadsAskingAtOnce) {
    for (int round = 0; round < 20; ++round) {
        FclRestoreUNIX unix(nullptr);
        std::vector<unsigned long> seen(kThreads, 0);
        atOnce([&](int i) {
            // Each thread would make its handler with its own number: all must see the one that was made.
            fclservices::TimestampHandlerArgs args{static_cast<unsigned long>(100 + i), 4711, nullptr, nullptr};
            EXPECT_TRUE(fclservices::initializeRestoreTimestampHandler(unix, args));
            seen[i] = (*unix.GetRestoreTsHandler())->zendrelId();
        });
        EXPECT_EQ(std::set<unsigned long>(seen.begin(), seen.end()).size(), 1u) << round;
        EXPECT_EQ((*unix.GetRestoreTsHandler())->zendrelId(), seen[0]);
    }
}

}  // namespace
