#include "clRestore/objects/WinStreamParser.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "clRestore/objects/ObjectData.h"

bool WinStreamParser::firstTime = true;
bool WinStreamParser::bigEndian = false;

namespace {

// Offsets of the header's fields.
constexpr size_t kIdAt = 0;
constexpr size_t kAttributesAt = 4;
constexpr size_t kSizeAt = 8;
constexpr size_t kNameSizeAt = 16;

constexpr uint32_t kHighestStreamId = kWinStreamSparseBlock;
// The leading field of a sparse block's data: the block's offset in the file.
constexpr unsigned long long kSparseOffsetSize = 8;

template <typename T>
T loadLittleEndian(const void* p) {
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, p, sizeof bytes);
    T value = 0;
    for (size_t i = sizeof(T); i > 0; --i) {
        value = static_cast<T>((value << 8) | bytes[i - 1]);
    }
    return value;
}

}  // namespace

WinStreamParser::WinStreamParser() {
    if (firstTime) {
        const uint16_t probe = 1;
        unsigned char first;
        std::memcpy(&first, &probe, 1);
        bigEndian = first == 0;
        firstTime = false;
    }
    _stubdataStreamId = kNoStubStream;
    reset();
    std::memset(_streamName, 0, sizeof _streamName);
    std::memset(_residualName, 0, sizeof _residualName);
    setDebugPrefix("WINSTREAMPARSER");
}

void WinStreamParser::reset() {
    _streamHeader = WinStreamHeader{0xFFFFFFFFu, 0, 0, 0};
    std::memset(_residualHeader, 0, sizeof _residualHeader);
    _streamName[0] = 0;
    _residualName[0] = 0;
    _blockType = -1;
    blockSize = 0;
    offsetInBlock = 0;
    _totalBytes = 0;
    numStreamId = 0;
    numStreamName = 0;
    isDataRemainForStreamId = false;
    isDataRemainForStreamName = false;
}

unsigned long long WinStreamParser::parse_ulonglong(const unsigned long long* p) {
    return loadLittleEndian<unsigned long long>(p);
}

unsigned int WinStreamParser::parse_ulong(const unsigned int* p) {
    return loadLittleEndian<unsigned int>(p);
}

unsigned short WinStreamParser::parse_ushort(const unsigned short* p) {
    return loadLittleEndian<unsigned short>(p);
}

int WinStreamParser::parse(const char* data, unsigned int length) {
    const char* cur = data;
    const long long total = static_cast<long long>(length);
    if (total > INT_MAX) {
        debug(1, "%s: nonzero remaining %d, length=%u, dataSize=%llu, data=0x%lX, curData=0x%lX\n", "parse",
              static_cast<int>(length), length, static_cast<unsigned long long>(blockSize),
              reinterpret_cast<unsigned long>(data), reinterpret_cast<unsigned long>(cur));
        return -1;
    }
    unsigned int remaining = length;
    for (;;) {
        if (remaining == 0) {
            return 0;
        }
        if (blockSize == 0) {
            const int n = parseHeader(cur, remaining);
            if (n < 1 || static_cast<unsigned int>(n) > remaining) {
                debug(1, "%s: parseHeader failed, ret=%d, length=%u, remaining=%u, data=0x%lX, curData=0x%lX\n",
                      "parse", n, length, remaining, reinterpret_cast<unsigned long>(data),
                      reinterpret_cast<unsigned long>(cur));
                return -1;
            }
            cur += n;
            remaining -= static_cast<unsigned int>(n);
            _totalBytes += static_cast<unsigned int>(n);
            // An empty main data stream of a stub whose data it should carry: the stub data follows in the sparse
            // blocks instead.
            if (blockSize == 0 && _blockType == static_cast<int32_t>(kWinStreamData) &&
                _stubdataStreamId == kWinStreamData) {
                _stubdataStreamId = kWinStreamSparseBlock;
            }
            if (remaining == 0 || blockSize == 0) {
                continue;
            }
        }
        const uint64_t rest = blockSize - offsetInBlock;
        const unsigned int piece = static_cast<unsigned int>(std::min<uint64_t>(rest, remaining));
        const bool complete = rest <= remaining;
        if (offsetInBlock >= blockSize || piece == 0) {
            debug(1,
                  "%s: size error, offsetInBlock %llu, blockSize %llu, length=%u, remaining=%u, data=0x%lX, "
                  "curData=0x%lX\n",
                  "parse", static_cast<unsigned long long>(offsetInBlock), static_cast<unsigned long long>(blockSize),
                  length, remaining, reinterpret_cast<unsigned long>(data), reinterpret_cast<unsigned long>(cur));
            return -1;
        }
        if (_blockType < 0 || static_cast<uint32_t>(_blockType) > kHighestStreamId) {
            debug(1, "%s: invalid block type %d, length=%u, remaining=%u, data=0x%lX, curData=0x%lX\n", "parse",
                  _blockType, length, remaining, reinterpret_cast<unsigned long>(data),
                  reinterpret_cast<unsigned long>(cur));
            return -1;
        }
        if (dispatch(cur, piece) < 0) {
            debug(1,
                  "%s: handler failed for type %d, length=%u, remaining=%u, dataSize=%u, data=0x%lX, "
                  "curData=0x%lX\n",
                  "parse", _blockType, length, remaining, piece, reinterpret_cast<unsigned long>(data),
                  reinterpret_cast<unsigned long>(cur));
            return -1;
        }
        cur += piece;
        remaining -= piece;
        offsetInBlock += piece;
        _totalBytes += piece;
        if (complete) {
            blockSize = 0;
        }
    }
}

