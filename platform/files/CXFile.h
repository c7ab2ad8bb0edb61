#pragma once
// A file writer over descriptors the caller opened and keeps: it never opens or closes them.
#include <cstddef>

enum sfOpenMode_t { SF_OPEN_READ = 0, SF_OPEN_WRITE = 1 };

class CXFile {
public:
    // `in` is read from, `out` written to; -1 for none.
    void setHandles(int in, int out, sfOpenMode_t mode);
    // Writes all of `data`, going on after short writes and interrupted calls. The bytes written: `length`, or less
    // when a write failed (getLastError then tells why).
    unsigned long write(const char* data, unsigned long length);
    // The errno of the last failed write; 0 after a whole one.
    int getLastError() const { return _lastError; }

private:
    int _in = -1;
    int _out = -1;
    sfOpenMode_t _mode = SF_OPEN_READ;
    int _lastError = 0;
};
