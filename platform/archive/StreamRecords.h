#pragma once
// Payloads of the stream's records in their wire form, as the backup side writes them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/CXFileHeader.h"

namespace fclarchive {

// The PL_FS_HDR payload (1160 bytes) of a host-order header; the name is NUL-padded to its full width.
void encodeFileHeader(const CXFileHeader& header, unsigned char* out);
// The PL_FS_PREHDR payload (1036 bytes). False, and nothing written, for a name longer than a pre-header keeps.
bool encodePreHeader(uint32_t flags, uint32_t version, const char* name, unsigned char* out);
// The PL_HOLE payload (4 bytes).
void encodeHole(uint32_t length, unsigned char* out);
// The PL_FS_PROBE_REPLY payload (16 bytes).
void encodeProbeReply(uint64_t token, uint64_t flags, unsigned char* out);

// What a PL_FS_READ_ERR payload tells: the engine reads each 32-bit value from the low half of an 8-byte slot.
struct ReadErrorRecord {
    uint32_t nodeNumLow = 0;
    uint32_t secondValue = 0;
    uint32_t archiveFileIdWord3 = 0;
    uint32_t archiveFileIdWord4 = 0;
    uint32_t archiveId = 0;
    uint64_t offset = 0;
    uint32_t nodeNumHigh = 0;
};
constexpr size_t kReadErrorPayloadSize = 80;
void encodeReadError(const ReadErrorRecord& record, unsigned char* out);

// Entries of an optional header (PL_FS_OPT_HDR).
constexpr uint32_t kOptTagAccessAcl = 1;
constexpr uint32_t kOptTagDefaultAcl = 2;
constexpr uint32_t kOptTagXattr = 3;
constexpr uint32_t kOptHeaderVersion = 1;
constexpr size_t kOptHeaderPrefix = 16;

// Builds one optional header: the 16-byte prefix (version, length of what follows, 8 zero bytes), then each
// entry as tag, length and value. Reused from item to item without giving its memory back.
class OptHeaderBuilder {
public:
    OptHeaderBuilder() { clear(); }
    void clear();
    void add(uint32_t tag, const void* value, size_t length);
    // A tag-3 entry: the attribute's name, a NUL, its value.
    void addXattr(const char* name, const void* value, size_t length);
    bool empty() const { return bytes_.size() == kOptHeaderPrefix; }
    // The whole payload, its prefix filled in.
    const std::vector<unsigned char>& payload();

private:
    std::vector<unsigned char> bytes_;
};

}  // namespace fclarchive
