#include "platform/hsm/CXHSMLowLevel.h"

#include <cerrno>

namespace {

const char* const kNoManagedFileSystem = "no managed file system on this machine";

}  // namespace

int CXHSMLowLevel::isStub(const char*) const {
    return 0;
}

int CXHSMLowLevel::isDirWatched(const char*) {
    return 0;
}

int CXHSMLowLevel::startWatching(const char*) {
    setLastError(ENOSYS, kNoManagedFileSystem);
    return -1;
}

long long CXHSMLowLevel::seekFileTrans(long long, int) {
    setLastError(ENOSYS, kNoManagedFileSystem);
    return -1;
}

long long CXHSMLowLevel::writeFileTrans(const void*, size_t) {
    setLastError(ENOSYS, kNoManagedFileSystem);
    return -1;
}

int CXHSMLowLevel::setAMCTime(const char*, time_t, time_t, time_t) {
    setLastError(ENOSYS, kNoManagedFileSystem);
    return -1;
}
