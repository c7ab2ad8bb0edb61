#include "platform/archive/StreamRecords.h"

#include <cstring>

#include "platform/support/ByteOrder.h"
#include "protocol/FSRPreHeader.h"

namespace fclarchive {

using wzbytes::storeBE32;
using wzbytes::storeBE64;

void encodeFileHeader(const CXFileHeader& header, unsigned char* out) {
    storeBE32(out + 0x00, header.h_version);
    storeBE32(out + 0x04, header.h_spare04);
    storeBE32(out + 0x08, header.h_nlink);
    storeBE32(out + 0x0c, header.h_namelen);
    storeBE64(out + 0x10, header.h_mode);
    storeBE64(out + 0x18, header.h_uid);
    storeBE64(out + 0x20, header.h_gid);
    storeBE32(out + 0x28, header.h_spare28);
    storeBE32(out + 0x2c, header.h_dev);
    storeBE64(out + 0x30, header.h_flags);
    storeBE64(out + 0x38, header.h_size);
    storeBE64(out + 0x40, header.h_mtime);
    storeBE64(out + 0x48, header.h_ctime);
    storeBE64(out + 0x50, header.h_extentOffset);
    storeBE64(out + 0x58, header.h_spare58);
    storeBE32(out + 0x60, header.h_spare60);
    storeBE32(out + 0x64, header.h_spare64);
    storeBE32(out + 0x68, header.h_inoHigh);
    storeBE32(out + 0x6c, header.h_flags2);
    storeBE32(out + 0x70, header.h_rdev);
    storeBE32(out + 0x74, header.h_inoLow);
    std::memcpy(out + 0x78, &header.isFromHFS, 4);
    storeBE32(out + 0x7c, header.h_atime);
    storeBE32(out + 0x80, static_cast<uint32_t>(header.h_platform));
    size_t length = strnlen(header.h_filename, CXHDR_NAME_SIZE - 1);
    std::memcpy(out + CXHDR_FIXED_SIZE, header.h_filename, length);
    std::memset(out + CXHDR_FIXED_SIZE + length, 0, CXHDR_NAME_SIZE - length);
}

bool encodePreHeader(uint32_t flags, uint32_t version, const char* name, unsigned char* out) {
    size_t length = std::strlen(name);
    if (length > FSR_PREHDR_NAME_MAX) {
        return false;
    }
    storeBE32(out, flags);
    storeBE32(out + 4, version);
    std::memcpy(out + 8, name, length);
    std::memset(out + 8 + length, 0, FSR_PREHDR_NAME_SIZE - length);
    return true;
}

void encodeHole(uint32_t length, unsigned char* out) {
    storeBE32(out, length);
}

void encodeProbeReply(uint64_t token, uint64_t flags, unsigned char* out) {
    storeBE64(out, token);
    storeBE64(out + 8, flags);
}

void encodeReadError(const ReadErrorRecord& record, unsigned char* out) {
    std::memset(out, 0, kReadErrorPayloadSize);
    storeBE64(out + 0, record.nodeNumLow);
    storeBE64(out + 8, record.secondValue);
    storeBE64(out + 32, record.archiveFileIdWord3);
    storeBE64(out + 40, record.archiveFileIdWord4);
    storeBE64(out + 48, record.archiveId);
    storeBE64(out + 56, record.offset);
    storeBE64(out + 72, record.nodeNumHigh);
}

void OptHeaderBuilder::clear() {
    bytes_.assign(kOptHeaderPrefix, 0);
}

void OptHeaderBuilder::add(uint32_t tag, const void* value, size_t length) {
    size_t at = bytes_.size();
    bytes_.resize(at + 8 + length);
    storeBE32(bytes_.data() + at, tag);
    storeBE32(bytes_.data() + at + 4, static_cast<uint32_t>(length));
    if (length != 0) {
        std::memcpy(bytes_.data() + at + 8, value, length);
    }
}

void OptHeaderBuilder::addXattr(const char* name, const void* value, size_t length) {
    size_t nameLength = std::strlen(name);
    size_t at = bytes_.size();
    size_t entry = nameLength + 1 + length;
    bytes_.resize(at + 8 + entry);
    unsigned char* p = bytes_.data() + at;
    storeBE32(p, kOptTagXattr);
    storeBE32(p + 4, static_cast<uint32_t>(entry));
    std::memcpy(p + 8, name, nameLength + 1);
    if (length != 0) {
        std::memcpy(p + 8 + nameLength + 1, value, length);
    }
}

const std::vector<unsigned char>& OptHeaderBuilder::payload() {
    storeBE32(bytes_.data(), kOptHeaderVersion);
    storeBE32(bytes_.data() + 4, static_cast<uint32_t>(bytes_.size() - kOptHeaderPrefix));
    std::memset(bytes_.data() + 8, 0, 8);
    return bytes_;
}

}  // namespace fclarchive
