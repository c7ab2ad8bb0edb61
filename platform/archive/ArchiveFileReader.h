#pragma once
// Sequential reading of an archive file through one read-ahead area: small buffers are served from it, so the file is
// read in large sequential reads, and large payloads are read straight into their destination (the ring slot the
// data mover checks and hands on), so their bytes are copied once, by the kernel. While buffers come large, the
// read-ahead takes only a little beyond the next header, so that the payload after it is not read into the area
// first and copied again. A read-ahead
// that fails is narrowed down to the first byte that cannot be read: everything before it is still served, so one
// unreadable spot costs only the buffers it lies in.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace fclarchive {

class ArchiveFileReader {
public:
    static constexpr size_t kReadAhead = 1 << 20;
    // Payload bytes that are read straight into the destination rather than through the area, and the area's read
    // while buffers come that large.
    static constexpr size_t kDirectRead = 64 << 10;
    static constexpr size_t kShortReadAhead = 4 << 10;

    explicit ArchiveFileReader(size_t readAhead = kReadAhead);
    // Reads `fd` (not owned) of `size` bytes from its start.
    void attach(int fd, uint64_t size);
    uint64_t position() const { return position_; }
    uint64_t size() const { return size_; }
    void seek(uint64_t position);
    // Copies `length` bytes at the position and moves past them: 0, or the errno of the failure (EIO when the
    // file ends first).
    int read(void* destination, size_t length);
    // Up to `length` (at most the read-ahead size) bytes at the position, without moving: how many are there
    // (fewer at the end of the file), with `bytes` pointing at them; `error` is set when a read failed.
    size_t peek(size_t length, const unsigned char*& bytes, int& error);
    // After a read that failed: the offset of the first byte that could not be read.
    uint64_t unreadableAt() const { return unreadableAt_; }
    // The first offset at or after `from` whose byte can be read; size() when none can. A run of unreadable bytes
    // is passed over in a few probes, as if it were one.
    uint64_t readableFrom(uint64_t from);

private:
    // Makes at least `wanted` bytes (or what is left of the file) available at the position.
    int fill(size_t wanted);
    size_t available() const;

    int fd_ = -1;
    uint64_t size_ = 0;
    uint64_t position_ = 0;
    std::unique_ptr<unsigned char[]> ahead_;
    size_t capacity_;
    uint64_t aheadStart_ = 0;  // file offset of ahead_[0]
    size_t aheadLength_ = 0;
    // The first unreadable byte the last failed read-ahead met, and its errno: asked for again, it fails at once.
    uint64_t unreadableAt_ = ~uint64_t{0};
    int unreadableError_ = 0;
    // The last read was of a large buffer: the next read-ahead is a short one.
    bool largeBuffers_ = false;
};

}  // namespace fclarchive
