#include "platform/files/DestinationGate.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/files/GateRoot.h"
#include "platform/files/LookCache.h"
#include "platform/files/PathWalk.h"
#include "platform/log/LogWriter.h"

namespace wzfiles {
namespace detail {
namespace {

// The flag spares calls the shared-pointer load while no root is set, which is the usual case.
std::atomic<bool> g_rootSet{false};
std::shared_ptr<const GateRoot> g_root;
std::mutex g_setterMutex;

bool isDotComponent(const char* p) {
    return p[0] == '.' && (p[1] == '/' || p[1] == '\0');
}

const char* skipSeparators(const char* p) {
    for (;;) {
        while (*p == '/') {
            ++p;
        }
        if (!isDotComponent(p)) {
            return p;
        }
        ++p;
    }
}

// `root` as cleanPath leaves it.
const char* matchPrefix(const char* abs, const std::string& root) {
    if (root.empty() || abs[0] != '/') {
        return nullptr;
    }
    // Nearly every path starts with the root word for word: the walk below would end at the same place.
    const size_t length = root.size();
    if (length > 1 && std::strncmp(abs, root.c_str(), length) == 0 && (abs[length] == '/' || abs[length] == '\0')) {
        return skipSeparators(abs + length);
    }
    const char* p = abs;
    const char* r = root.c_str();
    for (;;) {
        p = skipSeparators(p);
        while (*r == '/') {
            ++r;
        }
        if (*r == '\0') {
            return p;
        }
        size_t n = std::strcspn(r, "/");
        if (std::strncmp(p, r, n) != 0 || (p[n] != '/' && p[n] != '\0')) {
            return nullptr;
        }
        p += n;
        r += n;
    }
}

bool hasDotDotComponent(const char* p) {
    for (const char* at = std::strstr(p, "/.."); at != nullptr; at = std::strstr(at + 1, "/..")) {
        if (at[3] == '/' || at[3] == '\0') {
            return true;
        }
    }
    return false;
}

// ".." taken as text: it drops the component before it, and stays at "/".
std::string withoutDotDot(const char* abs) {
    std::string out;
    const char* p = abs;
    for (;;) {
        p = skipSeparators(p);
        if (*p == '\0') {
            break;
        }
        size_t n = std::strcspn(p, "/");
        if (n == 2 && p[0] == '.' && p[1] == '.') {
            out.resize(out.rfind('/') == std::string::npos ? 0 : out.rfind('/'));
        } else {
            out += '/';
            out.append(p, n);
        }
        p += n;
    }
    return out.empty() ? "/" : out;
}

}  // namespace

const char* GateRoot::match(const char* abs) const {
    const char* rest = matchPrefix(abs, given);
    return rest != nullptr ? rest : matchPrefix(abs, resolved);
}

bool GateRoot::entersThroughDotDot(const char* abs) const {
    return hasDotDotComponent(abs) && match(withoutDotDot(abs).c_str()) != nullptr;
}

std::shared_ptr<const GateRoot> currentRoot() {
    if (!g_rootSet.load(std::memory_order_acquire)) {
        return nullptr;
    }
    return std::atomic_load(&g_root);
}

std::string cleanPath(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    const char* p = path.c_str();
    const bool absolute = *p == '/';
    for (;;) {
        p = skipSeparators(p);
        if (*p == '\0') {
            break;
        }
        size_t n = std::strcspn(p, "/");
        if (absolute || !out.empty()) {
            out += '/';
        }
        out.append(p, n);
        p += n;
    }
    if (out.empty()) {
        out = absolute ? "/" : ".";
    }
    return out;
}

int workingDirectory(std::string& out) {
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr) {
        return -1;
    }
    out.assign(buffer);
    return 0;
}

}  // namespace detail

int setDestinationRoot(const std::string& path) {
    if (path.empty()) {
        errno = ENOENT;
        return -1;
    }
    std::string absolute = path;
    if (path[0] != '/') {
        if (detail::workingDirectory(absolute) != 0) {
            return -1;
        }
        absolute += '/';
        absolute += path;
    }
    auto root = std::make_shared<detail::GateRoot>();
    root->fd.reset(
        detail::openPath(AT_FDCWD, absolute.c_str(), absolute.size(), detail::kDirFlags, 0, detail::Walk::kOrdinary));
    if (!root->fd.valid()) {
        return -1;
    }
    root->given = detail::cleanPath(absolute);
    // The host may name the root through a link while paths reach the engine through the link's target.
    if (char* real = ::realpath(absolute.c_str(), nullptr)) {
        std::string resolved = detail::cleanPath(real);
        std::free(real);
        if (resolved != root->given) {
            root->resolved = resolved;
        }
    }
    FCL_LOG(2, "Destination root set to [%s]", root->given.c_str());
    std::lock_guard<std::mutex> lock(detail::g_setterMutex);
    std::atomic_store(&detail::g_root, std::shared_ptr<const detail::GateRoot>(std::move(root)));
    detail::g_rootSet.store(true, std::memory_order_release);
    detail::forgetHeldDirectories();
    return 0;
}

void clearDestinationRoot() {
    std::lock_guard<std::mutex> lock(detail::g_setterMutex);
    detail::g_rootSet.store(false, std::memory_order_release);
    std::atomic_store(&detail::g_root, std::shared_ptr<const detail::GateRoot>());
    detail::forgetHeldDirectories();
    FCL_LOG(2, "Destination root cleared");
}

std::string destinationRoot() {
    std::shared_ptr<const detail::GateRoot> root = detail::currentRoot();
    return root ? root->given : std::string();
}

}  // namespace wzfiles
