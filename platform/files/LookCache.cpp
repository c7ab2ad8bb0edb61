#include "platform/files/LookCache.h"

#include <fcntl.h>

#include <atomic>
#include <string>

#include "platform/files/PathWalk.h"
#include "platform/files/UniqueFd.h"

namespace wzfiles {
namespace detail {
namespace {

// Bumped by every change that may leave a held directory elsewhere than its text says; a root set later may reuse the
// address of an earlier one, so the root is told apart by this count too.
std::atomic<unsigned long> g_generation{0};

struct HeldDirectory {
    const GateRoot* root = nullptr;
    unsigned long generation = 0;
    std::string rest;
    UniqueFd fd;
};

HeldDirectory& held() {
    thread_local HeldDirectory directory;
    return directory;
}

}  // namespace

int heldDirectory(const GateRoot& root, const char* rest, size_t len) {
    HeldDirectory& h = held();
    if (!h.fd.valid()) {
        return -1;
    }
    if (h.root != &root || h.generation != g_generation.load(std::memory_order_acquire)) {
        h.fd.reset();
        return -1;
    }
    return h.rest.compare(0, std::string::npos, rest, len) == 0 ? h.fd.get() : -1;
}

int holdDirectory(const GateRoot& root, const char* rest, size_t len) {
    HeldDirectory& h = held();
    const unsigned long generation = g_generation.load(std::memory_order_acquire);
    // The last name is not followed, so that a look at it describes the name itself, as lstat does.
    const int fd = openPath(root.fd.get(), rest, len, kDirFlags | O_NOFOLLOW, 0, Walk::kBeneath);
    if (fd < 0) {
        h.fd.reset();
        return -1;
    }
    h.fd.reset(fd);
    h.root = &root;
    h.generation = generation;
    h.rest.assign(rest, len);
    return fd;
}

void dropHeldDirectory() {
    held().fd.reset();
}

void forgetHeldDirectories() {
    g_generation.fetch_add(1, std::memory_order_acq_rel);
    dropHeldDirectory();
}

}  // namespace detail
}  // namespace wzfiles
