#pragma once
// The thread library's plain mutex: not re-entrant, results as error numbers.
#include <pthread.h>

#include "platform/support/FaultCounter.h"

class WzMutex {
public:
    WzMutex();
    ~WzMutex();
    WzMutex(const WzMutex&) = delete;
    WzMutex& operator=(const WzMutex&) = delete;

    // 0, or an error number: EDEADLK when the caller already holds it.
    int lock();
    // 0, or an error number: EPERM when the caller does not hold it.
    int unlock();

    // Test hooks: armed, lock() or unlock() returns the armed error (EINVAL or EPERM when armed
    // with 0) and leaves the mutex as it was.
    static wzfault::FaultCounter& lockFaults();
    static wzfault::FaultCounter& unlockFaults();

private:
    pthread_mutex_t mutex_;
};
