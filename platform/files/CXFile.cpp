#include "platform/files/CXFile.h"

#include <unistd.h>

#include <cerrno>

#include "platform/files/WholeIo.h"

void CXFile::setHandles(int in, int out, sfOpenMode_t mode) {
    _in = in;
    _out = out;
    _mode = mode;
    _lastError = 0;
}

unsigned long CXFile::write(const char* data, unsigned long length) {
    if (_out < 0 || _mode != SF_OPEN_WRITE) {
        _lastError = EBADF;
        return 0;
    }
    const unsigned long done = wzfiles::writeFully(_out, data, length);
    _lastError = done == length ? 0 : errno;
    return done;
}