int WinStreamParser::dispatch(const char* data, unsigned int length) {
    const unsigned long long size = blockSize;
    const unsigned long long offset = offsetInBlock;
    switch (static_cast<uint32_t>(_blockType)) {
        case kWinStreamInvalid:
            return handleInvalid(data, length, size, offset);
        case kWinStreamData:
            return handleData(data, length, size, offset);
        case kWinStreamEaData:
            return handleEaData(data, length, size, offset);
        case kWinStreamSecurityData:
            return handleSecurityData(data, length, size, offset);
        case kWinStreamAlternateData:
            return handleAlternateData(data, length, size, offset);
        case kWinStreamLink:
            return handleLink(data, length, size, offset);
        case kWinStreamPropertyData:
            return handlePropertyData(data, length, size, offset);
        case kWinStreamObjectId:
            return handleObjectId(data, length, size, offset);
        case kWinStreamReparseData:
            return handleReparseData(data, length, size, offset);
        default:
            return handleSparseBlock(data, length, size, offset);
    }
}

// A header or a name cut by buffer ends is kept, piece by piece, until it is whole: where the buffers were cut never
// decides whether a stream is valid.
int WinStreamParser::parseHeader(const char* data, unsigned int length) {
    _blockType = -1;
    blockSize = 0;
    offsetInBlock = 0;
    debug(5, "data length:%u isDataRemainForStreamName:%d isDataRemainForStreamId:%d", length,
          isDataRemainForStreamName ? 1 : 0, isDataRemainForStreamId ? 1 : 0);
    if (numStreamName != 0 && numStreamId != 0) {
        debug(1, "%s: both residual name %u and residual stream id %u (len=%u, sid=0x%X, attr=0x%X, size=%llu\n",
              "parseHeader", numStreamName, numStreamId, length, _streamHeader.dwStreamId,
              _streamHeader.dwStreamAttributes, static_cast<unsigned long long>(_streamHeader.Size));
        return -1;
    }
    unsigned int consumed = 0;
    if (!isDataRemainForStreamName) {
        const unsigned int take = std::min(kHeaderSize - numStreamId, length);
        std::memcpy(_residualHeader + numStreamId, data, take);
        numStreamId += take;
        consumed = take;
        if (numStreamId < kHeaderSize) {
            isDataRemainForStreamId = true;
            debug(5, "data remain in buffer :%u isDataRemainForStreamId:1", numStreamId);
            return static_cast<int>(consumed);
        }
        numStreamId = 0;
        isDataRemainForStreamId = false;
        _streamHeader.dwStreamId = loadLittleEndian<uint32_t>(_residualHeader + kIdAt);
        _streamHeader.dwStreamAttributes = loadLittleEndian<uint32_t>(_residualHeader + kAttributesAt);
        _streamHeader.Size = loadLittleEndian<uint64_t>(_residualHeader + kSizeAt);
        _streamHeader.dwStreamNameSize = loadLittleEndian<uint32_t>(_residualHeader + kNameSizeAt);
        debug(5, "dwStreamId:%u dwStreamAttributes:%X Size:%llu dwStreamNameSize:%u: remaining:%u",
              _streamHeader.dwStreamId, _streamHeader.dwStreamAttributes,
              static_cast<unsigned long long>(_streamHeader.Size), _streamHeader.dwStreamNameSize, length - consumed);
        if (_streamHeader.dwStreamId > kHighestStreamId) {
            debug(1, "%s: invalid dwStreamId field %u\n", "parseHeader", _streamHeader.dwStreamId);
            return -1;
        }
        if (_streamHeader.dwStreamNameSize > kMaxNameSize) {
            debug(1, "%s: stream name is too long at %u (len=%u, sid=0x%X, attr=0x%X, size=%llu\n", "parseHeader",
                  _streamHeader.dwStreamNameSize, length, _streamHeader.dwStreamId, _streamHeader.dwStreamAttributes,
                  static_cast<unsigned long long>(_streamHeader.Size));
            return -1;
        }
    } else {
        debug(5, "a partial alternate stream name was saved earlier. numStreamName:%u", numStreamName);
    }

    const unsigned int nameSize = _streamHeader.dwStreamNameSize;
    if (nameSize != 0) {
        const unsigned int take = std::min(nameSize - numStreamName, length - consumed);
        std::memcpy(_residualName + numStreamName, data + consumed, take);
        numStreamName += take;
        consumed += take;
        if (numStreamName < nameSize) {
            isDataRemainForStreamName = true;
            debug(5, "left with %u bytes. required %u", numStreamName, nameSize);
            return static_cast<int>(consumed);
        }
        std::memcpy(_streamName, _residualName, nameSize);
        numStreamName = 0;
        isDataRemainForStreamName = false;
        // The name is UTF-16 bytes without a terminator: printed within its length.
        debug(5, "stream name:%.*s:", static_cast<int>(nameSize), reinterpret_cast<const char*>(_streamName));
    }
    _blockType = static_cast<int32_t>(_streamHeader.dwStreamId);
    blockSize = _streamHeader.Size;
    offsetInBlock = 0;
    return static_cast<int>(consumed);
}

