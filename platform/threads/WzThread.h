#pragma once
// The thread library's thread object: one POSIX thread, started, joined or detached by its owner.
#include <pthread.h>

#include <string>

#include "platform/support/FaultCounter.h"

// The thread id the library reports for a POSIX handle: the handle's value, unique among live threads.
// Its low 32 bits equal GetCurrentThreadId() called on that thread.
unsigned long pthread2threadId(pthread_t thread);

class WzThread : public wzfault::FailableAllocation<WzThread> {
public:
    typedef void* (*Entry)(void*);

    WzThread();
    // A thread still neither joined nor detached is detached, so that its resources go when it ends.
    ~WzThread();
    WzThread(const WzThread&) = delete;
    WzThread& operator=(const WzThread&) = delete;

    // Starts entry(argument): 0, or an error number (EBUSY when this object already has a thread to join).
    int createThread(Entry entry, void* argument);
    // Waits for the thread's end; its exit value goes to `result` when not null. 0 or an error number.
    int joinThread(void** result);
    // joinThread bounded by `ms` milliseconds: ETIMEDOUT when the thread still runs (it can be joined later).
    int timedJoin(unsigned long ms, void** result = nullptr);
    int detachThread();
    // A thread cannot be suspended or killed safely on this platform: both log an error, leave the thread
    // running and return ENOTSUP. Callers wait with timedJoin instead.
    int suspendThread();
    int terminateThread();

    // The text of the last failure, or null when nothing failed.
    const char* getLastError() const { return lastError_.empty() ? nullptr : lastError_.c_str(); }
    // pthread2threadId of the thread; 0 before createThread succeeded.
    unsigned long getThreadID() const { return started_ ? pthread2threadId(thread_) : 0; }

    // Test hook: armed, createThread starts nothing and returns the armed error (EAGAIN when armed with 0).
    static wzfault::FaultCounter& creationFaults();

private:
    int fail(const char* operation, int error);

    pthread_t thread_;
    bool started_ = false;   // createThread succeeded at least once
    bool joinable_ = false;  // a thread is neither joined nor detached
    std::string lastError_;
};
