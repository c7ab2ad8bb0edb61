#pragma once
// A recursive POSIX mutex that counts its levels and records its owner until the count returns to 0.
#include <pthread.h>

#include "clRestore/support/FXLockableResource.h"
#include "clRestore/support/LockHolder.h"
#include "platform/threads/PosixMutex.h"

class FXMutex : public FXLockableResource {
public:
    FXMutex() : lockCount(0) { Init(); }
    // Gives back the levels the destroying thread still holds; a mutex held by another thread is left alone
    // (waiting for that thread could never end).
    ~FXMutex() override {
        while (heldByCaller() && lockCount > 0) {
            Unlock();
        }
        pthread_mutex_destroy(&mutex);
    }

    bool TryLock() override {
        if (pthread_mutex_trylock(&mutex) != 0) {
            return false;
        }
        entered();
        return true;
    }
    bool TryLock(CTimeInterval interval) override { return FXLockableResource::TryLock(interval); }
    // A failure changes nothing and is not reported.
    void Lock() override {
        if (pthread_mutex_lock(&mutex) == 0) {
            entered();
        }
    }
    // Only the holder's unlock touches the count and the owner: a foreign unlock would otherwise take a level
    // from the thread that holds it. The system call is made in every case; a foreign one fails (EPERM) unseen.
    void Unlock() override {
        if (heldByCaller() && lockCount != 0) {
            if (--lockCount <= 0) {
                holder.clear();
                ClearLockOwner();
            }
        }
        pthread_mutex_unlock(&mutex);
    }

    // Meaningful to the holder only: other threads would race with it.
    int GetLockCount() const { return lockCount; }

protected:
    virtual void Init() {
        ClearLockOwner();
        wzthreads::initMutex(mutex, PTHREAD_MUTEX_RECURSIVE);
    }

private:
    void entered() {
        ++lockCount;
        holder.set();
        SetLockOwner();
    }
    bool heldByCaller() const { return holder.isCaller(); }

    pthread_mutex_t mutex;
    int lockCount;  // changed only by the holder
    LockHolder holder;
};
