#include "platform/archive/ArchiveFormat.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/support/ByteOrder.h"
#include "platform/support/Crc32.h"
#include "protocol/CXFileHeader.h"
#include "protocol/FSRPreHeader.h"
#include "protocol/PipelineBuffer.h"

namespace fclarchive {

using wzbytes::loadBE32;
using wzbytes::loadBE64;
using wzbytes::storeBE32;
using wzbytes::storeBE64;

void encodeHeader(const BufferHeader& header, unsigned char* out) {
    std::memset(out, 0, kHeaderSize);
    storeBE32(out + 0x00, header.magic);
    storeBE32(out + 0x04, header.type);
    storeBE32(out + 0x08, header.crc);
    storeBE64(out + 0x10, header.offset);
    storeBE32(out + 0x24, header.payloadLength);
    storeBE32(out + 0x28, header.compressedLength);
}

BufferHeader decodeHeader(const unsigned char* in) {
    BufferHeader header;
    header.magic = loadBE32(in + 0x00);
    header.type = loadBE32(in + 0x04);
    header.crc = loadBE32(in + 0x08);
    header.offset = loadBE64(in + 0x10);
    header.payloadLength = loadBE32(in + 0x24);
    header.compressedLength = loadBE32(in + 0x28);
    return header;
}

uint32_t payloadCrc(const void* payload, size_t length) {
    return wzcrc::crc32Update(0, payload, length);
}

uint32_t bufferCrc(const unsigned char* header, const void* payload, size_t length) {
    unsigned char copy[kHeaderSize];
    std::memcpy(copy, header, kHeaderSize);
    storeBE32(copy + 0x08, 0);
    return wzcrc::crc32Update(wzcrc::crc32Update(0, copy, kHeaderSize), payload, length);
}

void sealHeader(unsigned char* header, const void* payload, size_t length) {
    storeBE32(header + 0x08, bufferCrc(header, payload, length));
}

bool isArchiveBufferType(uint32_t type) {
    switch (type) {
        case PL_DATA:
        case PL_FS_HDR:
        case PL_FS_OPT_HDR:
        case PL_FS_EOF:
        case PL_FS_BAD_FILE:
        case PL_FS_READ_ERR:
        case PL_FS_PREHDR:
        case PL_DM_SI_LINK:
        case PL_RESTORE_HEAD_NAME:
        case PL_FS_HI_WATER_MARK:
        case PL_FS_LO_WATER_MARK:
        case PL_FS_EXTENTS:
        case PL_FS_OPT_HDR2:
        case PL_FS_EXTENT_DATA:
        case PL_SDM_PARAMERTERS:
        case PL_SDM_PADDING:
        case PL_FS_INDEX_HDR:
        case PL_VS_DISK_INFO:
        case PL_VS_VOL_HEADER_INFO:
        case PL_VS_VOL_HEADER_METADATA:
        case PL_VS_VOL_HEADER_METADATA_EOF:
        case PL_AFILE_OPENED:
        case PL_FS_OPT_HDR3:
        case PL_HOLE:
        case PL_FS_OPT_HDR4:
        case PL_FS_CLDEDUP:
        case PL_FS_PROBE_REPLY:
        case PL_FS_SYSTEM_STATE_ITEM_METADATA_HDR:
            return true;
        default:
            return false;
    }
}

uint32_t minimumPayload(uint32_t type) {
    switch (type) {
        case PL_FS_HDR:
            return CXHDR_SIZE;
        case PL_FS_PREHDR:
            return sizeof(FSRPreHeader);
        case PL_HOLE:
            return 4;
        case PL_FS_READ_ERR:
            return 80;
        case PL_FS_PROBE_REPLY:
            return 16;
        case PL_FS_OPT_HDR:
            return 16;
        default:
            return 0;
    }
}

const char* const kEndsInsideBuffer = "the file ends inside a buffer";

const char* framingFault(const BufferHeader& header, uint64_t at, uint64_t fileSize) {
    if (header.magic != kBufferMagic) {
        return "no buffer header";
    }
    if (header.offset != at) {
        return "a buffer header out of its place";
    }
    if (header.payloadLength > kMaxPayload) {
        return "a payload length beyond the limit";
    }
    if (fileSize < at || fileSize - at < kHeaderSize + uint64_t{header.payloadLength}) {
        return kEndsInsideBuffer;
    }
    return nullptr;
}

const char* contentFault(const BufferHeader& header) {
    if (header.type == PL_FS_CLOSE_AFILE) {
        return "an end-of-archive buffer inside the file";
    }
    if (!isArchiveBufferType(header.type)) {
        return "an unknown buffer type";
    }
    if (header.payloadLength < minimumPayload(header.type)) {
        return "a payload too short for its buffer type";
    }
    return nullptr;
}

const char* headerFault(const BufferHeader& header, uint64_t at, uint64_t fileSize) {
    const char* fault = framingFault(header, at, fileSize);
    return fault != nullptr ? fault : contentFault(header);
}

std::string archiveFilePath(const std::string& mediaDir, uint64_t archiveFileId) {
    return mediaDir + "/" + std::to_string(archiveFileId) + ".afile";
}

std::string indexFilePath(const std::string& mediaDir, uint64_t archiveFileId) {
    return mediaDir + "/" + std::to_string(archiveFileId) + ".index";
}

namespace {

std::vector<uint64_t> listIdsWithSuffix(const std::string& mediaDir, const std::string& suffix, int* error) {
    std::vector<uint64_t> ids;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(mediaDir.c_str()), closedir);
    if (!dir) {
        if (error != nullptr) {
            *error = errno;
        }
        return ids;
    }
    while (const dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        uint64_t id = 0;
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
            parseDecimal(name.substr(0, name.size() - suffix.size()), id)) {
            ids.push_back(id);
        }
    }
    std::sort(ids.begin(), ids.end());
    if (error != nullptr) {
        *error = 0;
    }
    return ids;
}

}  // namespace

std::vector<uint64_t> listArchiveFiles(const std::string& mediaDir, int* error) {
    return listIdsWithSuffix(mediaDir, ".afile", error);
}

std::vector<uint64_t> listIndexFiles(const std::string& mediaDir, int* error) {
    return listIdsWithSuffix(mediaDir, ".index", error);
}

bool parseDecimal(const std::string& text, uint64_t& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    errno = 0;
    unsigned long long parsed = std::strtoull(text.c_str(), nullptr, 10);
    if (errno == ERANGE) {
        return false;
    }
    value = parsed;
    return true;
}

}  // namespace fclarchive
