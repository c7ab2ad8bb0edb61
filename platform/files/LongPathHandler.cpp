#include "platform/files/LongPathHandler.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/files/FileCalls.h"
#include "platform/files/GateRoot.h"
#include "platform/files/InjectedFailures.h"
#include "platform/files/PathPlace.h"
#include "platform/files/PathWalk.h"
#include "platform/files/ThreadDirectory.h"

namespace wzfiles {
namespace detail {

ThreadDirectory& threadDirectory() {
    thread_local ThreadDirectory directory;
    return directory;
}

}  // namespace detail
}  // namespace wzfiles

using wzfiles::detail::threadDirectory;
using wzfiles::detail::ThreadDirectory;

WzLongPathHandler* WzLongPathHandler::GetHandler() {
    static WzLongPathHandler handler;
    return &handler;
}

int WzLongPathHandler::lstat_long(const char* path, struct stat* st) {
    return lstat_utf(path, st);
}

int WzLongPathHandler::chmod_long(const char* path, mode_t mode) {
    return chmod_utf(path, mode);
}

int WzLongPathHandler::chown_long(const char* path, uid_t uid, gid_t gid) {
    return chown_utf(path, uid, gid);
}

int WzLongPathHandler::lchown_long(const char* path, uid_t uid, gid_t gid) {
    return lchown_utf(path, uid, gid);
}

int WzLongPathHandler::utime_long(const char* path, const struct utimbuf* times) {
    return utime_utf(path, times);
}

int WzLongPathHandler::open_long(const char* path, int flags) {
    return open_utf(path, flags);
}

int WzLongPathHandler::open_long(const char* path, int flags, mode_t mode) {
    return open_utf(path, flags, mode);
}

int WzLongPathHandler::chdir_long(const char* path) {
    if (wzfiles::detail::injectedFailure(wzfiles::FileCall::kChdir, path)) {
        return -1;
    }
    wzfiles::UniqueFd fd(wzfiles::detail::PathPlace::open(path, wzfiles::detail::kDirFlags, 0));
    if (!fd.valid()) {
        return -1;
    }
    ThreadDirectory& current = threadDirectory();
    std::string text;
    if (path[0] != '/') {
        if (current.fd.valid()) {
            text = current.path;
        } else if (wzfiles::detail::workingDirectory(text) != 0) {
            return -1;
        }
        text += '/';
    }
    text += path;
    current.fd = std::move(fd);
    current.path = wzfiles::detail::cleanPath(text);
    return 0;
}

int WzLongPathHandler::currentDirectory() {
    const ThreadDirectory& current = threadDirectory();
    return current.fd.valid() ? current.fd.get() : AT_FDCWD;
}

std::string WzLongPathHandler::currentDirectoryPath() {
    return threadDirectory().path;
}

void WzLongPathHandler::resetCurrentDirectory() {
    ThreadDirectory& current = threadDirectory();
    current.fd.reset();
    current.path.clear();
}
