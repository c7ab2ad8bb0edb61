#include "platform/archive/BufferRing.h"

namespace fclarchive {

unsigned char* RingSlot::reserve(size_t length) {
    if (length > capacity) {
        memory.reset(new unsigned char[length]);
        capacity = length;
    }
    return memory.get();
}

BufferRing::BufferRing(size_t slots) : slots_(slots), ready_(slots) {
    free_.reserve(slots);
    out_.reserve(slots);
    for (RingSlot& slot : slots_) {
        free_.push_back(&slot);
    }
}

RingSlot* BufferRing::acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    freeChanged_.wait(lock, [this] { return producerStopped_ || !free_.empty(); });
    if (producerStopped_) {
        return nullptr;
    }
    RingSlot* slot = free_.back();
    free_.pop_back();
    return slot;
}

void BufferRing::publish(RingSlot* slot) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ready_[(readyHead_ + readyCount_) % ready_.size()] = slot;
        ++readyCount_;
    }
    readyChanged_.notify_all();
}

void BufferRing::discard(RingSlot* slot) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        free_.push_back(slot);
    }
    freeChanged_.notify_all();
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
    std::unique_lock<std::mutex> lock(mutex_);
    uint64_t generation = wakeGeneration_;
    readyChanged_.wait_for(lock, wait,
                           [&] { return readyCount_ != 0 || failure_ != 0 || wakeGeneration_ != generation; });
    if (readyCount_ != 0) {
        slot = ready_[readyHead_];
        readyHead_ = (readyHead_ + 1) % ready_.size();
        --readyCount_;
        out_.push_back(slot);
        return Take::kBuffer;
    }
    if (failure_ != 0) {
        error = failure_;
        return Take::kFailed;
    }
    return Take::kIdle;
}

bool BufferRing::release() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (out_.empty()) {
            return false;
        }
        free_.push_back(out_.back());
        out_.pop_back();
    }
    freeChanged_.notify_all();
    return true;
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
    for (; readyCount_ != 0; --readyCount_) {
        free_.push_back(ready_[readyHead_]);
        readyHead_ = (readyHead_ + 1) % ready_.size();
    }
    failure_ = 0;
    failureText_.clear();
    producerStopped_ = false;
}

std::string BufferRing::failureText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failureText_;
}

size_t BufferRing::handedOut() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return out_.size();
}

}  // namespace fclarchive
