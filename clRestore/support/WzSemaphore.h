#pragma once
// The engine's counting semaphore over the thread library's handle.
#include <new>

#include "platform/threads/WzSemaphoreH.h"

class WzSemaphore {
public:
    // Throws the text (const char*) below when the handle cannot be allocated.
    explicit WzSemaphore(int count) : handle(new (std::nothrow) WzSemaphoreH(count)) {
        if (handle == nullptr) {
            throw "Not enough memory to initialize WzSemaphore";
        }
    }
    ~WzSemaphore() { delete handle; }
    WzSemaphore(const WzSemaphore&) = delete;
    WzSemaphore& operator=(const WzSemaphore&) = delete;

    // True when a unit was taken within `ms` milliseconds, false on time-out.
    bool wait(unsigned long ms) { return handle->wait(ms); }
    void release(int n) { handle->release(n); }

private:
    WzSemaphoreH* handle;
};
