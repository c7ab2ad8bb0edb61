#pragma once
// The self-contained lock hierarchy: a lockable resource that records its owner thread, and the scoped guard.
#include <atomic>

#include "clRestore/support/CurrentThreadId.h"
#include "protocol/TimeValues.h"

class FXLockableResource {
public:
    FXLockableResource() : ownerThreadId(0) {}
    virtual ~FXLockableResource() {}
    FXLockableResource(const FXLockableResource&) = delete;
    FXLockableResource& operator=(const FXLockableResource&) = delete;

    virtual bool TryLock() = 0;
    // The default body makes one TryLock() and ignores the interval; derived classes call it.
    virtual bool TryLock(CTimeInterval interval) = 0;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;

    // Other threads may read it while the holder changes it, hence atomic.
    unsigned int GetOwnerThreadId() const { return ownerThreadId.load(std::memory_order_relaxed); }

protected:
    void SetLockOwner() { ownerThreadId.store(GetCurrentThreadId(), std::memory_order_relaxed); }
    void ClearLockOwner() { ownerThreadId.store(0, std::memory_order_relaxed); }

private:
    std::atomic<unsigned int> ownerThreadId;  // 0: no thread recorded
};

inline bool FXLockableResource::TryLock(CTimeInterval) {
    return TryLock();
}

// Holds a resource for its scope; a null resource makes it do nothing. Lock() and Unlock() never nest:
// a second Lock() through the same guard does not lock again.
class auto_lock {
public:
    auto_lock(FXLockableResource* r, bool lockNow) : resource(r), held(false) {
        if (lockNow) {
            Lock();
        }
    }
    ~auto_lock() { Unlock(); }
    auto_lock(const auto_lock&) = delete;
    auto_lock& operator=(const auto_lock&) = delete;

    void Lock() {
        if (resource != nullptr && !held) {
            resource->Lock();
            held = true;
        }
    }
    void Unlock() {
        if (resource != nullptr && held) {
            resource->Unlock();
            held = false;
        }
    }

private:
    FXLockableResource* resource;
    bool held;
};
