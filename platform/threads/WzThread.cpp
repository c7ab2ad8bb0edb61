#include "platform/threads/WzThread.h"

#include <cerrno>

#include "platform/log/LogWriter.h"
#include "platform/threads/Deadline.h"
#include "platform/threads/ErrorText.h"

unsigned long pthread2threadId(pthread_t thread) {
    return static_cast<unsigned long>(thread);
}

WzThread::WzThread() : thread_() {}

WzThread::~WzThread() {
    if (joinable_) {
        pthread_detach(thread_);
    }
}

wzfault::FaultCounter& WzThread::creationFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

int WzThread::fail(const char* operation, int error) {
    lastError_ = wzthreads::errorText(operation, error);
    return error;
}

int WzThread::createThread(Entry entry, void* argument) {
    if (joinable_) {
        return fail("createThread", EBUSY);
    }
    int error = 0;
    if (creationFaults().take(&error)) {
        return fail("createThread", error != 0 ? error : EAGAIN);
    }
    pthread_t thread;
    error = pthread_create(&thread, nullptr, entry, argument);
    if (error != 0) {
        return fail("createThread", error);
    }
    thread_ = thread;
    started_ = true;
    joinable_ = true;
    return 0;
}

int WzThread::joinThread(void** result) {
    if (!joinable_) {
        return fail("joinThread", ESRCH);
    }
    int error = pthread_join(thread_, result);
    if (error != 0) {
        return fail("joinThread", error);
    }
    joinable_ = false;
    return 0;
}

int WzThread::timedJoin(unsigned long ms, void** result) {
    if (!joinable_) {
        return fail("timedJoin", ESRCH);
    }
    wzthreads::Deadline deadline(ms);
    const timespec at = deadline.asTimespec();
    int error = pthread_clockjoin_np(thread_, result, CLOCK_MONOTONIC, &at);
    if (error == ETIMEDOUT) {
        return ETIMEDOUT;  // not a failure of the library: the thread simply still runs
    }
    if (error != 0) {
        return fail("timedJoin", error);
    }
    joinable_ = false;
    return 0;
}

int WzThread::detachThread() {
    if (!joinable_) {
        return fail("detachThread", ESRCH);
    }
    int error = pthread_detach(thread_);
    if (error != 0) {
        return fail("detachThread", error);
    }
    joinable_ = false;
    return 0;
}

int WzThread::suspendThread() {
    FCL_ERROR("WzThread::suspendThread: thread %lu cannot be suspended on this platform; it keeps running",
              getThreadID());
    return fail("suspendThread", ENOTSUP);
}

int WzThread::terminateThread() {
    FCL_ERROR("WzThread::terminateThread: thread %lu cannot be terminated safely on this platform; it keeps running",
              getThreadID());
    return fail("terminateThread", ENOTSUP);
}
