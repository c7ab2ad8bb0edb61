#pragma once
// One buffer of the data stream as the archive reader hands it out: a 96-byte header, then the payload. The
// engine reads only the two lengths of the header (big-endian); the other header bytes are the reader's.
#include <cstddef>
#include <cstdint>

struct PipelineBufHeader_t {
    unsigned char unread00[0x24];
    uint32_t payloadLength;     // big-endian
    uint32_t compressedLength;  // big-endian: what the payload took in the backup
    unsigned char unread2c[52];
};

constexpr size_t PL_BUF_HEADER_SIZE = 96;
static_assert(sizeof(PipelineBufHeader_t) == PL_BUF_HEADER_SIZE, "PipelineBufHeader_t is 96 bytes");
static_assert(offsetof(PipelineBufHeader_t, payloadLength) == 0x24, "payloadLength");
static_assert(offsetof(PipelineBufHeader_t, compressedLength) == 0x28, "compressedLength");

inline unsigned char* PipelineBufPayload(void* buffer) {
    return static_cast<unsigned char*>(buffer) + PL_BUF_HEADER_SIZE;
}

// Buffer types, as delivered with each read.
constexpr unsigned long PL_DATA = 0x2;
constexpr unsigned long PL_FS_HDR = 0x80;
constexpr unsigned long PL_FS_OPT_HDR = 0x81;
constexpr unsigned long PL_FS_EOF = 0x82;
constexpr unsigned long PL_FS_CLOSE_AFILE = 0x84;
constexpr unsigned long PL_FS_BAD_FILE = 0x86;
constexpr unsigned long PL_FS_READ_ERR = 0x87;
constexpr unsigned long PL_FS_PREHDR = 0x89;
constexpr unsigned long PL_DM_SI_LINK = 0x8d;
constexpr unsigned long PL_RESTORE_HEAD_NAME = 0x90;
constexpr unsigned long PL_FS_HI_WATER_MARK = 0x91;
constexpr unsigned long PL_FS_LO_WATER_MARK = 0x92;
constexpr unsigned long PL_FS_EXTENTS = 0x93;
constexpr unsigned long PL_FS_OPT_HDR2 = 0x95;
constexpr unsigned long PL_FS_EXTENT_DATA = 0x96;
constexpr unsigned long PL_SDM_PARAMERTERS = 0x97;
constexpr unsigned long PL_SDM_PADDING = 0x98;
constexpr unsigned long PL_FS_INDEX_HDR = 0x9f;
constexpr unsigned long PL_VS_DISK_INFO = 0x10a;
constexpr unsigned long PL_VS_VOL_HEADER_INFO = 0x10b;
constexpr unsigned long PL_VS_VOL_HEADER_METADATA = 0x10c;
constexpr unsigned long PL_VS_VOL_HEADER_METADATA_EOF = 0x10d;
constexpr unsigned long PL_AFILE_OPENED = 0x121;
constexpr unsigned long PL_FS_OPT_HDR3 = 0x122;
constexpr unsigned long PL_HOLE = 0x125;
constexpr unsigned long PL_FS_OPT_HDR4 = 0x13a;
constexpr unsigned long PL_FS_CLDEDUP = 0x142;
constexpr unsigned long PL_FS_PROBE_REPLY = 0x151;
constexpr unsigned long PL_FS_SYSTEM_STATE_ITEM_METADATA_HDR = 0x155;
