#include "tests/common/Concurrency.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

namespace fcltest {

void finishesWithin(std::chrono::milliseconds limit, const char* what, const std::function<void()>& body) {
    struct State {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
    };
    auto state = std::make_shared<State>();
    std::thread worker([state, &body] {
        body();
        std::lock_guard<std::mutex> lock(state->mutex);
        state->finished = true;
        state->done.notify_all();
    });
    std::unique_lock<std::mutex> lock(state->mutex);
    if (!state->done.wait_for(lock, limit, [&] { return state->finished; })) {
        std::fprintf(stderr, "still running after %lld ms (deadlock?): %s\n", static_cast<long long>(limit.count()),
                     what);
        std::abort();
    }
    lock.unlock();
    worker.join();
}

long long elapsedMs(const std::function<void()>& body) {
    auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace fcltest