// ---- the handler families ----

WinStreamNoOp::WinStreamNoOp() {
    setDebugPrefix("WINSTREAMNOOP");
}

WinStreamLogger::WinStreamLogger() {
    setDebugPrefix("WINSTREAMLOGGER");
}

int WinStreamLogger::logIt(const char* kind, const char* data, unsigned int length, unsigned long long size,
                           unsigned long long offset) {
    std::string text = std::string(kind) + ", thisSize " + std::to_string(length) + ", totSize " +
                       std::to_string(size) + ", offset " + std::to_string(offset);
    if (length != 0) {
        text += ",";
    }
    char hex[16];
    for (unsigned int i = 0; i < std::min(length, 8u); ++i) {
        std::snprintf(hex, sizeof hex, " %lX", static_cast<unsigned long>(static_cast<unsigned char>(data[i])));
        text += hex;
    }
    debug(1, "%s\n", text.c_str());
    return 0;
}

void WinStreamLogger::logName(const char* name) {
    const size_t length = name != nullptr ? strnlen(name, kMaxNameSize) : 0;
    debug(1, "*** Name '%.*s' ***\n", static_cast<int>(length), name != nullptr ? name : "");
}

int WinStreamLogger::handleInvalid(const char* d, unsigned int n, unsigned long long s, unsigned long long o) {
    return logIt("Invalid", d, n, s, o);
}
int WinStreamLogger::handleData(const char* d, unsigned int n, unsigned long long s, unsigned long long o) {
    return logIt("Data", d, n, s, o);
}
int WinStreamLogger::handleEaData(const char* d, unsigned int n, unsigned long long s, unsigned long long o) {
    return logIt("EaData", d, n, s, o);
}
int WinStreamLogger::handleSecurityData(const char* d, unsigned int n, unsigned long long s, unsigned long long o) {
    return logIt("SecurityData", d, n, s, o);
}
int WinStreamLogger::handleAlternateData(const char* d, unsigned int n, unsigned long long s, unsigned long long o) {
    return logIt("AlternateData", d, n, s, o);
}
int WinStreamLogger::handleLink(const char* d, unsigned int n, unsigned long long s, unsigned long long o) {
    return logIt("Link", d, n, s, o);
}
int WinStreamLogger::handlePropertyData(const char* d, unsigned int n, unsigned long long s, unsigned long long o) {
    return logIt("PropertyData", d, n, s, o);
}
int WinStreamLogger::handleObjectId(const char* d, unsigned int n, unsigned long long s, unsigned long long o) {
    return logIt("ObjectId", d, n, s, o);
}
int WinStreamLogger::handleReparseData(const char* d, unsigned int n, unsigned long long s, unsigned long long o) {
    return logIt("ReparseData", d, n, s, o);
}
int WinStreamLogger::handleSparseBlock(const char* d, unsigned int n, unsigned long long s, unsigned long long o) {
    return logIt("SparseBlock", d, n, s, o);
}

