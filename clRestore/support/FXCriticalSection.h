#pragma once
// A recursive lock over the inter-process recursive mutex. It keeps no count of its own for the owner: every
// unlock clears the owner, even when an outer level is still held.
#include <boost/interprocess/exceptions.hpp>
#include <boost/interprocess/sync/interprocess_recursive_mutex.hpp>

#include "clRestore/support/FXLockableResource.h"
#include "clRestore/support/LockHolder.h"
#include "platform/log/LogWriter.h"

class FXCriticalSection : public FXLockableResource {
public:
    FXCriticalSection() : levels(0) {}
    // Destroying a held mutex is refused by the system (and asserted by the mutex): give back the levels the
    // destroying thread holds first.
    ~FXCriticalSection() override {
        while (heldByCaller() && levels > 0) {
            Unlock();
        }
    }

    bool TryLock() override {
        bool taken = false;
        try {
            taken = mutex.try_lock();
        } catch (const boost::interprocess::interprocess_exception& e) {
            FCL_ERROR("FXCriticalSection::TryLock failed: %s", e.what());
        }
        if (taken) {
            entered();
        }
        return taken;
    }
    bool TryLock(CTimeInterval interval) override { return FXLockableResource::TryLock(interval); }
    // A failure leaves the section unheld; callers are not told, the log is.
    void Lock() override {
        try {
            mutex.lock();
        } catch (const boost::interprocess::interprocess_exception& e) {
            FCL_ERROR("FXCriticalSection::Lock failed: %s", e.what());
            return;
        }
        entered();
    }
    // An unlock by a thread that does not hold the section would abort in the mutex and clear the holder's
    // owner: it is logged and ignored.
    void Unlock() override {
        if (!heldByCaller() || levels <= 0) {
            FCL_ERROR("FXCriticalSection::Unlock by a thread that does not hold it; ignored");
            return;
        }
        ClearLockOwner();
        if (--levels == 0) {
            holder.clear();
        }
        mutex.unlock();
    }

private:
    void entered() {
        ++levels;
        holder.set();
        SetLockOwner();
    }
    bool heldByCaller() const { return holder.isCaller(); }

    boost::interprocess::interprocess_recursive_mutex mutex;
    LockHolder holder;
    int levels;  // changed only by the holder
};
