#include "platform/files/CQiDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/support/FXErrorUtil.h"

namespace {

// Empties the directory open on `fd` (taken over), depth first, by descriptor: a name swapped for a link between
// the listing and the removal is removed as a link. 0 or the first errno.
int removeContents(int fd) {
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        int error = errno;
        ::close(fd);
        return error;
    }
    int first = 0;
    while (true) {
        errno = 0;
        struct dirent* entry = readdir(dir);
        if (entry == nullptr) {
            if (errno != 0 && first == 0) {
                first = errno;
            }
            break;
        }
        const char* name = entry->d_name;
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) {
            continue;
        }
        int error = 0;
        int child = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child >= 0) {
            error = removeContents(child);
            if (error == 0 && unlinkat(dirfd(dir), name, AT_REMOVEDIR) != 0) {
                error = errno;
            }
        } else if (unlinkat(dirfd(dir), name, 0) != 0 && errno != ENOENT) {
            error = errno;
        }
        if (error != 0 && first == 0) {
            first = error;
        }
    }
    closedir(dir);
    return first;
}

}  // namespace

CQiError CQiDirectory::Remove(const char* path, bool recursive, bool) {
    if (path == nullptr || *path == '\0') {
        return FXErrorUtil::ErrorErrNo(FX_HERE, EINVAL, "No directory to remove");
    }
    if (recursive) {
        int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ENOENT) {
                return CQiError::Success();
            }
            return FXErrorUtil::ErrorErrNo(FX_HERE, errno, "Cannot open directory [%s]", path);
        }
        int error = removeContents(fd);
        if (error != 0) {
            return FXErrorUtil::ErrorErrNo(FX_HERE, error, "Cannot empty directory [%s]", path);
        }
    }
    if (rmdir(path) != 0 && errno != ENOENT) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, errno, "Cannot remove directory [%s]", path);
    }
    return CQiError::Success();
}