WinStreamRestore::WinStreamRestore()
    : _writeFailed(false), _lastError(0), _fileHandle(-1), _droppingSparseOffset(false) {
    setDebugPrefix("WINSTREAMRESTORE");
}

void WinStreamRestore::setHandle(int fd) {
    _fileHandle = fd;
    _file.setHandles(fd, fd, SF_OPEN_WRITE);
}

void WinStreamRestore::appendStub(const char* data, size_t length) {
    const size_t room = kStubDataSize - std::min(kStubDataSize, _stubBuffer.size());
    _stubBuffer.insert(_stubBuffer.end(), data, data + std::min(room, length));
}

int WinStreamRestore::handleData(const char* data, unsigned int length, unsigned long long /*size*/,
                                 unsigned long long /*offset*/) {
    if (_stubdataStreamId == kWinStreamData) {
        appendStub(data, length);
        return 0;
    }
    if (_fileHandle == -1) {
        _writeFailed = true;
        _lastError = -1;
        debug(1, "unable to write - no handle\n");
        return 0;
    }
    if (length > _dataLimit - _dataWritten) {
        _pastDataLimit = true;
        debug(1, "data of %u bytes would run past the %llu bytes of the item\n", length, _dataLimit);
        return -1;
    }
    const unsigned long written = _file.write(data, length);
    if (written == length) {
        _dataWritten += length;
        _writeFailed = false;
        _lastError = 0;
        return 0;
    }
    _writeFailed = true;
    _lastError = _file.getLastError();
    debug(1, "data write of %u bytes failed, returns %lu, error code %d\n", length, written, _lastError);
    return -1;
}

int WinStreamRestore::handleReparseData(const char* data, unsigned int length, unsigned long long /*size*/,
                                        unsigned long long /*offset*/) {
    appendStub(data, length);
    return 0;
}

int WinStreamRestore::handleSparseBlock(const char* data, unsigned int length, unsigned long long /*size*/,
                                        unsigned long long offset) {
    if (_stubdataStreamId != kWinStreamSparseBlock || length == 0) {
        return 0;
    }
    if (offset == 0) {
        _droppingSparseOffset = _stubBuffer.empty();
    }
    unsigned int skip = 0;
    if (_droppingSparseOffset && offset < kSparseOffsetSize) {
        skip = static_cast<unsigned int>(std::min<unsigned long long>(kSparseOffsetSize - offset, length));
    }
    appendStub(data + skip, length - skip);
    return 0;
}

int WinStreamRestoreFSDM::handleData(const char* data, unsigned int length, unsigned long long /*size*/,
                                     unsigned long long /*offset*/) {
    _backupData.insert(_backupData.end(), data, data + length);
    return 0;
}

int WinStreamRestoreFSDM::getBackupData(const char* data, unsigned int length, std::vector<char>& out) {
    _backupData.clear();
    if (parse(data, length) < 0) {
        return -1;
    }
    out = _backupData;
    return 0;
}
