#pragma once
// The few buffers that pass between the data mover (producer) and the job's pipeline reader (consumer). Each
// slot keeps its memory from buffer to buffer and grows only for a longer buffer than it ever held, so nothing
// is allocated per read. A buffer handed out stays the consumer's, writable, until it gives it back.
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
    enum class Take { kBuffer, kIdle, kFailed };

    explicit BufferRing(size_t slots = kSlots);
    BufferRing(const BufferRing&) = delete;
    BufferRing& operator=(const BufferRing&) = delete;

    // Producer side. A free slot, waiting while all are in use; null once the producer is stopped.
    RingSlot* acquire();
    void publish(RingSlot* slot);
    // Gives back a slot that was not filled.
    void discard(RingSlot* slot);
    // The stream failed: the consumer gets the error after what is already queued, and from then on; `why` says
    // what failed, for the consumer to report.
    void fail(int error, std::string why = std::string());
    void stopProducer();

    // Consumer side. The next buffer; or, after waiting at most `wait` (less when woken), kIdle when nothing
    // came, kFailed with the error once the stream failed.
    Take take(RingSlot*& slot, int& error, std::chrono::milliseconds wait);
    // Gives back the buffer handed out last; false when none is out.
    bool release();
    // Ends the wait of a blocked consumer at once.
    void wakeConsumer();

    // Ready for a new stream: queued buffers and a failure are dropped; buffers still handed out stay so.
    void reset();
    size_t handedOut() const;
    // What the failure's producer said; empty while the stream has not failed.
    std::string failureText() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable freeChanged_;
    std::condition_variable readyChanged_;
    std::vector<RingSlot> slots_;
    std::vector<RingSlot*> free_;
    std::vector<RingSlot*> ready_;  // a circular queue of ready_.size() places
    size_t readyHead_ = 0;
    size_t readyCount_ = 0;
    std::vector<RingSlot*> out_;
    int failure_ = 0;
    std::string failureText_;
    bool producerStopped_ = false;
    uint64_t wakeGeneration_ = 0;
};

}  // namespace fclarchive
