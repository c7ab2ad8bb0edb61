#include "platform/files/CQiDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/files/FileCalls.h"
#include "platform/files/LookCache.h"
#include "platform/files/UniqueFd.h"
#include "platform/support/FXErrorUtil.h"

namespace {

const int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// One directory being emptied: its stream, and the name it has in the directory above.
struct Level {
    DIR* stream;
    std::string name;
};

// Empties the directory open at `top` (which it takes over). Iterative, so a deep tree costs one descriptor per
// level and no stack. 0, or the errno of the first failure.
int emptyDirectory(int top) {
    std::vector<Level> levels;
    DIR* stream = fdopendir(top);
    if (stream == nullptr) {
        int err = errno;
        close(top);
        return err;
    }
    levels.push_back(Level{stream, std::string()});
    int failure = 0;
    while (!levels.empty()) {
        Level& level = levels.back();
        const int fd = dirfd(level.stream);
        errno = 0;
        struct dirent* entry = readdir(level.stream);
        if (entry == nullptr) {
            if (errno != 0 && failure == 0) {
                failure = errno;
            }
            const std::string name = level.name;
            closedir(level.stream);
            levels.pop_back();
            if (!levels.empty() && unlinkat(dirfd(levels.back().stream), name.c_str(), AT_REMOVEDIR) != 0 &&
                failure == 0) {
                failure = errno;
            }
            continue;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            continue;
        }
        if (unlinkat(fd, name, 0) == 0) {
            continue;
        }
        if (errno != EISDIR) {
            if (failure == 0) {
                failure = errno;
            }
            continue;
        }
        const int child = openat(fd, name, kDirectoryFlags);
        DIR* childStream = child >= 0 ? fdopendir(child) : nullptr;
        if (childStream == nullptr) {
            if (failure == 0) {
                failure = errno;
            }
            if (child >= 0) {
                close(child);
            }
            continue;
        }
        levels.push_back(Level{childStream, name});
    }
    return failure;
}

}  // namespace

CQiError CQiDirectory::Remove(const char* path, bool recursive, bool contentsOnly) {
    std::string text = path != nullptr ? path : "";
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    const size_t slash = text.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : text.substr(0, slash));
    const std::string name = slash == std::string::npos ? text : text.substr(slash + 1);
    // "x/.." names another directory than the entry x: never remove what the path does not name by its last part.
    if (name.empty() || name == "." || name == "..") {
        return FXErrorUtil::ErrorErrNo(FX_HERE, EINVAL, "Refusing to remove [%s]", text.c_str());
    }
    if (recursive) {
        const int top = open_utf(text.c_str(), kDirectoryFlags);
        if (top < 0 && errno == ENOENT) {
            return CQiError::Success();  // nothing there: the entry is gone
        }
        if (top < 0) {
            return FXErrorUtil::ErrorErrNo(FX_HERE, errno, "Cannot open directory [%s]", text.c_str());
        }
        const int err = emptyDirectory(top);
        wzfiles::detail::forgetHeldDirectories();
        if (err != 0) {
            return FXErrorUtil::ErrorErrNo(FX_HERE, err, "Cannot empty directory [%s]", text.c_str());
        }
    }
    if (contentsOnly) {
        return CQiError::Success();
    }
    wzfiles::UniqueFd parentFd(open_utf(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parentFd.valid()) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, errno, "Cannot open directory [%s]", parent.c_str());
    }
    const int removed = unlinkat(parentFd.get(), name.c_str(), AT_REMOVEDIR);
    // A removed directory (or one beneath it, removed on the way) may be held for looks.
    wzfiles::detail::forgetHeldDirectories();
    if (removed != 0 && errno != ENOENT) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, errno, "Cannot remove directory [%s]", text.c_str());
    }
    return CQiError::Success();
}
