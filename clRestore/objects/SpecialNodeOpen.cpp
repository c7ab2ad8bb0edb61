#include "clRestore/objects/SpecialNodeOpen.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files/FileCalls.h"

bool openDeviceNode(const char* path, int& fd) {
    // O_NONBLOCK: a FIFO swapped in for the node must not hold the job until a reader comes.
    const int opened = open_utf(path, O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC | O_LARGEFILE | O_NONBLOCK);
    if (opened < 0) {
        return false;
    }
    struct stat st;
    if (fstat(opened, &st) != 0 || !(S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))) {
        close(opened);
        errno = ENODEV;
        return false;
    }
    const int flags = fcntl(opened, F_GETFL);
    if (flags < 0 || fcntl(opened, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int err = errno;
        close(opened);
        errno = err;
        return false;
    }
    fd = opened;
    return true;
}
