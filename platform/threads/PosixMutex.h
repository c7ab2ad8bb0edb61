#pragma once
#include <pthread.h>

namespace wzthreads {

// Initialises `mutex` as a process-private mutex of `type` (PTHREAD_MUTEX_RECURSIVE, _ERRORCHECK, ...).
inline void initMutex(pthread_mutex_t& mutex, int type) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, type);
    pthread_mutex_init(&mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

}  // namespace wzthreads
