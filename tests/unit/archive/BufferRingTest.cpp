#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/archive/BufferRing.h"

namespace {

using fclarchive::BufferRing;
using fclarchive::RingSlot;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

void publishOne(BufferRing& ring, uint32_t type) {
    RingSlot* slot = ring.acquire();
    ASSERT_NE(slot, nullptr);
    slot->reserve(96);
    slot->type = type;
    ring.publish(slot);
}

TEST(BufferRing, BuffersComeOutInOrderAndSlotsAreReused) {
    BufferRing ring(2);
    std::vector<unsigned char*> seen;
    for (uint32_t type = 1; type <= 6; ++type) {
        publishOne(ring, type);
        RingSlot* slot = nullptr;
        int error = 0;
        ASSERT_EQ(ring.take(slot, error, milliseconds(0)), BufferRing::Take::kBuffer);
        EXPECT_EQ(slot->type, type);
        seen.push_back(slot->bytes());
        EXPECT_TRUE(ring.release());
    }
    // Six buffers through two slots: no memory beyond the two slots' own.
    std::sort(seen.begin(), seen.end());
    EXPECT_LE(std::unique(seen.begin(), seen.end()) - seen.begin(), 2);
}

TEST(BufferRing, IdleTakeReturnsAfterItsWait) {
    BufferRing ring;
    RingSlot* slot = nullptr;
    int error = 0;
    auto start = steady_clock::now();
    EXPECT_EQ(ring.take(slot, error, milliseconds(50)), BufferRing::Take::kIdle);
    auto waited = steady_clock::now() - start;
    EXPECT_GE(waited, milliseconds(40));
    EXPECT_LT(waited, milliseconds(5000));
}

TEST(BufferRing, WakeEndsABlockedTakeAtOnce) {
    BufferRing ring;
    std::atomic<bool> returned{false};
    BufferRing::Take result = BufferRing::Take::kBuffer;
    auto start = steady_clock::now();
    std::thread consumer([&] {
        RingSlot* slot = nullptr;
        int error = 0;
        result = ring.take(slot, error, milliseconds(60000));
        returned = true;
    });
    std::this_thread::sleep_for(milliseconds(50));
    ring.wakeConsumer();
    consumer.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(result, BufferRing::Take::kIdle);
    EXPECT_LT(steady_clock::now() - start, milliseconds(30000));
}

TEST(BufferRing, FailureComesAfterWhatWasQueuedAndStays) {
    BufferRing ring;
    publishOne(ring, 7);
    ring.fail(EBADMSG);
    RingSlot* slot = nullptr;
    int error = 0;
    ASSERT_EQ(ring.take(slot, error, milliseconds(0)), BufferRing::Take::kBuffer);
    EXPECT_EQ(slot->type, 7u);
    ring.release();
    EXPECT_EQ(ring.take(slot, error, milliseconds(0)), BufferRing::Take::kFailed);
    EXPECT_EQ(error, EBADMSG);
    error = 0;
    EXPECT_EQ(ring.take(slot, error, milliseconds(0)), BufferRing::Take::kFailed);
    EXPECT_EQ(error, EBADMSG);

    ring.reset();
    EXPECT_EQ(ring.take(slot, error, milliseconds(0)), BufferRing::Take::kIdle);
}

TEST(BufferRing, ProducerWaitsForAGivenBackSlotAndStopsWhenTold) {
    BufferRing ring(1);
    publishOne(ring, 1);
    RingSlot* handedOut = nullptr;
    int error = 0;
    ASSERT_EQ(ring.take(handedOut, error, milliseconds(0)), BufferRing::Take::kBuffer);

    std::atomic<RingSlot*> acquired{nullptr};
    std::atomic<bool> done{false};
    std::thread producer([&] {
        acquired = ring.acquire();
        done = true;
    });
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_FALSE(done) << "a slot was handed out twice";
    EXPECT_TRUE(ring.release());
    producer.join();
    EXPECT_EQ(acquired.load(), handedOut);
    ring.discard(acquired);

    // With the only slot out again, a stop ends the producer's wait empty-handed.
    publishOne(ring, 2);
    ASSERT_EQ(ring.take(handedOut, error, milliseconds(0)), BufferRing::Take::kBuffer);
    std::thread stopped([&] { acquired = ring.acquire(); });
    std::this_thread::sleep_for(milliseconds(50));
    ring.stopProducer();
    stopped.join();
    EXPECT_EQ(acquired.load(), nullptr);
}

TEST(BufferRing, GivingBackWithNothingOutIsRefused) {
    BufferRing ring;
    EXPECT_FALSE(ring.release());
}

}  // namespace
