#pragma once
// Reads and writes that go on after short counts and interrupted calls, so that no caller writes that loop again.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace wzfiles {

// Writes all `length` bytes: the count written, `length` or less when a write failed (errno says why, EIO when the
// file took nothing).
size_t writeFully(int fd, const void* data, size_t length);

// Reads until `length` bytes came or the file ended: the count read, or -1 with errno.
ssize_t readFully(int fd, void* into, size_t length);

// The same at an offset, leaving the file position alone.
ssize_t preadFully(int fd, void* into, size_t length, uint64_t offset);

}  // namespace wzfiles
