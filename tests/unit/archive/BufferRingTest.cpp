#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/archive/BufferRing.h"
#include "tests/common/Concurrency.h"

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

namespace {

// Buffers cross in batches whichever side is the slower one: every buffer arrives, once and in order, and neither
// side is left waiting on a batch the other holds back.
TEST(BufferRing, BatchesLoseNothingWhicheverSideIsSlower) {
    for (int slowSide = 0; slowSide < 2; ++slowSide) {
        BufferRing ring(BufferRing::kMaxSlots);
        const uint32_t kBuffers = 5000;
        std::vector<uint32_t> seen;
        fcltest::finishesWithin(std::chrono::seconds(60), "a stream through the ring", [&] {
            std::thread producer([&] {
                for (uint32_t n = 1; n <= kBuffers; ++n) {
                    RingSlot* slot = ring.acquire(64);
                    ASSERT_NE(slot, nullptr);
                    slot->type = n;
                    ring.publish(slot);
                    if (slowSide == 0 && n % 97 == 0) {
                        std::this_thread::sleep_for(std::chrono::microseconds(200));
                    }
                }
                ring.flush();
            });
            while (seen.size() < kBuffers) {
                RingSlot* slot = nullptr;
                int error = 0;
                if (ring.take(slot, error, milliseconds(60000)) == BufferRing::Take::kBuffer) {
                    seen.push_back(slot->type);
                    ring.release();
                    if (slowSide == 1 && seen.size() % 89 == 0) {
                        std::this_thread::sleep_for(std::chrono::microseconds(200));
                    }
                }
            }
            producer.join();
        });
        ASSERT_EQ(seen.size(), kBuffers);
        for (uint32_t n = 0; n < kBuffers; ++n) {
            ASSERT_EQ(seen[n], n + 1) << "slow side " << slowSide;
        }
    }
}

// A waiting consumer gets a batch that is not full as soon as the producer says it has nothing more for now.
TEST(BufferRing, AFlushHandsOverAPartBatch) {
    BufferRing ring(BufferRing::kMaxSlots);
    BufferRing::Take result = BufferRing::Take::kIdle;
    RingSlot* taken = nullptr;
    std::thread consumer([&] {
        int error = 0;
        result = ring.take(taken, error, milliseconds(600000));
    });
    fcltest::finishesWithin(std::chrono::seconds(30), "a flushed part batch", [&] {
        std::this_thread::sleep_for(milliseconds(20));
        publishOne(ring, 3);
        ring.flush();
        consumer.join();
    });
    EXPECT_EQ(result, BufferRing::Take::kBuffer);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->type, 3u);
}

// The consumer gives slots back in batches, but none stays on its side once it has to wait: a producer waiting
// with every slot taken gets the few given back, and the consumer the buffer made in one.
TEST(BufferRing, SlotsGivenBackShortOfABatchReachTheProducerBeforeTheConsumerWaits) {
    BufferRing ring(BufferRing::kMaxSlots);
    for (size_t n = 0; n < BufferRing::kMaxSlots; ++n) {
        publishOne(ring, 1);
    }
    RingSlot* slot = nullptr;
    int error = 0;
    for (size_t n = 0; n + 1 < BufferRing::kMaxSlots; ++n) {
        ASSERT_EQ(ring.take(slot, error, milliseconds(0)), BufferRing::Take::kBuffer);
    }
    for (int n = 0; n < 3; ++n) {
        ASSERT_TRUE(ring.release());
    }
    std::atomic<bool> acquired{false};
    std::thread producer([&] {
        RingSlot* made = ring.acquire(64);
        acquired = true;
        ASSERT_NE(made, nullptr);
        made->type = 9;
        ring.publish(made);
        ring.flush();
    });
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_FALSE(acquired) << "slots given back short of a batch went to the producer one by one";
    fcltest::finishesWithin(std::chrono::seconds(30), "a buffer made in a slot given back", [&] {
        ASSERT_EQ(ring.take(slot, error, milliseconds(0)), BufferRing::Take::kBuffer);
        EXPECT_EQ(slot->type, 1u);
        ASSERT_EQ(ring.take(slot, error, milliseconds(600000)), BufferRing::Take::kBuffer);
        EXPECT_EQ(slot->type, 9u);
        producer.join();
    });
}

// A reset drops what the consumer had taken off the queue and not handed out: the next stream starts with its own.
TEST(BufferRing, AResetDropsWhatTheConsumerTookAndDidNotHandOut) {
    BufferRing ring(8);
    publishOne(ring, 1);
    publishOne(ring, 2);
    RingSlot* slot = nullptr;
    int error = 0;
    ASSERT_EQ(ring.take(slot, error, milliseconds(0)), BufferRing::Take::kBuffer);
    ASSERT_TRUE(ring.release());
    ring.reset();
    publishOne(ring, 3);
    ASSERT_EQ(ring.take(slot, error, milliseconds(0)), BufferRing::Take::kBuffer);
    EXPECT_EQ(slot->type, 3u);
}

// Long buffers are held to the ring's byte budget (though never fewer than the few slots of a plain ring): the
// producer waits for a slot given back rather than filling every slot with them.
TEST(BufferRing, LongBuffersAreHeldToTheByteBudget) {
    BufferRing ring(BufferRing::kMaxSlots);
    const size_t kLong = BufferRing::kByteBudget / 2;
    size_t published = 0;
    std::atomic<bool> blocked{false};
    std::thread producer([&] {
        for (;;) {
            RingSlot* slot = ring.acquire(kLong);
            if (slot == nullptr) {
                blocked = true;
                return;
            }
            slot->type = 1;
            ring.publish(slot);
            ++published;
        }
    });
    std::this_thread::sleep_for(milliseconds(100));
    ring.stopProducer();
    producer.join();
    EXPECT_TRUE(blocked);
    EXPECT_EQ(published, BufferRing::kSlots);
}

TEST(BufferRing, SlotsFollowTheStreamsSize) {
    EXPECT_EQ(BufferRing::slotsFor(0), BufferRing::kSlots);
    EXPECT_EQ(BufferRing::slotsFor(20 * BufferRing::kStreamBytesPerSlot), 20u);
    EXPECT_EQ(BufferRing::slotsFor(uint64_t(1) << 40), BufferRing::kMaxSlots);
    BufferRing ring;
    publishOne(ring, 1);
    EXPECT_FALSE(ring.resize(16)) << "a queued buffer's slot must not be freed";
    ring.reset();
    EXPECT_TRUE(ring.resize(16));
    EXPECT_EQ(ring.slots(), 16u);
}

}  // namespace
