// The static file utilities are not built yet. Each says so once and fails with ENOSYS: nothing is created, and no
// caller may take an item as restored. The access test answers as for a destination the user may write.
#include <cerrno>

#include "clRestore/options/PendingLog.h"
#include "clRestore/support/StaticUtils.h"

int StaticUtils::openRestoreFile(const char* /*path*/, int* fd) {
    FCL_NOT_BUILT_YET();
    if (fd != nullptr) {
        *fd = -1;
    }
    errno = ENOSYS;
    return 0;
}

int StaticUtils::createDirsIteratively(char* /*path*/) {
    FCL_NOT_BUILT_YET();
    errno = ENOSYS;
    return 0;
}

int StaticUtils::openImageRestoreFile(char* /*path*/, int* fd, bool /*sync*/) {
    FCL_NOT_BUILT_YET();
    if (fd != nullptr) {
        *fd = -1;
    }
    errno = ENOSYS;
    return 0;
}

bool StaticUtils::isAccessDenied(char* /*path*/) {
    FCL_NOT_BUILT_YET();
    return false;
}
