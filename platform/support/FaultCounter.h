#pragma once
// Test hooks of the stand-ins: a failure site that tests arm, and an allocation that fails on demand.
#include <atomic>
#include <cstddef>
#include <new>

namespace wzfault {

// One injectable failure site. Idle, a pass costs one relaxed atomic load.
class FaultCounter {
public:
    // The next `count` passes fail with `error`; a negative count fails every pass until clear().
    void failNext(int count, int error = 0) {
        error_.store(error);
        remaining_.store(count);
    }
    void clear() { remaining_.store(0); }

    // True when this pass must fail; `error` (when given) receives the armed error number.
    bool take(int* error = nullptr) noexcept {
        int n = remaining_.load(std::memory_order_relaxed);
        while (n != 0) {
            if (n < 0 || remaining_.compare_exchange_weak(n, n - 1)) {
                if (error != nullptr) {
                    *error = error_.load();
                }
                return true;
            }
        }
        return false;
    }

private:
    std::atomic<int> remaining_{0};
    std::atomic<int> error_{0};
};

// Base of a class whose `new` a test can make fail: a nothrow `new` then yields null, a plain one throws
// std::bad_alloc, exactly as when memory runs out.
template <class T>
struct FailableAllocation {
    static FaultCounter& allocationFaults() {
        static FaultCounter faults;
        return faults;
    }
    static void* operator new(std::size_t size) {
        if (allocationFaults().take()) {
            throw std::bad_alloc();
        }
        return ::operator new(size);
    }
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
        if (allocationFaults().take()) {
            return nullptr;
        }
        return ::operator new(size, std::nothrow);
    }
    static void operator delete(void* p) noexcept { ::operator delete(p); }
    static void operator delete(void* p, const std::nothrow_t&) noexcept { ::operator delete(p); }
};

}  // namespace wzfault
