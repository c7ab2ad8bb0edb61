#pragma once
// Helpers for tests of threads and locks: a bound on code that could deadlock, a stopwatch, and the threads still
// running.
#include <chrono>
#include <functional>

namespace fcltest {

// Runs `body` on a thread of its own and waits at most `limit` for it. A body still running then (a
// deadlock) aborts the binary with `what`: its thread still uses the test's objects, so the test cannot
// simply go on.
void finishesWithin(std::chrono::milliseconds limit, const char* what, const std::function<void()>& body);

// Milliseconds `body` took, on the monotonic clock.
long long elapsedMs(const std::function<void()>& body);

// The threads of this process still running. A thread whose join has returned stays listed in /proc/self/task until
// the kernel has finished its exit; it is marked exiting by then and is not counted, so the answer needs no waiting.
int runningThreads();

}  // namespace fcltest
