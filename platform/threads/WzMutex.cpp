#include "platform/threads/WzMutex.h"

#include <cerrno>

#include "platform/threads/PosixMutex.h"

WzMutex::WzMutex() {
    // Error checking turns a relock or a foreign unlock into an error number instead of a hang or corruption.
    wzthreads::initMutex(mutex_, PTHREAD_MUTEX_ERRORCHECK);
}

WzMutex::~WzMutex() {
    pthread_mutex_destroy(&mutex_);
}

int WzMutex::lock() {
    int error = 0;
    if (lockFaults().take(&error)) {
        return error != 0 ? error : EINVAL;
    }
    return pthread_mutex_lock(&mutex_);
}

int WzMutex::unlock() {
    int error = 0;
    if (unlockFaults().take(&error)) {
        return error != 0 ? error : EPERM;
    }
    return pthread_mutex_unlock(&mutex_);
}

wzfault::FaultCounter& WzMutex::lockFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

wzfault::FaultCounter& WzMutex::unlockFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}
