#include "platform/files/FileCalls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/files/InjectedFailures.h"
#include "platform/files/LookCache.h"
#include "platform/files/PathPlace.h"
#include "platform/files/PathWalk.h"

#ifndef SYS_fchmodat2
#define SYS_fchmodat2 452
#endif

using wzfiles::FileCall;
using wzfiles::UniqueFd;
using wzfiles::detail::injectedFailure;
using wzfiles::detail::PathPlace;
using wzfiles::detail::playingOldKernel;

namespace {

// Linux's own open flags; anything else (O_ASYNC, foreign bits) is dropped, as openat2 refuses what it does not know.
constexpr int kKnownOpenFlags = O_ACCMODE | O_CREAT | O_EXCL | O_NOCTTY | O_TRUNC | O_APPEND | O_NONBLOCK | O_DSYNC |
                                O_SYNC | O_DIRECT | O_LARGEFILE | O_DIRECTORY | O_NOFOLLOW | O_NOATIME | O_CLOEXEC |
                                O_PATH | O_TMPFILE
#if defined(__x86_64__) || defined(__i386__)
                                | 0100000  // the kernel's large-file bit, which glibc spells 0 on 64-bit
#endif
    ;

int place(PathPlace& where, FileCall call, const char* path, bool follow) {
    if (injectedFailure(call, path)) {
        return -1;
    }
    return where.object(path, follow);
}

int placeParent(PathPlace& where, FileCall call, const char* path) {
    if (injectedFailure(call, path)) {
        return -1;
    }
    return where.parent(path);
}

// Both names of a link or rename, each in its parent directory.
int placePair(PathPlace& first, PathPlace& second, FileCall call, const char* firstPath, const char* secondPath) {
    if (injectedFailure(call, firstPath, secondPath)) {
        return -1;
    }
    return first.parent(firstPath) != 0 ? -1 : second.parent(secondPath);
}

// /proc/self/fd/N: how a kernel without the *at forms for an O_PATH descriptor still reaches its object.
const char* procPath(int fd, char (&buffer)[32]) {
    std::snprintf(buffer, sizeof buffer, "/proc/self/fd/%d", fd);
    return buffer;
}

// Runs `atForm`, the *at call on the place; when the place is a held object and the kernel lacks the call's
// AT_EMPTY_PATH form, runs `procForm` on its /proc path instead.
template <typename AtForm, typename ProcForm>
int withProcFallback(const PathPlace& where, AtForm atForm, ProcForm procForm) {
    const bool held = where.atFlags() & AT_EMPTY_PATH;
    if (!held || !playingOldKernel()) {
        int r = atForm();
        if (r == 0 || !held || (errno != EINVAL && errno != ENOSYS)) {
            return r;
        }
    }
    char buffer[32];
    return procForm(procPath(where.dirfd(), buffer));
}

int changeMode(const PathPlace& where, mode_t mode, bool noFollow) {
    const int flags = where.atFlags() | (noFollow ? AT_SYMLINK_NOFOLLOW : 0);
    if (!playingOldKernel()) {
        long r = syscall(SYS_fchmodat2, where.dirfd(), where.name(), mode, flags);
        if (r == 0 || errno != ENOSYS) {
            return static_cast<int>(r);
        }
    }
    if (!noFollow && where.atFlags() == 0) {
        return ::fchmodat(where.dirfd(), where.name(), mode, 0);
    }
    // Kernels before fchmodat2: hold the object itself, refuse a link, change it through /proc.
    UniqueFd held;
    int fd = where.dirfd();
    if (where.atFlags() == 0) {
        held.reset(::openat(where.dirfd(), where.name(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!held.valid()) {
            return -1;
        }
        fd = held.get();
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        return -1;
    }
    if (S_ISLNK(st.st_mode)) {
        errno = EOPNOTSUPP;
        return -1;
    }
    char buffer[32];
    return ::chmod(procPath(fd, buffer), mode);
}

int openFlagsOfMode(const char* mode) {
    int flags;
    switch (mode[0]) {
        case 'r':
            flags = O_RDONLY;
            break;
        case 'w':
            flags = O_WRONLY | O_CREAT | O_TRUNC;
            break;
        case 'a':
            flags = O_WRONLY | O_CREAT | O_APPEND;
            break;
        default:
            return -1;
    }
    for (const char* p = mode + 1; *p != '\0'; ++p) {
        if (*p == '+') {
            flags = (flags & ~O_ACCMODE) | O_RDWR;
        } else if (*p == 'x') {
            flags |= O_EXCL;
        } else if (*p == 'e') {
            flags |= O_CLOEXEC;
        }
    }
    return flags;
}

}  // namespace

int open_utf(const char* path, int flags) {
    return open_utf(path, flags, 0600);
}

int open_utf(const char* path, int flags, mode_t mode) {
    if (injectedFailure(FileCall::kOpen, path)) {
        return -1;
    }
    return PathPlace::open(path, flags & kKnownOpenFlags, mode & 07777);
}

int stat_utf(const char* path, struct stat* st) {
    PathPlace where;
    if (place(where, FileCall::kStat, path, true) != 0) {
        return -1;
    }
    return ::fstatat(where.dirfd(), where.name(), st, where.atFlags());
}

namespace {

// The look of lstat_utf, through the directory the thread holds for looks when it is the entry or its parent.
int lookAtEntry(const char* path, struct stat* st) {
    PathPlace where;
    if (where.entry(path) != 0) {
        return -1;
    }
    const int r = ::fstatat(where.dirfd(), where.name(), st, where.atFlags() | AT_SYMLINK_NOFOLLOW);
    if (r == 0 && where.heldItself() && st->st_nlink == 0) {
        // The held directory was removed: the name may stand for something else by now.
        wzfiles::detail::dropHeldDirectory();
        PathPlace again;
        return again.object(path, false) != 0
                   ? -1
                   : ::fstatat(again.dirfd(), again.name(), st, again.atFlags() | AT_SYMLINK_NOFOLLOW);
    }
    return r;
}

}  // namespace

int lstat_utf(const char* path, struct stat* st) {
    if (injectedFailure(FileCall::kLstat, path)) {
        return -1;
    }
    return lookAtEntry(path, st);
}

bool isDirectoryEntry(const char* path) {
    if (injectedFailure(FileCall::kLstat, path)) {
        return false;
    }
    PathPlace where;
    const int found = where.directory(path);
    if (found >= 0) {
        return found == 1;
    }
    struct stat st;
    return lookAtEntry(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int access_utf(const char* path, int mode) {
    PathPlace where;
    if (place(where, FileCall::kAccess, path, true) != 0) {
        return -1;
    }
    return withProcFallback(
        where, [&] { return ::faccessat(where.dirfd(), where.name(), mode, where.atFlags()); },
        [&](const char* proc) { return ::access(proc, mode); });
}

int chmod_utf(const char* path, mode_t mode) {
    PathPlace where;
    if (place(where, FileCall::kChmod, path, true) != 0) {
        return -1;
    }
    return changeMode(where, mode, false);
}

int lchmod_utf(const char* path, mode_t mode) {
    PathPlace where;
    if (place(where, FileCall::kLchmod, path, false) != 0) {
        return -1;
    }
    return changeMode(where, mode, true);
}

int chown_utf(const char* path, uid_t uid, gid_t gid) {
    PathPlace where;
    if (place(where, FileCall::kChown, path, true) != 0) {
        return -1;
    }
    return ::fchownat(where.dirfd(), where.name(), uid, gid, where.atFlags());
}

int lchown_utf(const char* path, uid_t uid, gid_t gid) {
    PathPlace where;
    if (place(where, FileCall::kLchown, path, false) != 0) {
        return -1;
    }
    return ::fchownat(where.dirfd(), where.name(), uid, gid, where.atFlags() | AT_SYMLINK_NOFOLLOW);
}

int utime_utf(const char* path, const struct utimbuf* times) {
    PathPlace where;
    if (place(where, FileCall::kUtime, path, true) != 0) {
        return -1;
    }
    struct timespec stamps[2];
    const struct timespec* given = nullptr;
    if (times != nullptr) {
        stamps[0] = {times->actime, 0};
        stamps[1] = {times->modtime, 0};
        given = stamps;
    }
    return withProcFallback(
        where, [&] { return ::utimensat(where.dirfd(), where.name(), given, where.atFlags()); },
        [&](const char* proc) { return ::utimensat(AT_FDCWD, proc, given, 0); });
}

int link_utf(const char* existing, const char* path) {
    PathPlace from;
    PathPlace to;
    if (placePair(from, to, FileCall::kLink, existing, path) != 0) {
        return -1;
    }
    return ::linkat(from.dirfd(), from.name(), to.dirfd(), to.name(), 0);
}

int symlink_utf(const char* target, const char* path) {
    if (target == nullptr) {
        errno = EFAULT;
        return -1;
    }
    PathPlace where;
    if (placeParent(where, FileCall::kSymlink, path) != 0) {
        return -1;
    }
    return ::symlinkat(target, where.dirfd(), where.name());
}

ssize_t readlink_utf(const char* path, char* buffer, size_t size) {
    PathPlace where;
    if (placeParent(where, FileCall::kReadlink, path) != 0) {
        return -1;
    }
    return ::readlinkat(where.dirfd(), where.name(), buffer, size);
}

int unlink_utf(const char* path) {
    PathPlace where;
    if (placeParent(where, FileCall::kUnlink, path) != 0) {
        return -1;
    }
    return ::unlinkat(where.dirfd(), where.name(), 0);
}

int rename_utf(const char* from, const char* to) {
    PathPlace source;
    PathPlace target;
    if (placePair(source, target, FileCall::kRename, from, to) != 0) {
        return -1;
    }
    const int r = ::renameat(source.dirfd(), source.name(), target.dirfd(), target.name());
    if (r == 0) {
        // A directory renamed by the job may be one a thread holds for its looks.
        wzfiles::detail::forgetHeldDirectories();
    }
    return r;
}

int mkdir_utf(const char* path, mode_t mode) {
    PathPlace where;
    if (placeParent(where, FileCall::kMkdir, path) != 0) {
        return -1;
    }
    return ::mkdirat(where.dirfd(), where.name(), mode);
}

int mknod_utf(const char* path, mode_t mode, dev_t device) {
    PathPlace where;
    if (placeParent(where, FileCall::kMknod, path) != 0) {
        return -1;
    }
    return ::mknodat(where.dirfd(), where.name(), mode, device);
}

FILE* fopen_utf(const char* path, const char* mode) {
    int flags = mode != nullptr ? openFlagsOfMode(mode) : -1;
    if (flags < 0) {
        errno = EINVAL;
        return nullptr;
    }
    UniqueFd fd(open_utf(path, flags, 0666));
    if (!fd.valid()) {
        return nullptr;
    }
    FILE* stream = ::fdopen(fd.get(), mode);
    if (stream != nullptr) {
        fd.release();
    }
    return stream;
}
