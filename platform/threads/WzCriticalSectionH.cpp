#include "platform/threads/WzCriticalSectionH.h"

#include "platform/threads/PosixMutex.h"

WzCriticalSectionH::WzCriticalSectionH() {
    // A recursive mutex also refuses an unlock by a thread that does not hold it, instead of undefined behaviour.
    wzthreads::initMutex(mutex_, PTHREAD_MUTEX_RECURSIVE);
}

WzCriticalSectionH::~WzCriticalSectionH() {
    pthread_mutex_destroy(&mutex_);
}

bool WzCriticalSectionH::enter(bool wait) {
    return (wait ? pthread_mutex_lock(&mutex_) : pthread_mutex_trylock(&mutex_)) == 0;
}

int WzCriticalSectionH::leave() {
    return pthread_mutex_unlock(&mutex_);
}
