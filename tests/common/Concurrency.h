#pragma once
// Helpers for tests of threads and locks: a bound on code that could deadlock, and a stopwatch.
#include <chrono>
#include <functional>

namespace fcltest {

// Runs `body` on a thread of its own and waits at most `limit` for it. A body still running then (a
// deadlock) aborts the binary with `what`: its thread still uses the test's objects, so the test cannot
// simply go on.
void finishesWithin(std::chrono::milliseconds limit, const char* what, const std::function<void()>& body);

// Milliseconds `body` took, on the monotonic clock.
long long elapsedMs(const std::function<void()>& body);

}  // namespace fcltest
