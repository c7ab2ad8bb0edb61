#pragma once
// The header of one item of the data stream. On the wire it is the payload of a PL_FS_HDR buffer in network byte
// order; in memory the same layout in host order. Each field answers to two names: the `h_` name the stream
// handlers use and the name the factory and the restore objects use.
#include <cstddef>
#include <cstdint>
#include <cstring>

// Bits of h_flags read by the system.
constexpr uint64_t CXHDR_F_ORACLE = 0x0000200000000000ULL;
constexpr uint64_t CXHDR_F_PORTABLE_ACL = 0x0100000000000000ULL;
constexpr uint64_t CXHDR_F_STUB = 0x0200000000000000ULL;
constexpr uint64_t CXHDR_F_EXCHANGE_MASK = 0x6100000000000000ULL;

// Bits of h_flags2 read by the system.
constexpr uint32_t CXHDR_F2_UFSDUMP = 0x1;
constexpr uint32_t CXHDR_F2_STUB = 0x4;
constexpr uint32_t CXHDR_F2_STUB_GUID = 0x8;
constexpr uint32_t CXHDR_F2_LONG_PATH = 0x20;
constexpr uint32_t CXHDR_F2_CONTAINER = 0x2000;
constexpr uint32_t CXHDR_F2_EXTENT = 0x4000;

// The platform id of this operating system in h_platform.
constexpr int32_t CXHDR_PLATFORM_UNIX = 25;

constexpr size_t CXHDR_NAME_SIZE = 1028;
// The numeric part in front of the name.
constexpr size_t CXHDR_FIXED_SIZE = 0x84;
constexpr size_t CXHDR_SIZE = CXHDR_FIXED_SIZE + CXHDR_NAME_SIZE;

struct CXFileHeader {
    // Every numeric field zero and an empty name; the rest of the name is left as it was.
    CXFileHeader() {
        std::memset(static_cast<void*>(this), 0, CXHDR_FIXED_SIZE);
        h_filename[0] = '\0';
    }

    union {
        uint32_t h_version;
        uint32_t headerVersion;
    };
    uint32_t h_spare04;
    union {
        uint32_t h_nlink;
        uint32_t linkCount;
    };
    union {
        uint32_t h_namelen;
        uint32_t nameLength;
    };
    union {
        uint64_t h_mode;
        uint64_t mode;
    };
    union {
        uint64_t h_uid;
        uint64_t uid;
    };
    union {
        uint64_t h_gid;
        uint64_t gid;
    };
    uint32_t h_spare28;
    union {
        uint32_t h_dev;
        uint32_t fileAttributes;
    };
    union {
        uint64_t h_flags;
        uint64_t flags;
    };
    union {
        uint64_t h_size;
        uint64_t size;
    };
    union {
        uint64_t h_mtime;
        uint64_t mtime;
    };
    union {
        uint64_t h_ctime;
        uint64_t ctime;
    };
    union {
        uint64_t h_extentOffset;
        uint64_t extentOffset;
    };
    uint64_t h_spare58;
    uint32_t h_spare60;
    uint32_t h_spare64;
    union {
        uint32_t h_inoHigh;
        uint32_t inodeHigh;
    };
    union {
        uint32_t h_flags2;
        uint32_t flags2;
    };
    union {
        uint32_t h_rdev;
        uint32_t rdev;
    };
    union {
        uint32_t h_inoLow;
        uint32_t inodeLow;
    };
    // Never byte-swapped: version-1 headers read all four bytes as one number, others only the first.
    union {
        struct {
            uint8_t h_isHfs;
            uint8_t h_spare79[3];
        };
        uint32_t isFromHFS;
    };
    union {
        uint32_t h_atime;
        uint32_t atime;
    };
    union {
        int32_t h_platform;
        int32_t sourcePlatform;
    };
    union {
        char h_filename[CXHDR_NAME_SIZE];
        char name[CXHDR_NAME_SIZE];
    };
};

static_assert(sizeof(CXFileHeader) == 1160, "CXFileHeader is 1160 bytes");
static_assert(offsetof(CXFileHeader, h_version) == 0x00, "h_version");
static_assert(offsetof(CXFileHeader, h_spare04) == 0x04, "h_spare04");
static_assert(offsetof(CXFileHeader, h_nlink) == 0x08, "h_nlink");
static_assert(offsetof(CXFileHeader, h_namelen) == 0x0c, "h_namelen");
static_assert(offsetof(CXFileHeader, h_mode) == 0x10, "h_mode");
static_assert(offsetof(CXFileHeader, h_uid) == 0x18, "h_uid");
static_assert(offsetof(CXFileHeader, h_gid) == 0x20, "h_gid");
static_assert(offsetof(CXFileHeader, h_spare28) == 0x28, "h_spare28");
static_assert(offsetof(CXFileHeader, h_dev) == 0x2c, "h_dev");
static_assert(offsetof(CXFileHeader, h_flags) == 0x30, "h_flags");
static_assert(offsetof(CXFileHeader, h_size) == 0x38, "h_size");
static_assert(offsetof(CXFileHeader, h_mtime) == 0x40, "h_mtime");
static_assert(offsetof(CXFileHeader, h_ctime) == 0x48, "h_ctime");
static_assert(offsetof(CXFileHeader, h_extentOffset) == 0x50, "h_extentOffset");
static_assert(offsetof(CXFileHeader, h_spare58) == 0x58, "h_spare58");
static_assert(offsetof(CXFileHeader, h_spare60) == 0x60, "h_spare60");
static_assert(offsetof(CXFileHeader, h_spare64) == 0x64, "h_spare64");
static_assert(offsetof(CXFileHeader, h_inoHigh) == 0x68, "h_inoHigh");
static_assert(offsetof(CXFileHeader, h_flags2) == 0x6c, "h_flags2");
static_assert(offsetof(CXFileHeader, h_rdev) == 0x70, "h_rdev");
static_assert(offsetof(CXFileHeader, h_inoLow) == 0x74, "h_inoLow");
static_assert(offsetof(CXFileHeader, h_isHfs) == 0x78, "h_isHfs");
static_assert(offsetof(CXFileHeader, h_spare79) == 0x79, "h_spare79");
static_assert(offsetof(CXFileHeader, isFromHFS) == 0x78, "isFromHFS");
static_assert(offsetof(CXFileHeader, h_atime) == 0x7c, "h_atime");
static_assert(offsetof(CXFileHeader, h_platform) == 0x80, "h_platform");
static_assert(offsetof(CXFileHeader, h_filename) == CXHDR_FIXED_SIZE, "h_filename");
