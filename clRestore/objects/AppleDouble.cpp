#include "clRestore/objects/AppleDouble.h"

#include <cstdint>
#include <cstring>
#include <istream>
#include <vector>

#include "platform/log/LogWriter.h"

namespace {

constexpr uint32_t kMagic = 0x00051607;
constexpr uint32_t kVersion = 0x00020000;
constexpr uint32_t kFinderInfoEntry = 9;
constexpr uint32_t kResourceForkEntry = 2;
constexpr uint32_t kPrivateEntry = 0x80000001;
constexpr uint32_t kHfsNoPrivateEntry = 0x10;
constexpr size_t kHeaderSize = 26;
constexpr size_t kDescriptorSize = 12;
constexpr size_t kFinderInfoSize = 32;
constexpr size_t kPrivateSize = kFinderInfoOffset;
constexpr size_t kPieceSize = 65536;

std::stringstream* streamOf(FsRestoreUnixObject& item, HFS_DATA_TYPE kind) {
    auto found = item._forkStreams.find(kind);
    return found != item._forkStreams.end() ? found->second.get() : nullptr;
}

void putBigEndian(unsigned char* out, uint32_t value) {
    out[0] = static_cast<unsigned char>(value >> 24);
    out[1] = static_cast<unsigned char>(value >> 16);
    out[2] = static_cast<unsigned char>(value >> 8);
    out[3] = static_cast<unsigned char>(value);
}

// Hole detection is a process-wide switch; the companion is written with it off and the switch put back after.
class HoleDetectionOff {
public:
    HoleDetectionOff() : saved_(FsRestoreUnixObject::_createHoles) { FsRestoreUnixObject::_createHoles = 0; }
    ~HoleDetectionOff() { FsRestoreUnixObject::_createHoles = saved_; }
    HoleDetectionOff(const HoleDetectionOff&) = delete;
    HoleDetectionOff& operator=(const HoleDetectionOff&) = delete;

private:
    int saved_;
};

void put(FsRestoreUnixObject& item, const void* bytes, size_t length) {
    item._writeData(item._rsrchandle, item._rsrcFilename, const_cast<void*>(bytes), static_cast<int>(length));
}

uint64_t streamLength(std::stringstream& stream) {
    stream.clear();
    stream.seekg(0, std::ios::end);
    const std::streamoff end = stream.tellg();
    stream.seekg(0, std::ios::beg);
    return end > 0 ? static_cast<uint64_t>(end) : 0;
}

}  // namespace

bool readAttributeBlock(FsRestoreUnixObject& item, unsigned char (&block)[FsRestoreUnixObject::kHfsAttrBlockSize]) {
    std::stringstream* finder = streamOf(item, HFS_DATA_FINDERINFO);
    if (finder == nullptr) {
        return false;
    }
    finder->clear();
    finder->seekg(0, std::ios::beg);
    finder->read(reinterpret_cast<char*>(block), sizeof block);
    const bool whole = finder->gcount() == static_cast<std::streamsize>(sizeof block);
    finder->clear();
    return whole;
}

void writeAppleDouble(FsRestoreUnixObject& item) {
    HoleDetectionOff holesOff;
    unsigned char block[FsRestoreUnixObject::kHfsAttrBlockSize] = {};
    if (!readAttributeBlock(item, block)) {
        FCL_LOG(0, "HFS_DATA_FINDERINFO not found");
        std::memset(block, 0, sizeof block);
    }
    std::stringstream* fork = streamOf(item, HFS_DATA_RESOURCE_FORK);
    const uint64_t forkLength = fork != nullptr ? streamLength(*fork) : 0;
    const bool privateEntry = (item.isFromHFS & kHfsNoPrivateEntry) == 0;
    const uint16_t count = static_cast<uint16_t>(1 + (fork != nullptr ? 1 : 0) + (privateEntry ? 1 : 0));
    const uint64_t dataStart = kHeaderSize + kDescriptorSize * count;
    if (dataStart + kFinderInfoSize + forkLength + kPrivateSize > UINT32_MAX) {
        FCL_ERROR("The resource fork of [%s] is too large for its AppleDouble file", item._filename.c_str());
        return;
    }

    unsigned char header[24] = {};
    putBigEndian(header, kMagic);
    putBigEndian(header + 4, kVersion);
    put(item, header, sizeof header);
    const unsigned char countBytes[2] = {static_cast<unsigned char>(count >> 8), static_cast<unsigned char>(count)};
    put(item, countBytes, sizeof countBytes);

    uint32_t offset = static_cast<uint32_t>(dataStart);
    auto describe = [&](uint32_t id, uint32_t length) {
        unsigned char descriptor[kDescriptorSize];
        putBigEndian(descriptor, id);
        putBigEndian(descriptor + 4, offset);
        putBigEndian(descriptor + 8, length);
        put(item, descriptor, sizeof descriptor);
        offset += length;
    };
    describe(kFinderInfoEntry, kFinderInfoSize);
    if (fork != nullptr) {
        describe(kResourceForkEntry, static_cast<uint32_t>(forkLength));
    }
    if (privateEntry) {
        describe(kPrivateEntry, static_cast<uint32_t>(kPrivateSize));
    }

    put(item, block + kFinderInfoOffset, kFinderInfoSize);
    if (fork == nullptr) {
        FCL_LOG(0, "HFS_DATA_RESOURCE_FORK not found");
    } else {
        std::vector<char> piece(kPieceSize);
        while (fork->read(piece.data(), static_cast<std::streamsize>(piece.size())) || fork->gcount() > 0) {
            put(item, piece.data(), static_cast<size_t>(fork->gcount()));
        }
        fork->clear();
    }
    if (privateEntry) {
        put(item, block, kPrivateSize);
    }
}
