#include "platform/archive/ArchiveWriter.h"

#include <fcntl.h>
#include <sys/uio.h>

#include <cstring>

#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/ArchiveIndex.h"
#include "platform/files/WholeIo.h"
#include "platform/support/FXErrorUtil.h"

namespace fclarchive {

namespace {

constexpr size_t kWriteBuffer = 1 << 20;
// Payloads this large go straight from the caller's memory.
constexpr size_t kDirectWrite = 256 << 10;
constexpr size_t kIndexFlush = 64 << 10;

// Writes every byte of the pieces, resuming after partial writes and interruptions.
bool writeAll(int fd, iovec* pieces, int count) {
    while (count > 0) {
        ssize_t written = writev(fd, pieces, count);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        size_t left = static_cast<size_t>(written);
        while (count > 0 && left >= pieces->iov_len) {
            left -= pieces->iov_len;
            ++pieces;
            --count;
        }
        if (count > 0) {
            pieces->iov_base = static_cast<char*>(pieces->iov_base) + left;
            pieces->iov_len -= left;
        }
    }
    return true;
}

bool writeAll(int fd, const void* bytes, size_t length) {
    return wzfiles::writeFully(fd, bytes, length) == length;
}

}  // namespace

ArchiveWriter::ArchiveWriter() : pending_(new unsigned char[kWriteBuffer]) {}

ArchiveWriter::~ArchiveWriter() = default;

CQiError ArchiveWriter::create(const std::string& mediaDir, uint64_t archiveFileId) {
    archivePath_ = archiveFilePath(mediaDir, archiveFileId);
    indexPath_ = indexFilePath(mediaDir, archiveFileId);
    archive_.reset(::open(archivePath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!archive_.valid()) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, errno, "cannot create %s", archivePath_.c_str());
    }
    index_.reset(::open(indexPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!index_.valid()) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, errno, "cannot create %s", indexPath_.c_str());
    }
    offset_ = 0;
    pendingLength_ = 0;
    indexPending_.clear();
    return CQiError::Success();
}

CQiError ArchiveWriter::addIndexEntry(uint64_t offset, const char* kind, const std::string& path) {
    indexPending_ += formatIndexLine(offset, kind, path);
    return indexPending_.size() >= kIndexFlush ? flushIndex() : CQiError::Success();
}

CQiError ArchiveWriter::writeBuffer(uint32_t type, const void* payload, uint32_t length) {
    return writeBuffer(type, payload, length, length);
}

CQiError ArchiveWriter::writeBuffer(uint32_t type, const void* payload, uint32_t length, uint32_t compressedLength) {
    if (length > kMaxPayload) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, EMSGSIZE, "payload of %u bytes is beyond the limit", length);
    }
    BufferHeader header;
    header.type = type;
    header.offset = offset_;
    header.payloadLength = length;
    header.compressedLength = compressedLength;
    unsigned char bytes[kHeaderSize];
    encodeHeader(header, bytes);
    sealHeader(bytes, payload, length);
    CQiError error = append(bytes, sizeof bytes);
    if (error.IsError()) {
        return error;
    }
    return append(payload, length);
}

CQiError ArchiveWriter::writeRaw(const void* bytes, size_t length) {
    return append(bytes, length);
}

CQiError ArchiveWriter::append(const void* bytes, size_t length) {
    if (!archive_.valid()) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, EBADF, "archive file is not open");
    }
    if (length == 0) {
        return CQiError::Success();
    }
    if (length >= kDirectWrite) {
        iovec pieces[2] = {{pending_.get(), pendingLength_}, {const_cast<void*>(bytes), length}};
        if (!writeAll(archive_.get(), pieces, 2)) {
            return FXErrorUtil::ErrorErrNo(FX_HERE, errno, "cannot write %s", archivePath_.c_str());
        }
        pendingLength_ = 0;
    } else {
        if (pendingLength_ + length > kWriteBuffer) {
            CQiError error = flushData();
            if (error.IsError()) {
                return error;
            }
        }
        std::memcpy(pending_.get() + pendingLength_, bytes, length);
        pendingLength_ += length;
    }
    offset_ += length;
    return CQiError::Success();
}

CQiError ArchiveWriter::flushData() {
    if (pendingLength_ != 0 && !writeAll(archive_.get(), pending_.get(), pendingLength_)) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, errno, "cannot write %s", archivePath_.c_str());
    }
    pendingLength_ = 0;
    return CQiError::Success();
}

CQiError ArchiveWriter::flushIndex() {
    if (!index_.valid()) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, EBADF, "index file is not open");
    }
    if (!indexPending_.empty() && !writeAll(index_.get(), indexPending_.data(), indexPending_.size())) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, errno, "cannot write %s", indexPath_.c_str());
    }
    indexPending_.clear();
    return CQiError::Success();
}

CQiError ArchiveWriter::finish() {
    CQiError error = flushData();
    if (!error.IsError()) {
        error = flushIndex();
    }
    if (error.IsError()) {
        return error;
    }
    for (wzfiles::UniqueFd* fd : {&archive_, &index_}) {
        const std::string& path = fd == &archive_ ? archivePath_ : indexPath_;
        if (fsync(fd->get()) != 0 || ::close(fd->release()) != 0) {
            return FXErrorUtil::ErrorErrNo(FX_HERE, errno, "cannot complete %s", path.c_str());
        }
    }
    return CQiError::Success();
}

}  // namespace fclarchive
