#pragma once
// The buffers that pass between the data mover (producer) and the job's pipeline reader (consumer). Each slot keeps
// its memory from buffer to buffer and grows only for a longer buffer than it ever held, so nothing is allocated per
// read. A buffer handed out stays the consumer's, writable, until it gives it back.
//
// Buffers go over in batches: a side that is busy is not woken per buffer. A waiting consumer is woken once a batch
// is ready, when the producer is about to wait or has finished a request (flush), or on failure and stop; a waiting
// producer once a batch of slots is free, or when the consumer is about to wait. Each side wakes the other before
// it waits itself, so neither waits on work the other holds back.
//
// The consumer also takes and gives back in batches: one lock moves every ready buffer to its side and returns the
// slots it gave back, and it hands those out and takes them back without the ring's lock, so that the producer
// filling slots meanwhile seldom finds that lock taken.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace fclarchive {

struct RingSlot {
    // Room for `length` bytes; the old contents are not kept.
    unsigned char* reserve(size_t length);
    unsigned char* bytes() const { return memory.get(); }

    std::unique_ptr<unsigned char[]> memory;
    size_t capacity = 0;
    uint32_t type = 0;
    uint32_t payloadLength = 0;
};

class BufferRing {
public:
    static constexpr size_t kSlots = 4;
    // The most slots a ring sized for a stream gets, and the stream bytes per slot.
    static constexpr size_t kMaxSlots = 128;
    static constexpr uint64_t kStreamBytesPerSlot = 32 << 10;
    // Slots in flight (queued or handed out) hold at most about this many bytes, however long the buffers.
    static constexpr size_t kByteBudget = 8 << 20;
    enum class Take { kBuffer, kIdle, kFailed };

    explicit BufferRing(size_t slots = kSlots);
    BufferRing(const BufferRing&) = delete;
    BufferRing& operator=(const BufferRing&) = delete;

    // Slots for a stream of `streamBytes`: a few for a short stream, up to kMaxSlots.
    static size_t slotsFor(uint64_t streamBytes);
    // Gives the ring `slots` slots; only while no buffer is queued or handed out (false otherwise).
    bool resize(size_t slots);
    size_t slots() const;

    // Producer side. A free slot for a buffer of `length` bytes, waiting while none may be used; null once the
    // producer is stopped.
    RingSlot* acquire(size_t length = 0);
    void publish(RingSlot* slot);
    // Wakes a waiting consumer for what is queued: the producer has nothing more to add for now.
    void flush();
    // Gives back a slot that was not filled.
    void discard(RingSlot* slot);
    // The stream failed: the consumer gets the error after what is already queued, and from then on; `why` says
    // what failed, for the consumer to report.
    void fail(int error, std::string why = std::string());
    void stopProducer();

    // Consumer side. The next buffer; or, after waiting at most `wait` (less when woken; not at all when zero), kIdle
    // when nothing came, kFailed with the error once the stream failed.
    Take take(RingSlot*& slot, int& error, std::chrono::milliseconds wait);
    // Gives back the buffer handed out last; false when none is out.
    bool release();
    // Ends the wait of a blocked consumer at once.
    void wakeConsumer();

    // Ready for a new stream: queued buffers and a failure are dropped, and what the consumer took and did not hand
    // out yet at its next take; buffers still handed out stay so.
    void reset();
    size_t handedOut() const;
    // What the failure's producer said; empty while the stream has not failed.
    std::string failureText() const;

private:
    // Under the lock: slots the producer may have in flight now, and how many make a batch.
    size_t inFlightLimit() const;
    size_t batch() const;
    bool producerMayAcquire() const;
    // Under the lock: the slots the consumer gave back go back to the free list, and a waiting producer is woken
    // once it may take a batch of them (or nothing is left queued for the consumer).
    void returnGivenBackLocked();
    // Under both locks: after a reset, the buffers the consumer took before it and did not hand out are given back.
    void dropStaleLocked();

    mutable std::mutex mutex_;
    std::condition_variable freeChanged_;
    std::condition_variable readyChanged_;
    std::vector<RingSlot> slots_;
    std::vector<RingSlot*> free_;
    std::vector<RingSlot*> ready_;  // a circular queue of ready_.size() places
    size_t readyHead_ = 0;
    size_t readyCount_ = 0;
    // The consumer's own, under consumerMutex_ (only consumers take it, so it is free but for a second consumer):
    // buffers moved off the queue and not yet handed out (from taken_[takenNext_] on), buffers handed out, and slots
    // given back but not yet returned to the free list. Taken before mutex_ when both are held.
    mutable std::mutex consumerMutex_;
    std::vector<RingSlot*> taken_;
    size_t takenNext_ = 0;
    std::vector<RingSlot*> out_;
    std::vector<RingSlot*> givenBack_;
    size_t givenBackBatch_ = 1;
    uint64_t consumerGeneration_ = 0;  // the reset the lists above belong to
    // Under mutex_: the slots on the consumer's side (in the three lists above).
    size_t consumerHolds_ = 0;
    // Counts the resets (written under mutex_); a consumer that finds it changed drops what it took before.
    std::atomic<uint64_t> generation_{0};
    size_t largest_ = 0;  // the longest buffer asked for since the last reset
    bool consumerWaiting_ = false;
    bool producerWaiting_ = false;
    int failure_ = 0;
    std::string failureText_;
    bool producerStopped_ = false;
    uint64_t wakeGeneration_ = 0;
};

}  // namespace fclarchive
