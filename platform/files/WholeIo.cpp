#include "platform/files/WholeIo.h"

#include <unistd.h>

#include <cerrno>

namespace wzfiles {
namespace {

template <typename Read>
ssize_t readUntilEnd(char* into, size_t length, Read read) {
    size_t done = 0;
    while (done < length) {
        const ssize_t got = read(into + done, length - done, done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

}  // namespace

size_t writeFully(int fd, const void* data, size_t length) {
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n == 0) {
            errno = EIO;
            break;
        } else if (errno != EINTR) {
            break;
        }
    }
    return done;
}

ssize_t readFully(int fd, void* into, size_t length) {
    return readUntilEnd(static_cast<char*>(into), length,
                        [fd](char* at, size_t want, size_t) { return ::read(fd, at, want); });
}

ssize_t preadFully(int fd, void* into, size_t length, uint64_t offset) {
    return readUntilEnd(static_cast<char*>(into), length, [fd, offset](char* at, size_t want, size_t done) {
        return ::pread(fd, at, want, static_cast<off_t>(offset + done));
    });
}

}  // namespace wzfiles
