#include "platform/hsm/CXHSMLowLevel.h"

#include <cerrno>

int CXHSMLowLevel::isStub(const char*) const {
    return 0;
}

int CXHSMLowLevel::isManagedDir(const char*) const {
    return 0;
}

int CXHSMLowLevel::notManaged() {
    setLastError(ENOTSUP, "No file system of this machine is managed by a storage layer");
    errno = ENOTSUP;
    return -1;
}

int CXHSMLowLevel::openFileTrans(const char*, int, mode_t) {
    return notManaged();
}

ssize_t CXHSMLowLevel::writeFileTrans(const void*, size_t, int) {
    return notManaged();
}

off64_t CXHSMLowLevel::seekFileTrans(off64_t, int) {
    return notManaged();
}

int CXHSMLowLevel::closeFileTrans() {
    return notManaged();
}

int CXHSMLowLevel::completeFile(const char*, bool, const std::vector<uint64_t>&) {
    return notManaged();
}

int CXHSMLowLevel::createStub(const char*, const std::vector<char>&) {
    return notManaged();
}

int CXHSMLowLevel::setAMCTime(const char*, time_t, time_t, time_t) {
    return notManaged();
}
