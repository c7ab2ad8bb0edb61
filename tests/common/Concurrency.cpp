#include "tests/common/Concurrency.h"

#include <dirent.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
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

namespace {

// The kernel's flag of a task in its exit (PF_EXITING), set before the thread's joiner is woken.
constexpr unsigned long kTaskExiting = 0x4;

// Whether the thread `tid` of this process has begun its exit; a thread already gone counts as exiting.
bool threadIsExiting(const char* tid) {
    std::ifstream file(std::string("/proc/self/task/") + tid + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos) {
        return true;
    }
    // After the name: state, parent, group, session, terminal, terminal group, then the flags.
    std::istringstream fields(stat.substr(nameEnd + 1));
    std::string field;
    for (int i = 0; i < 7 && fields >> field; ++i) {
    }
    return fields.fail() || (std::stoul(field) & kTaskExiting) != 0;
}

}  // namespace

int runningThreads() {
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.' && !threadIsExiting(entry->d_name)) {
            ++count;
        }
    }
    closedir(dir);
    return count;
}

}  // namespace fcltest
