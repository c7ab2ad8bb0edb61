#include "platform/archive/ArchiveFileReader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/files/WholeIo.h"

namespace fclarchive {

namespace {

ssize_t readAt(int fd, unsigned char* into, size_t length, uint64_t offset) {
    return wzfiles::preadFully(fd, into, length, offset);
}

}  // namespace

ArchiveFileReader::ArchiveFileReader(size_t readAhead) : ahead_(new unsigned char[readAhead]), capacity_(readAhead) {}

void ArchiveFileReader::attach(int fd, uint64_t size) {
    fd_ = fd;
    size_ = size;
    position_ = 0;
    aheadStart_ = 0;
    aheadLength_ = 0;
}

void ArchiveFileReader::seek(uint64_t position) {
    position_ = position;
}

size_t ArchiveFileReader::available() const {
    if (position_ < aheadStart_ || position_ >= aheadStart_ + aheadLength_) {
        return 0;
    }
    return static_cast<size_t>(aheadStart_ + aheadLength_ - position_);
}

int ArchiveFileReader::fill(size_t wanted) {
    size_t have = available();
    uint64_t left = position_ < size_ ? size_ - position_ : 0;
    wanted = static_cast<size_t>(std::min<uint64_t>(std::min(wanted, capacity_), left));
    if (have >= wanted) {
        return 0;
    }
    // Keep what is already here, then read the rest of the area in one go.
    if (have != 0) {
        std::memmove(ahead_.get(), ahead_.get() + (position_ - aheadStart_), have);
    }
    aheadStart_ = position_;
    aheadLength_ = have;
    size_t room = static_cast<size_t>(std::min<uint64_t>(capacity_ - have, left - have));
    ssize_t got = readAt(fd_, ahead_.get() + have, room, position_ + have);
    if (got < 0) {
        return errno != 0 ? errno : EIO;
    }
    aheadLength_ += static_cast<size_t>(got);
    return 0;
}

int ArchiveFileReader::read(void* destination, size_t length) {
    auto* into = static_cast<unsigned char*>(destination);
    while (length != 0) {
        size_t have = available();
        if (have != 0) {
            size_t take = std::min(have, length);
            std::memcpy(into, ahead_.get() + (position_ - aheadStart_), take);
            into += take;
            length -= take;
            position_ += take;
            continue;
        }
        if (length >= capacity_) {
            ssize_t got = readAt(fd_, into, length, position_);
            if (got < 0) {
                return errno != 0 ? errno : EIO;
            }
            if (static_cast<size_t>(got) != length) {
                return EIO;
            }
            position_ += length;
            return 0;
        }
        int error = fill(length);
        if (error != 0) {
            return error;
        }
        if (available() == 0) {
            return EIO;
        }
    }
    return 0;
}

size_t ArchiveFileReader::peek(size_t length, const unsigned char*& bytes, int& error) {
    error = fill(length);
    size_t have = error != 0 ? 0 : std::min(available(), length);
    bytes = have != 0 ? ahead_.get() + (position_ - aheadStart_) : ahead_.get();
    return have;
}

}  // namespace fclarchive
