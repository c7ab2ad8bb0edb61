#pragma once
// The engine's re-entrant monitor over the thread library's handle, and its scoped lock.
#include <new>

#include "platform/threads/WzMonitorH.h"

class WzMonitor {
public:
    // Throws the text (const char*) below when the handle cannot be allocated.
    WzMonitor() : handle(new (std::nothrow) WzMonitorH()) {
        if (handle == nullptr) {
            throw "Not enough memory to initialize WzMonitor";
        }
    }
    virtual ~WzMonitor() { delete handle; }
    WzMonitor(const WzMonitor&) = delete;
    WzMonitor& operator=(const WzMonitor&) = delete;

    // Entering and waiting do not change what the monitor guards, so they are allowed on a const monitor.
    void enter() const { handle->enter(); }
    void leave() const { handle->leave(); }
    // Gives up the monitor (every level this thread holds), waits at most `timeout` milliseconds for a
    // broadcast, holds it again. True when a broadcast came, false on time-out.
    bool wait(unsigned long timeout) const { return handle->wait(timeout); }
    void broadcast() const { handle->broadcast(); }

private:
    WzMonitorH* handle;
};

// Holds a monitor for its scope; a null monitor means no locking.
class WzMonitorLock {
public:
    explicit WzMonitorLock(const WzMonitor* m) : monitor(m) {
        if (monitor != nullptr) {
            monitor->enter();
        }
    }
    ~WzMonitorLock() {
        if (monitor != nullptr) {
            monitor->leave();
        }
    }
    WzMonitorLock(const WzMonitorLock&) = delete;
    WzMonitorLock& operator=(const WzMonitorLock&) = delete;

private:
    const WzMonitor* monitor;
};
