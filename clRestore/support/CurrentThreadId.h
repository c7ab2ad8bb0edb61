#pragma once
#include <pthread.h>

// The calling thread's id as the lock owners record it: the low 32 bits of pthread_self().
inline unsigned int GetCurrentThreadId() {
    return static_cast<unsigned int>(pthread_self());
}
