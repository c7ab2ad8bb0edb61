#include "platform/files/CXFile.h"

#include <unistd.h>

#include <cerrno>

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
    unsigned long done = 0;
    while (done < length) {
        const ssize_t n = ::write(_out, data + done, length - done);
        if (n > 0) {
            done += static_cast<unsigned long>(n);
        } else if (n == 0) {
            _lastError = EIO;
            return done;
        } else if (errno != EINTR) {
            _lastError = errno;
            return done;
        }
    }
    _lastError = 0;
    return done;
}
