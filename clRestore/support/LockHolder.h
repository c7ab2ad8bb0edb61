#pragma once
#include <pthread.h>

#include <atomic>

// The thread holding a recursive lock, by its full POSIX handle: the 32-bit owner ids can repeat between
// threads, this cannot. Set and cleared by the holder only; any thread may ask whether it is the holder.
class LockHolder {
public:
    void set() { thread_.store(pthread_self()); }
    void clear() { thread_.store(0); }
    bool isCaller() const { return pthread_equal(thread_.load(), pthread_self()) != 0; }

private:
    std::atomic<pthread_t> thread_{0};
};
