#pragma once
// The engine's critical section over the thread library's handle, and its scoped lock.
#include <new>

#include "platform/threads/WzCriticalSectionH.h"

class WzCriticalSection {
public:
    // Throws the text (const char*) below when the handle cannot be allocated.
    WzCriticalSection() : handle(new (std::nothrow) WzCriticalSectionH()) {
        if (handle == nullptr) {
            throw "Not enough memory to initialize WzCriticalSection";
        }
    }
    ~WzCriticalSection() {
        delete handle;
        handle = nullptr;
    }
    // One owner of the handle: copying would delete it twice.
    WzCriticalSection(const WzCriticalSection&) = delete;
    WzCriticalSection& operator=(const WzCriticalSection&) = delete;

    bool enter(bool wait) { return handle->enter(wait); }
    void leave() { handle->leave(); }

private:
    WzCriticalSectionH* handle;
};

// Holds a section for its scope; a null section makes it do nothing.
class WzCriticalSectionLock {
public:
    explicit WzCriticalSectionLock(WzCriticalSection* cs) : section(cs) {
        if (section != nullptr) {
            section->enter(true);
        }
    }
    ~WzCriticalSectionLock() {
        if (section != nullptr) {
            section->leave();
        }
    }
    WzCriticalSectionLock(const WzCriticalSectionLock&) = delete;
    WzCriticalSectionLock& operator=(const WzCriticalSectionLock&) = delete;

    // Leaves the section held so far, then holds `cs` instead (either may be null).
    void resetCriticalSection(WzCriticalSection* cs) {
        if (section != nullptr) {
            section->leave();
        }
        section = cs;
        if (section != nullptr) {
            section->enter(true);
        }
    }

private:
    WzCriticalSection* section;
};
