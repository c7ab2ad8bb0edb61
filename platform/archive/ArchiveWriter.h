#pragma once
// Writes one archive file and its index: frames each payload as a pipeline buffer (header, CRC, offset) and
// writes through a buffer so that small buffers cost no system call each. Tests and benchmarks build streams
// with it, hostile ones included (writeRaw).
#include <cstdint>
#include <memory>
#include <string>

#include "platform/files/UniqueFd.h"
#include "platform/support/CQiError.h"

namespace fclarchive {

class ArchiveWriter {
public:
    ArchiveWriter();
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // Creates (or truncates) <mediaDir>/<id>.afile and <mediaDir>/<id>.index.
    CQiError create(const std::string& mediaDir, uint64_t archiveFileId);
    // Where the next buffer starts.
    uint64_t offset() const { return offset_; }
    CQiError addIndexEntry(uint64_t offset, const char* kind, const std::string& path);
    // One buffer whose payload took `length` bytes in the backup.
    CQiError writeBuffer(uint32_t type, const void* payload, uint32_t length);
    CQiError writeBuffer(uint32_t type, const void* payload, uint32_t length, uint32_t compressedLength);
    // Bytes as they are, framed or not.
    CQiError writeRaw(const void* bytes, size_t length);
    // Flushes both files to disk and closes them.
    CQiError finish();
    const std::string& archivePath() const { return archivePath_; }

private:
    CQiError append(const void* bytes, size_t length);
    CQiError flushData();
    CQiError flushIndex();

    wzfiles::UniqueFd archive_;
    wzfiles::UniqueFd index_;
    std::string archivePath_;
    std::string indexPath_;
    uint64_t offset_ = 0;
    std::unique_ptr<unsigned char[]> pending_;
    size_t pendingLength_ = 0;
    std::string indexPending_;
};

}  // namespace fclarchive
