#pragma once
// Calls of the recorded stand-ins, kept in memory in the order they were made so tests can read them.
#include <mutex>
#include <utility>
#include <vector>

namespace wzplatform {

template <typename T>
class RecordedList {
public:
    void add(T item) {
        std::lock_guard<std::mutex> lock(mutex_);
        items_.push_back(std::move(item));
    }
    std::vector<T> snapshot() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return items_;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        items_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<T> items_;
};

}  // namespace wzplatform
