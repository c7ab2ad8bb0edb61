#include "platform/archive/ArchiveFileReader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/archive/ArchiveHooks.h"

namespace fclarchive {

namespace {

// Reads up to `length` bytes at `offset` and answers how many could be read from the first on. A read that fails is
// tried again in halves, down to single bytes, so that the bytes before an unreadable spot are had even from a
// medium that fails a whole request for it; `error` is then the errno of that spot (0 when the file simply ended).
size_t readReadable(int fd, unsigned char* into, size_t length, uint64_t offset, int& error) {
    error = 0;
    size_t done = 0;
    size_t piece = length;
    while (done < length) {
        const ssize_t got = hooks::pread(fd, into + done, std::min(piece, length - done), offset + done);
        if (got > 0) {
            done += static_cast<size_t>(got);
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            const int failure = errno != 0 ? errno : EIO;
            piece = std::min(piece, length - done) / 2;
            if (piece == 0) {
                error = failure;
                break;
            }
        }
    }
    return done;
}

}  // namespace

ArchiveFileReader::ArchiveFileReader(size_t readAhead) : ahead_(new unsigned char[readAhead]), capacity_(readAhead) {}

void ArchiveFileReader::attach(int fd, uint64_t size) {
    fd_ = fd;
    size_ = size;
    position_ = 0;
    aheadStart_ = 0;
    aheadLength_ = 0;
    unreadableAt_ = ~uint64_t{0};
    unreadableError_ = 0;
    largeBuffers_ = false;
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
    // Keep what is already here, then read the rest of the area in one go, stopping short of a spot known to fail.
    if (have != 0) {
        std::memmove(ahead_.get(), ahead_.get() + (position_ - aheadStart_), have);
    }
    aheadStart_ = position_;
    aheadLength_ = have;
    const uint64_t from = position_ + have;
    uint64_t room = std::min<uint64_t>(capacity_ - have, left - have);
    if (largeBuffers_) {
        room = std::min<uint64_t>(room, std::max(wanted - have, kShortReadAhead));
    }
    if (unreadableAt_ >= from && unreadableAt_ - from < room) {
        room = unreadableAt_ - from;
    }
    int error = 0;
    aheadLength_ += readReadable(fd_, ahead_.get() + have, static_cast<size_t>(room), from, error);
    if (error != 0) {
        unreadableAt_ = aheadStart_ + aheadLength_;
        unreadableError_ = error;
    }
    if (aheadLength_ < wanted && aheadStart_ + aheadLength_ == unreadableAt_) {
        return unreadableError_;
    }
    return 0;
}

uint64_t ArchiveFileReader::readableFrom(uint64_t from) {
    auto readable = [this](uint64_t at) {
        unsigned char byte;
        ssize_t got;
        do {
            got = hooks::pread(fd_, &byte, 1, at);
        } while (got < 0 && errno == EINTR);
        return got == 1;
    };
    if (from >= size_ || readable(from)) {
        return std::min(from, size_);
    }
    // The run's end: steps that double until one lands on a readable byte, then halved back to the first one.
    uint64_t bad = from;
    uint64_t good = size_;
    for (uint64_t step = 1; bad + step < size_; step *= 2) {
        if (readable(bad + step)) {
            good = bad + step;
            break;
        }
        bad += step;
    }
    while (good - bad > 1) {
        const uint64_t middle = bad + (good - bad) / 2;
        (readable(middle) ? good : bad) = middle;
    }
    return good;
}

int ArchiveFileReader::read(void* destination, size_t length) {
    auto* into = static_cast<unsigned char*>(destination);
    largeBuffers_ = length >= kDirectRead;
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
        if (length >= kDirectRead) {
            int error = 0;
            const size_t got = readReadable(fd_, into, length, position_, error);
            if (error != 0) {
                unreadableAt_ = position_ + got;
                unreadableError_ = error;
                return error;
            }
            if (got != length) {
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
