#include "platform/files/PathWalk.h"

#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/files/FileCallHooks.h"
#include "platform/files/LookCache.h"
#include "platform/files/UniqueFd.h"
#include "platform/log/LogWriter.h"

namespace wzfiles {
namespace detail {
namespace {

std::atomic<bool> g_openat2DisabledByHook{false};
std::atomic<bool> g_kernelLacksOpenat2{false};

// A ".." beneath the root may be refused with EAGAIN when a rename races it; the kernel asks for a retry.
constexpr int kEagainRetries = 16;

int openat2Beneath(int dirfd, const char* name, int flags, mode_t mode) {
    if (g_openat2DisabledByHook.load(std::memory_order_relaxed)) {
        errno = ENOSYS;
        return -1;
    }
    struct open_how how;
    std::memset(&how, 0, sizeof how);
    how.flags = static_cast<uint32_t>(flags);
    // openat2 refuses a mode without a create flag and mode bits beyond 07777.
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {
        how.mode = mode & 07777;
    }
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    for (int attempt = 0;; ++attempt) {
        long fd = syscall(SYS_openat2, dirfd, name, &how, sizeof how);
        if (fd >= 0 || errno != EAGAIN || attempt == kEagainRetries) {
            return static_cast<int>(fd);
        }
    }
}

bool useComponentWalk() {
    return g_openat2DisabledByHook.load(std::memory_order_relaxed) ||
           g_kernelLacksOpenat2.load(std::memory_order_relaxed);
}

void noteMissingOpenat2() {
    if (g_openat2DisabledByHook.load(std::memory_order_relaxed)) {
        return;
    }
    if (!g_kernelLacksOpenat2.exchange(true)) {
        FCL_LOG(1, "openat2 is not available; destination paths are walked one component at a time, refusing links");
    }
}

bool isLink(int dirfd, const char* name) {
    struct stat st;
    return ::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// The length of the next piece of s[0, len) that a path call takes: all of it when short, else up to the last '/'
// before PATH_MAX; 0 when there is no such '/'.
size_t pieceLength(const char* s, size_t len) {
    if (len < PATH_MAX) {
        return len;
    }
    for (size_t i = PATH_MAX - 1; i > 0; --i) {
        if (s[i] == '/') {
            return i;
        }
    }
    return 0;
}

// Beneath `dirfd` without openat2. No link is followed, so ".." is taken lexically: it is the physical parent.
int openWithoutLinks(int dirfd, const char* s, size_t len, int flags, mode_t mode) {
    std::vector<std::pair<const char*, size_t>> parts;
    for (size_t i = 0; i < len;) {
        size_t j = i;
        while (j < len && s[j] != '/') {
            ++j;
        }
        size_t n = j - i;
        if (n == 2 && s[i] == '.' && s[i + 1] == '.') {
            if (parts.empty()) {
                errno = EXDEV;
                return -1;
            }
            parts.pop_back();
        } else if (n > NAME_MAX) {
            errno = ENAMETOOLONG;
            return -1;
        } else if (n > 0 && !(n == 1 && s[i] == '.')) {
            parts.emplace_back(s + i, n);
        }
        i = j + 1;
    }
    const bool mustBeDirectory = len > 0 && s[len - 1] == '/';
    if (mustBeDirectory && (flags & O_CREAT)) {
        errno = EISDIR;
        return -1;
    }

    char name[NAME_MAX + 1];
    auto nameOf = [&name](const std::pair<const char*, size_t>& part) {
        std::memcpy(name, part.first, part.second);
        name[part.second] = '\0';
        return name;
    };
    UniqueFd held;
    int current = dirfd;
    for (size_t k = 0; k + 1 < parts.size(); ++k) {
        int fd = ::openat(current, nameOf(parts[k]), kDirFlags | O_NOFOLLOW);
        if (fd < 0) {
            if (errno == ENOTDIR && isLink(current, name)) {
                errno = ELOOP;
            }
            return -1;
        }
        held.reset(fd);
        current = fd;
    }
    const char* last = parts.empty() ? "." : nameOf(parts.back());
    int fd = ::openat(current, last, flags | O_NOFOLLOW | (mustBeDirectory ? O_DIRECTORY : 0), mode);
    if (fd < 0) {
        if (errno == ENOTDIR && isLink(current, last)) {
            errno = ELOOP;
        }
        return -1;
    }
    // O_PATH with O_NOFOLLOW opens a link itself; a caller that asked to follow it is refused instead.
    if ((flags & O_PATH) && !(flags & O_NOFOLLOW)) {
        struct stat st;
        if (::fstat(fd, &st) != 0 || S_ISLNK(st.st_mode)) {
            UniqueFd drop(fd);
            errno = ELOOP;
            return -1;
        }
    }
    return fd;
}

}  // namespace

int openPath(int dirfd, const char* s, size_t len, int flags, mode_t mode, Walk walk) {
    const bool beneath = walk == Walk::kBeneath;
    if (beneath && useComponentWalk()) {
        return openWithoutLinks(dirfd, s, len, flags, mode);
    }
    const char* const start = s;
    const size_t startLen = len;
    char piece[PATH_MAX];
    UniqueFd held;
    int current = dirfd;
    for (;;) {
        if (len == 0) {
            s = ".";
            len = 1;
        }
        size_t take = pieceLength(s, len);
        if (take == 0) {
            errno = ENAMETOOLONG;
            return -1;
        }
        const bool last = take == len;
        const char* text = s;
        if (!last || s[len] != '\0') {
            std::memcpy(piece, s, take);
            piece[take] = '\0';
            text = piece;
        }
        const int pieceFlags = last ? flags : kDirFlags;
        int fd = beneath ? openat2Beneath(current, text, pieceFlags, mode) : ::openat(current, text, pieceFlags, mode);
        if (fd < 0) {
            if (beneath && errno == ENOSYS && current == dirfd) {
                noteMissingOpenat2();
                return openWithoutLinks(dirfd, start, startLen, flags, mode);
            }
            return -1;
        }
        if (last) {
            return fd;
        }
        held.reset(fd);
        current = fd;
        s += take;
        len -= take;
        while (len > 0 && *s == '/') {
            ++s;
            --len;
        }
    }
}

bool playingOldKernel() {
    return g_openat2DisabledByHook.load(std::memory_order_relaxed);
}

const char* splitLast(const char* s, size_t len, size_t* parentLen) {
    size_t end = len;
    while (end > 1 && s[end - 1] == '/') {
        --end;
    }
    size_t slash = end;
    while (slash > 0 && s[slash - 1] != '/') {
        --slash;
    }
    if (slash == 0) {
        *parentLen = 0;
        return s;
    }
    const char* name = s + slash;
    size_t parent = slash - 1;
    while (parent > 0 && s[parent - 1] == '/') {
        --parent;
    }
    *parentLen = parent == 0 ? 1 : parent;
    return name;
}

}  // namespace detail

void setOpenat2Disabled(bool disabled) {
    detail::g_openat2DisabledByHook.store(disabled);
    // A directory held while links were followed beneath the root would answer for a walk that refuses them.
    detail::forgetHeldDirectories();
}

}  // namespace wzfiles
