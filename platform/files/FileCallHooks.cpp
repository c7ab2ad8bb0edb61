#include "platform/files/FileCallHooks.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/files/InjectedFailures.h"

namespace wzfiles {
namespace {

struct Injection {
    FileCall call;
    int err;
    int left;
    std::string pathPart;
};

// The count spares every call the lock while nothing is armed.
std::atomic<size_t> g_armed{0};
std::mutex g_mutex;
std::vector<Injection> g_injections;

bool names(const char* path, const std::string& part) {
    return path != nullptr && std::strstr(path, part.c_str());
}

}  // namespace

void failNextCalls(FileCall call, int err, int count, const std::string& pathPart) {
    if (count <= 0) {
        return;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    g_injections.push_back(Injection{call, err, count, pathPart});
    g_armed.store(g_injections.size());
}

void clearInjectedFailures() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_injections.clear();
    g_armed.store(0);
}

namespace detail {

bool injectedFailure(FileCall call, const char* path, const char* otherPath) {
    if (g_armed.load(std::memory_order_relaxed) == 0) {
        return false;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto it = g_injections.begin(); it != g_injections.end(); ++it) {
        if (it->call != call ||
            !(it->pathPart.empty() || names(path, it->pathPart) || names(otherPath, it->pathPart))) {
            continue;
        }
        const int err = it->err;
        if (--it->left == 0) {
            g_injections.erase(it);
            g_armed.store(g_injections.size());
        }
        errno = err;
        return true;
    }
    return false;
}

}  // namespace detail
}  // namespace wzfiles
