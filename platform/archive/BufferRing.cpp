#include "platform/archive/BufferRing.h"

#include <algorithm>

namespace fclarchive {

unsigned char* RingSlot::reserve(size_t length) {
    if (length > capacity) {
        memory.reset(new unsigned char[length]);
        capacity = length;
    }
    return memory.get();
}

BufferRing::BufferRing(size_t slots) {
    resize(slots);
}

size_t BufferRing::slotsFor(uint64_t streamBytes) {
    return static_cast<size_t>(
        std::min<uint64_t>(kMaxSlots, std::max<uint64_t>(kSlots, streamBytes / kStreamBytesPerSlot)));
}

bool BufferRing::resize(size_t slots) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (readyCount_ != 0 || consumerHolds_ != 0) {
        return false;
    }
    slots = std::max<size_t>(1, slots);
    if (slots == slots_.size()) {
        return true;
    }
    slots_ = std::vector<RingSlot>(slots);
    ready_.assign(slots, nullptr);
    readyHead_ = 0;
    free_.clear();
    free_.reserve(slots);
    for (RingSlot& slot : slots_) {
        free_.push_back(&slot);
    }
    return true;
}

size_t BufferRing::slots() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return slots_.size();
}

size_t BufferRing::inFlightLimit() const {
    const size_t byBytes = largest_ == 0 ? slots_.size() : kByteBudget / largest_;
    return std::min(slots_.size(), std::max<size_t>(std::min<size_t>(kSlots, slots_.size()), byBytes));
}

size_t BufferRing::batch() const {
    return std::max<size_t>(1, inFlightLimit() / 2);
}

bool BufferRing::producerMayAcquire() const {
    return !free_.empty() && slots_.size() - free_.size() < inFlightLimit();
}

RingSlot* BufferRing::acquire(size_t length) {
    std::unique_lock<std::mutex> lock(mutex_);
    largest_ = std::max(largest_, length);
    if (!producerStopped_ && !producerMayAcquire()) {
        // About to wait: what is queued must not wait for a batch that cannot fill.
        if (consumerWaiting_ && readyCount_ != 0) {
            readyChanged_.notify_all();
        }
        producerWaiting_ = true;
        freeChanged_.wait(lock, [this] { return producerStopped_ || producerMayAcquire(); });
        producerWaiting_ = false;
    }
    if (producerStopped_) {
        return nullptr;
    }
    RingSlot* slot = free_.back();
    free_.pop_back();
    return slot;
}

void BufferRing::publish(RingSlot* slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    ready_[(readyHead_ + readyCount_) % ready_.size()] = slot;
    ++readyCount_;
    if (consumerWaiting_ && readyCount_ >= batch()) {
        readyChanged_.notify_all();
    }
}

void BufferRing::flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (consumerWaiting_ && readyCount_ != 0) {
        readyChanged_.notify_all();
    }
}

void BufferRing::discard(RingSlot* slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(slot);
    if (producerWaiting_) {
        freeChanged_.notify_all();
    }
}

void BufferRing::fail(int error, std::string why) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failure_ = error;
        failureText_ = std::move(why);
    }
    readyChanged_.notify_all();
}

void BufferRing::stopProducer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        producerStopped_ = true;
    }
    freeChanged_.notify_all();
}

BufferRing::Take BufferRing::take(RingSlot*& slot, int& error, std::chrono::milliseconds wait) {
    std::lock_guard<std::mutex> consumer(consumerMutex_);
    if (takenNext_ == taken_.size() || consumerGeneration_ != generation_.load(std::memory_order_acquire)) {
        std::unique_lock<std::mutex> lock(mutex_);
        dropStaleLocked();
        returnGivenBackLocked();
        if (takenNext_ == taken_.size()) {
            if (readyCount_ == 0 && failure_ == 0 && wait.count() > 0) {
                const uint64_t generation = wakeGeneration_;
                consumerWaiting_ = true;
                readyChanged_.wait_for(
                    lock, wait, [&] { return readyCount_ != 0 || failure_ != 0 || wakeGeneration_ != generation; });
                consumerWaiting_ = false;
                dropStaleLocked();
            }
            if (readyCount_ == 0) {
                if (failure_ != 0) {
                    error = failure_;
                    return Take::kFailed;
                }
                return Take::kIdle;
            }
            taken_.clear();
            takenNext_ = 0;
            // The consumer's lists grow to the ring once and are reused from then on.
            taken_.reserve(slots_.size());
            out_.reserve(slots_.size());
            givenBack_.reserve(slots_.size());
            for (; readyCount_ != 0; --readyCount_) {
                taken_.push_back(ready_[readyHead_]);
                readyHead_ = (readyHead_ + 1) % ready_.size();
            }
            consumerHolds_ += taken_.size();
        }
    }
    slot = taken_[takenNext_++];
    out_.push_back(slot);
    return Take::kBuffer;
}

bool BufferRing::release() {
    std::lock_guard<std::mutex> consumer(consumerMutex_);
    if (out_.empty()) {
        return false;
    }
    givenBack_.push_back(out_.back());
    out_.pop_back();
    // Back to the producer a batch at a time, and all of them once every buffer taken was handed out (at the end
    // of a stream, its last buffer).
    if (givenBack_.size() >= givenBackBatch_ || takenNext_ == taken_.size()) {
        std::lock_guard<std::mutex> lock(mutex_);
        returnGivenBackLocked();
    }
    return true;
}

void BufferRing::dropStaleLocked() {
    const uint64_t generation = generation_.load(std::memory_order_relaxed);
    if (consumerGeneration_ == generation) {
        return;
    }
    // A reset came since: what was taken from the stream before it and not handed out is dropped.
    for (; takenNext_ < taken_.size(); ++takenNext_) {
        givenBack_.push_back(taken_[takenNext_]);
    }
    consumerGeneration_ = generation;
}

void BufferRing::returnGivenBackLocked() {
    if (!givenBack_.empty()) {
        free_.insert(free_.end(), givenBack_.begin(), givenBack_.end());
        consumerHolds_ -= givenBack_.size();
        givenBack_.clear();
    }
    // How many to gather before the next return: a batch, as the ring stands now.
    givenBackBatch_ = batch();
    const size_t limit = inFlightLimit();
    const size_t room = limit - std::min(limit, slots_.size() - free_.size());
    if (producerWaiting_ && producerMayAcquire() && (room >= givenBackBatch_ || readyCount_ == 0)) {
        freeChanged_.notify_all();
    }
}

void BufferRing::wakeConsumer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++wakeGeneration_;
    }
    readyChanged_.notify_all();
}

void BufferRing::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    // What a consumer took from the stream and has not handed out is dropped at its next take: its lists are its own.
    generation_.fetch_add(1, std::memory_order_release);
    for (; readyCount_ != 0; --readyCount_) {
        free_.push_back(ready_[readyHead_]);
        readyHead_ = (readyHead_ + 1) % ready_.size();
    }
    largest_ = 0;
    failure_ = 0;
    failureText_.clear();
    producerStopped_ = false;
}

std::string BufferRing::failureText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failureText_;
}

size_t BufferRing::handedOut() const {
    std::lock_guard<std::mutex> consumer(consumerMutex_);
    return out_.size();
}

}  // namespace fclarchive
