#include "clRestore/stream/ConvertCXFileHeader.h"

#include <cstring>

#include "platform/support/ByteOrder.h"

namespace {

// The field's bytes exactly as they lie on the wire.
uint32_t raw32(const unsigned char* fixed, size_t offset) {
    uint32_t value;
    std::memcpy(&value, fixed + offset, sizeof value);
    return value;
}

uint64_t raw64(const unsigned char* fixed, size_t offset) {
    uint64_t value;
    std::memcpy(&value, fixed + offset, sizeof value);
    return value;
}

}  // namespace

int ConvertCXFileHeaderFromNetOrder(CXFileHeader* net, CXFileHeader* host) {
    // Taken whole first, so a conversion in place reads no field it has already written.
    unsigned char fixed[CXHDR_FIXED_SIZE];
    std::memcpy(fixed, static_cast<const void*>(net), sizeof fixed);

    host->h_version = ntohl(raw32(fixed, 0x00));
    host->h_spare04 = ntohl(raw32(fixed, 0x04));
    host->h_nlink = ntohl(raw32(fixed, 0x08));
    host->h_namelen = ntohl(raw32(fixed, 0x0c));
    host->h_mode = ntohll(raw64(fixed, 0x10));
    host->h_uid = ntohll(raw64(fixed, 0x18));
    host->h_gid = ntohll(raw64(fixed, 0x20));
    host->h_spare28 = ntohl(raw32(fixed, 0x28));
    host->h_dev = ntohl(raw32(fixed, 0x2c));
    host->h_flags = ntohll(raw64(fixed, 0x30));
    host->h_size = ntohll(raw64(fixed, 0x38));
    host->h_mtime = ntohll(raw64(fixed, 0x40));
    host->h_ctime = ntohll(raw64(fixed, 0x48));
    host->h_extentOffset = ntohll(raw64(fixed, 0x50));
    host->h_spare58 = ntohll(raw64(fixed, 0x58));
    host->h_spare60 = ntohl(raw32(fixed, 0x60));
    host->h_spare64 = ntohl(raw32(fixed, 0x64));
    host->h_inoHigh = ntohl(raw32(fixed, 0x68));
    host->h_flags2 = ntohl(raw32(fixed, 0x6c));
    host->h_rdev = ntohl(raw32(fixed, 0x70));
    host->h_inoLow = ntohl(raw32(fixed, 0x74));
    host->isFromHFS = raw32(fixed, 0x78);
    host->h_atime = ntohl(raw32(fixed, 0x7c));
    host->h_platform = static_cast<int32_t>(ntohl(raw32(fixed, 0x80)));

    // A bounded copy padded with NULs; memmove because the records may be one.
    size_t length = strnlen(net->h_filename, CXHDR_NAME_SIZE);
    std::memmove(host->h_filename, net->h_filename, length);
    std::memset(host->h_filename + length, 0, CXHDR_NAME_SIZE - length);
    host->h_filename[CXHDR_NAME_SIZE - 1] = '\0';
    return 0;
}
