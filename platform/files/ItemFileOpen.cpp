#include "platform/files/ItemFileOpen.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files/FileCalls.h"

namespace wzfiles {
namespace {

// The status flags that F_SETFL sets and that an open keeps (O_ASYNC is dropped at open, so it stays off).
constexpr int kStatusFlags = O_APPEND | O_DIRECT | O_NOATIME;

bool ownsItsFile(int fd, const ItemCheck* check) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        return false;
    }
    return check == nullptr ||
           (check->existed && check->nlink == 1 && check->dev == st.st_dev && check->ino == st.st_ino);
}

int replaceWithNewFile(const char* path, int flags, mode_t mode) {
    if (unlink_utf(path) != 0) {
        return -1;
    }
    return open_utf(path, flags | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
}

// A FIFO, socket or device stands at the name: opening it for writing could hand the item's data to a reader or a
// driver, or wait for ever.
bool isNodeNeverOpened(const char* path) {
    struct stat st;
    if (lstat_utf(path, &st) != 0) {
        return false;
    }
    return S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode);
}

// O_NONBLOCK keeps a FIFO put at the name after the look from being waited on: without a reader it fails with ENXIO.
// It is cleared again in one call, from the flags asked for, so writes block as usual.
int openQuietly(const char* path, int flags, mode_t mode) {
    const int fd = open_utf(path, flags | O_NOFOLLOW | O_NONBLOCK, mode);
    if (fd >= 0 && (flags & O_NONBLOCK) == 0 && fcntl(fd, F_SETFL, flags & kStatusFlags) != 0) {
        const int err = errno;
        close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

}  // namespace

int openItemFile(const char* path, int flags, mode_t mode, const ItemCheck* check) {
    const bool truncate = (flags & O_TRUNC) != 0;
    flags &= ~O_TRUNC;
    if (check != nullptr && !check->existed) {
        // Nothing stood there at the check: the file is made now, and anything that appeared since is replaced.
        const int made = open_utf(path, flags | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
        if (made >= 0 || errno != EEXIST) {
            return made;
        }
        if (!truncate || !check->looked) {
            return -1;
        }
        return replaceWithNewFile(path, flags, mode);
    }
    if (isNodeNeverOpened(path)) {
        if (!truncate) {
            errno = EEXIST;
            return -1;
        }
        return replaceWithNewFile(path, flags, mode);
    }
    int fd = openQuietly(path, flags, mode);
    if (fd < 0 && errno == ENXIO && truncate) {
        fd = replaceWithNewFile(path, flags, mode);
    } else if (fd >= 0 && !ownsItsFile(fd, check)) {
        close(fd);
        if (!truncate) {
            errno = EEXIST;
            return -1;
        }
        fd = replaceWithNewFile(path, flags, mode);
    }
    if (fd >= 0 && truncate && ftruncate(fd, 0) != 0) {
        const int err = errno;
        close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

}  // namespace wzfiles
