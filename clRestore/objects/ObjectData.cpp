// The data path of every restore object: one data buffer (writeData), one hole of the stream (makeHole), and the
// low-level writer they and the AppleDouble writer go through (_writeData), with the zero-run scanners.
//
// Bytes go from the archive buffer straight to the descriptor; nothing is allocated or copied per buffer (the
// aligned bounce buffer of lazily opened special files aside).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/AccessLists.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/objects/ObjectData.h"
#include "clRestore/objects/SpecialNodeOpen.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/files/WholeIo.h"
#include "platform/hsm/CXHSMLowLevelCtx.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/WZPlatformInfo.h"

bool g_holeSettingsRead = false;

namespace {

constexpr uint32_t kHfsItem = 0x01;
constexpr uint32_t kHfsDropData = 0x04;
// Header flag: the item's data is written as it comes, zeros included.
constexpr uint64_t kWriteWithoutHoles = 0x8000000000000000ULL;
constexpr size_t kBounceAlignment = 1024;
const char kResourceForkAttribute[] = "com.apple.ResourceFork";

bool isAligned(const char* p) {
    return (reinterpret_cast<uintptr_t>(p) & 7) == 0;
}

uint64_t wordAt(const char* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The part of `count` item bytes, at the current position of the item's byte range, that lies inside the range:
// `skip` bytes at the front fall before its start, the `keep` after them inside it.
struct RangeCut {
    long skip;
    long keep;
};

RangeCut cutToRange(long count) {
    RangeCut cut = {0, count};
    if (fileRange.seen <= fileRange.start) {
        cut.skip = std::min(count, fileRange.start - fileRange.seen);
    }
    cut.keep = count - cut.skip;
    if (fileRange.end > 0) {
        cut.keep = std::min(cut.keep, std::max(0L, fileRange.end - (fileRange.seen + cut.skip)));
    }
    return cut;
}

std::stringstream& forkStream(FsRestoreUnixObject& item, HFS_DATA_TYPE type) {
    std::unique_ptr<std::stringstream>& stream = item._forkStreams[type];
    if (!stream) {
        stream.reset(new std::stringstream(std::ios::in | std::ios::out | std::ios::binary));
    }
    return *stream;
}

void appendStubData(std::vector<char>& stub, const char* data, size_t length) {
    const size_t room = kStubDataSize - std::min(kStubDataSize, stub.size());
    stub.insert(stub.end(), data, data + std::min(room, length));
}

// The first write that looks for holes in the process says so and reads the smallest write size.
void readHoleSettings() {
    if (g_holeSettingsRead) {
        return;
    }
    g_holeSettingsRead = true;
    FCL_LOG(0, "Will create hole if found in PL_DATA of size >= %d bytes", FsRestoreUnixObject::_minHoleSize);
    unsigned int blockSize = 0;
    if (WZPlatformInfo().getNumber("Vornak", "nBlockSize", &blockSize) != 0 &&
        blockSize > static_cast<unsigned int>(kDefaultBlockSize)) {
        giBlockSize = static_cast<int>(blockSize);
    }
}

// Devices opened for direct I/O take their blocks from memory aligned as the device wants it, and each request whole:
// a device block larger than any fixed buffer must not be cut in pieces.
size_t writeThroughBounce(int fd, const char* data, size_t size) {
    const size_t capacity = (size + kBounceAlignment - 1) / kBounceAlignment * kBounceAlignment;
    std::unique_ptr<char, void (*)(void*)> bounce(static_cast<char*>(std::aligned_alloc(kBounceAlignment, capacity)),
                                                  std::free);
    if (!bounce) {
        errno = ENOMEM;
        return 0;
    }
    std::memcpy(bounce.get(), data, size);
    return wzfiles::writeFully(fd, bounce.get(), size);
}

size_t writeFlat(FsRestoreUnixObject& item, int fd, const char* name, const char* data, size_t size) {
    size_t written = 0;
    if (item._openSpecialFile == 1) {
        written = writeThroughBounce(fd, data, size);
    } else {
        written = wzfiles::writeFully(fd, data, size);
    }
    if (written != size) {
        const int err = errno;
        FCL_LOG(0, "write [%s] len %d returns %d, errno %d.", name, static_cast<int>(size), static_cast<int>(written),
                err);
        item.handleError(static_cast<unsigned long>(err));
        errno = err;
    }
    return written;
}

// Zero runs of at least the smallest hole size that start a step become holes (a seek over them); everything else
// is written in steps of at least the smallest write size, so short data takes its following zeros along instead of
// fragmenting the file. Written steps that follow each other go out in one write: the same bytes, fewer calls.
size_t writeWithHoles(FsRestoreUnixObject& item, int fd, const char* name, char* data, size_t size) {
    readHoleSettings();
    const long total = static_cast<long>(size);
    const long minHole = std::max(FsRestoreUnixObject::_minHoleSize, 1);
    const long blockSize = giBlockSize;
    const bool flat = (item._flags & kWriteWithoutHoles) != 0;
    long offset = 0;
    long runStart = 0;  // start of the written steps not yet sent
    auto flushRun = [&]() -> bool {
        const size_t runLength = static_cast<size_t>(offset - runStart);
        const size_t done = wzfiles::writeFully(fd, data + runStart, runLength);
        if (done == runLength) {
            runStart = offset;
            return true;
        }
        const int err = errno;
        FCL_LOG(0, "write1 [%s] len %d returns %d, errno %d.", name, static_cast<int>(total), static_cast<int>(done),
                err);
        item.handleError(static_cast<unsigned long>(err));
        errno = err;
        runStart += static_cast<long>(done);
        return false;
    };

    while (offset < total) {
        const long remaining = total - offset;
        const long hole = find_hole(data + offset, remaining);
        if (remaining < minHole || flat || hole < minHole) {
            long count = remaining;
            if (remaining >= minHole && !flat) {
                count = hole + find_data(data + offset + hole, remaining - hole);
                if (count < blockSize) {
                    FCL_LOG(3, "toWrite<blocksize (%d<%d)", static_cast<int>(count), static_cast<int>(blockSize));
                    count = std::min(remaining, blockSize);
                }
            }
            FCL_LOG(3, "write1 %d data data_size[%d] hole_size[%d] file=[%s] size=[%d]", static_cast<int>(count),
                    static_cast<int>(count - hole), static_cast<int>(hole), name, static_cast<int>(total));
            offset += count;
            item._holePending = 0;
            continue;
        }
        if (offset > runStart && !flushRun()) {
            return static_cast<size_t>(runStart);
        }
        FCL_LOG(3, "creating hole of [%d] len, minHoleSize=[%d] file=[%s]", static_cast<int>(hole),
                static_cast<int>(minHole), name);
        if (lseek64(fd, static_cast<off64_t>(hole), SEEK_CUR) < 0) {
            FCL_LOG(0, "Seek failed error=[%s], writing to file=[%s]", strerror(errno), name);
            const size_t done = wzfiles::writeFully(fd, data + offset, static_cast<size_t>(hole));
            if (done != static_cast<size_t>(hole)) {
                const int err = errno;
                FCL_LOG(0, "write2 [%s] len %d returns %d, errno %d.", name, static_cast<int>(hole),
                        static_cast<int>(done), err);
                item.handleError(static_cast<unsigned long>(err));
                errno = err;
                return static_cast<size_t>(offset) + done;
            }
            item._holePending = 0;
        } else {
            item._holePending = 1;
        }
        offset += hole;
        runStart = offset;
    }
    if (offset > runStart && !flushRun()) {
        return static_cast<size_t>(runStart);
    }
    return size;
}

}  // namespace

long find_hole(char* p, long length) {
    long count = 0;
    while (count < length && !isAligned(p + count) && p[count] == 0) {
        ++count;
    }
    if (count == length || p[count] != 0) {
        return count;
    }
    for (long words = (length - count) / 8; words > 0 && wordAt(p + count) == 0; --words) {
        count += 8;
    }
    while (count < length && p[count] == 0) {
        ++count;
    }
    return count;
}

long find_data(char* p, long length) {
    long count = 0;
    while (count < length && !isAligned(p + count) && p[count] != 0) {
        ++count;
    }
    if (count == length || p[count] == 0) {
        return count;
    }
    for (long words = (length - count) / 8; words > 0 && wordAt(p + count) != 0; --words) {
        count += 8;
    }
    return count;
}

int FsRestoreUnixObject::writeData(void* buffer, int length) {
    // The pending hole stays pending until something is written: a buffer that falls outside the byte range, or
    // that goes to the Apple forks, leaves the file ending in the hole.
    if (_dontRestore != 0 || _hardLink != 0 || _dontRestoreStubWithGUID) {
        return 1;
    }
    if ((isFromHFS & kHfsItem) != 0 && (isFromHFS & kHfsDropData) != 0) {
        return 1;
    }
    if (length < 0) {
        FCL_ERROR("write [%s] negative data length %d.", _filename.c_str(), length);
        _ownerFactory->setErrCode(fclitem::kWriteFailed);
        return 0;
    }
    fclobjects::requestDefaultStripe(*this);
    // The factory's special data handler takes no buffer in this system: the buffer is written as it came.

    char* at = static_cast<char*>(buffer);
    uint64_t remaining = static_cast<uint64_t>(length);
    if (_openSpecialFile == 1 || hfsRsrcSize + hfsAttrSize == 0) {
        hfsDataSize = remaining;
    }

    if (remaining > 0 && hfsDataSize != 0) {
        const long part = static_cast<long>(std::min(remaining, hfsDataSize));
        const RangeCut cut = cutToRange(part);
        if (cut.keep >= 1) {
            const int toWrite = static_cast<int>(cut.keep);
            const int written = _writeData(_handle, _filename.c_str(), at + cut.skip, toWrite);
            if (written != toWrite) {
                const int err = errno;
                FCL_LOG(0, "write [%s] toWrite %lld Written %d errno %d.", _filename.c_str(),
                        static_cast<long long>(toWrite), written, err);
                // A writer that failed has given the item its id (a busy text file, a full disk): keep it.
                if (written >= 0) {
                    handleError(static_cast<unsigned long>(-static_cast<long>(written)));
                } else if (_ownerFactory->getErrCode() == 0) {
                    handleError(static_cast<unsigned long>(err));
                }
                return 0;
            }
        }
        fileRange.seen += part;
        hfsDataSize -= static_cast<uint64_t>(part);
        at += part;
        remaining -= static_cast<uint64_t>(part);
    }

    if (isFromHFS != 0 && remaining > 0 && hfsRsrcSize != 0) {
        const uint64_t part = std::min(remaining, hfsRsrcSize);
        if (_fsetxattr_func != nullptr) {
            const int result = _fsetxattr_func(_handle, kResourceForkAttribute, at, part, lastOffset, 0);
            if (result != 0 && errno != EAGAIN) {
                const int err = errno;
                FCL_LOG(0, "failed to write resource data for '%s' (fd=%d. toWrite %lld Written %d errno %d.",
                        _filename.c_str(), _handle, static_cast<long long>(part), result, err);
                handleError(result < 0 ? static_cast<unsigned long>(err) : static_cast<unsigned long>(-result));
                return 0;
            }
            lastOffset += static_cast<uint32_t>(part);
        } else {
            forkStream(*this, HFS_DATA_RESOURCE_FORK).write(at, static_cast<std::streamsize>(part));
        }
        hfsRsrcSize -= part;
        at += part;
        remaining -= part;
    }

    if (isFromHFS != 0 && remaining > 0 && hfsAttrSize != 0) {
        const uint64_t part = std::min(remaining, hfsAttrSize);
        forkStream(*this, HFS_DATA_FINDERINFO).write(at, static_cast<std::streamsize>(part));
        hfsAttrSize -= part;
        at += part;
        remaining -= part;
    }

    if (remaining == 0) {
        return 1;
    }
    FCL_LOG(0, "write [%s (hfs data+rsrc+attr)] offset %lld remains %lld data size %lld.", _filename.c_str(),
            static_cast<long long>(length - remaining), static_cast<long long>(remaining),
            static_cast<long long>(length));
    _ownerFactory->setErrCode(fclitem::kWriteFailed);
    return 0;
}

int FsRestoreUnixObject::makeHole(unsigned int length) {
    if (_dontRestore != 0 || _hardLink != 0 || _dontRestoreStubWithGUID) {
        return 1;
    }
    // An Apple item whose data is dropped drops its holes too: they are part of the same data.
    if ((isFromHFS & kHfsItem) != 0 && (isFromHFS & kHfsDropData) != 0) {
        return 1;
    }
    if (_hsmEnabled && _isStub) {
        _stubData.resize(std::max(_stubData.size(), std::min(kStubDataSize, _stubData.size() + length)), 0);
        _holePending = 0;
        return 1;
    }
    if (_hsmEnabled && _hsmOpened) {
        _hsm = _hsmCtx != nullptr ? _hsmCtx->getByFileName(_filename.c_str()) : nullptr;
        if (_hsm == nullptr) {
            FCL_LOG(0, "Error creating DMR object for %s, probably we are not supporting it as DMR now.",
                    _filename.c_str());
            _holePending = 1;
            return 1;
        }
        if (_hsm->seekFileTrans(static_cast<off64_t>(length), SEEK_CUR) < 0) {
            FCL_LOG(0, "seekFileTrans(%s, %u) failed: %s", _filename.c_str(), length, _hsm->getLastError().c_str());
            handleError(EIO);
            return 0;
        }
        _holePending = 1;
        return 1;
    }
    if (_handle == -1) {
        return 1;
    }

    // A hole is item data like any other: it counts against the byte range and the data fork.
    const long count = static_cast<long>(length);
    const RangeCut cut = cutToRange(count);
    if (cut.keep > 0) {
        FCL_LOG(3, "Creating hole of size=[%u] file=[%s]", static_cast<unsigned int>(cut.keep), _filename.c_str());
        if (lseek64(_handle, static_cast<off64_t>(cut.keep), SEEK_CUR) < 0) {
            const int err = errno;
            FCL_ERROR("seek(%s, %u) failed: %s", _filename.c_str(), static_cast<unsigned int>(cut.keep), strerror(err));
            handleError(static_cast<unsigned long>(err));
            return 0;
        }
        _holePending = 1;
    }
    fileRange.seen += count;
    if (isFromHFS != 0) {
        hfsDataSize -= std::min(hfsDataSize, static_cast<uint64_t>(length));
    }
    return 1;
}

// Returns `length` once every byte is written (or deliberately not written), -1 when the item failed: its id is
// then in the factory's error code and errno tells the cause.
int FsRestoreUnixObject::_writeData(int& fd, const char* name, void* buffer, int length) {
    _holePending = 0;
    if (_dontRestore != 0 || _hardLink != 0 || _dontRestoreStubWithGUID) {
        return length;
    }
    char* data = static_cast<char*>(buffer);
    const size_t size = length > 0 ? static_cast<size_t>(length) : 0;

    if (_hsmEnabled && _isStub) {
        appendStubData(_stubData, data, size);
        return length;
    }
    if (_hsmEnabled && _hsmOpened) {
        _hsm = _hsmCtx != nullptr ? _hsmCtx->getByFileName(name) : nullptr;
        if (_hsm == nullptr) {
            FCL_LOG(0, "Failed to create DMR object for %s, probably we are not supporting it as DMR now.", name);
            return length;
        }
        if (_hsm->writeFileTrans(data, size, 0) != static_cast<ssize_t>(size)) {
            FCL_LOG(0, "Failed to write %d bytes to %s: %s", length, name, _hsm->getLastError().c_str());
            handleError(_hsm->getLastErrno() == EIO ? ENOSPC : EIO);
            errno = _hsm->getLastErrno();
            return -1;
        }
        return length;
    }

    if (_openSpecialFile == 1 && fd == -1) {
        const mode_t type = _mode & S_IFMT;
        const bool opened = type == S_IFCHR || type == S_IFBLK ? openDeviceNode(name, fd) : OpenRestoreFile(name, fd);
        if (!opened) {
            const int err = errno;
            if (err == ETXTBSY) {
                FCL_LOG(0, "Error [%d] while opening [%s] Text File Busy", err, name);
                _ownerFactory->setErrCode(fclitem::kTextFileBusy);
            } else {
                FCL_LOG(0, "Error [%d] while opening [%s]", err, name);
                _ownerFactory->setErrCode(fclitem::kCreateFailed);
            }
            errno = err;
            return -1;
        }
        if (IsItemExtent() && !seekToExtentOffset()) {
            const int err = errno;
            FCL_ERROR("Failed to seek to file offset=%llu file=%s", static_cast<unsigned long long>(_extentFileOffset),
                      _filename.c_str());
            handleError(static_cast<unsigned long>(err));
            errno = err;
            return -1;
        }
    }
    if (fd == -1 || size == 0) {
        return length;
    }

    const size_t written =
        _createHoles == 0 ? writeFlat(*this, fd, name, data, size) : writeWithHoles(*this, fd, name, data, size);
    return written == size ? length : -1;
}
