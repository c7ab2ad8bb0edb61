#pragma once
// Sequential reading of an archive file through one read-ahead area: small buffers are served from it, large
// payloads are read straight into their destination, so the file is read in large sequential reads.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace fclarchive {

class ArchiveFileReader {
public:
    static constexpr size_t kReadAhead = 1 << 20;

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
};

}  // namespace fclarchive
