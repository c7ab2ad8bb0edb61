#pragma once
// Protocol records about archive files: opening them, the positions to read, chunks, snap sources and seek markers.
// Laid out in memory exactly as the engine and the archive library exchange them; every field starts at zero.
#include <cstdint>

// Identity of one archive file; the third word names the file.
struct FSRArchiveId {
    uint64_t reserved0 = 0;
    uint64_t reserved1 = 0;
    uint64_t archiveFileId = 0;
};
static_assert(sizeof(FSRArchiveId) == 24, "FSRArchiveId is 3 words");

// Body of FSR_MSG_OPEN_ARCHIVE. The engine writes the copy id and reads the identity; the rest is carried through.
struct FSROpenArchive {
    uint64_t copyId = 0;
    uint64_t zendrelId = 0;
    uint64_t middleId = 0;
    uint64_t archiveFileId = 0;
    uint64_t reserved4 = 0;
    uint64_t reserved5 = 0;
};
static_assert(sizeof(FSROpenArchive) == 48, "FSROpenArchive is 6 words");

// Kinds of archive file named by FSR_MSG_PRE_OPEN_ARCHIVE.
enum : int32_t {
    FSR_ARCHIVE_KIND_NORMAL = 0,
    FSR_ARCHIVE_KIND_SNAP = 1,
};

// Body of FSR_MSG_PRE_OPEN_ARCHIVE.
struct FSRPreOpenArchive {
    int32_t archiveKind = 0;
    uint32_t reservedPad = 0;
    char* reservedOptions = nullptr;
    uint64_t reserved2 = 0;
    uint64_t reserved3 = 0;
};
static_assert(sizeof(FSRPreOpenArchive) == 32, "FSRPreOpenArchive is 32 bytes");

// Body of FSR_MSG_SNAP_SRC_PATH: the engine sets the second word to 1 and reads the path.
struct FSRSnapSrcPath {
    uint64_t reserved0 = 0;
    uint64_t reserved1 = 0;
    uint64_t reserved2 = 0;
    uint64_t reserved3 = 0;
    uint64_t reserved4 = 0;
    char* path = nullptr;
    uint64_t reserved6 = 0;
    uint64_t reserved7 = 0;
    uint64_t reserved8 = 0;
    uint64_t reserved9 = 0;
};
static_assert(sizeof(FSRSnapSrcPath) == 80, "FSRSnapSrcPath is 80 bytes");

// Body of FSR_MSG_SNAP_SRC_PATH_ARRAY.
struct FSRSnapSrcPathArray {
    uint64_t reserved0 = 0;
    uint64_t reserved1 = 0;
    uint32_t count = 0;
    uint32_t reservedPad = 0;
    FSRSnapSrcPath* entries = nullptr;
};
static_assert(sizeof(FSRSnapSrcPathArray) == 32, "FSRSnapSrcPathArray is 32 bytes");

// Bits of a seek's flags word.
enum : uint64_t {
    SEEK_ARCHIVE_DELETED_FLAG = 0x1,
    SEEK_ARCHIVE_STUBLINK_FLAG = 0x2,
    SEEK_ARCHIVE_DIRECTORY_FLAG = 0x4,
    SEEK_ARCHIVE_HLINK_FLAG = 0x8,
    SEEK_ARCHIVE_LONGPATH_FLAG = 0x10,
    SEEK_ARCHIVE_STUB_WITHOUT_DATA_FLAG = 0x20,
    SEEK_ARCHIVE_RUVO_RESTORE_FILE = 0x40,
    SEEK_ARCHIVE_RUVO_RESTORE_LAST_FILE = 0x80,
    SEEK_ARCHIVE_PRE_HDR_HOLD = 0x100,
    SEEK_ARCHIVE_DELETED_ITEM = 0x200,
    SEEK_ARCHIVE_STUB_ITEM = 0x400,
    SEEK_ARCHIVE_EXTENT_ITEM = 0x800,
    SEEK_ARCHIVE_HAS_EXTENTS = 0x1000,
    SEEK_ARCHIVE_EXCH_METADATA_IN_LINK = 0x2000,
    SEEK_ARCHIVE_REGULAR_FILE_AS_EXTENT_ITEM = 0x4000,
    SEEK_ARCHIVE_LIVE_BROWSE_CACHE = 0x8000,
    SEEK_ARCHIVE_NAS_LOGICAL_OFFSET = 0x10000,
    SEEK_ARCHIVE_METADATA_CLUSTERS = 0x20000,
};

// One plain seek.
struct FSRSeekArchive {
    uint64_t offset = 0;
    uint64_t secondPosition = 0;
    uint64_t version = 0;
    char* linkName = nullptr;
    uint64_t flags = 0;
};
static_assert(sizeof(FSRSeekArchive) == 40, "FSRSeekArchive is 40 bytes");

// Body of FSR_MSG_SEEK_TO_OFFSET.
struct FSRSeekArchiveArray {
    uint32_t count = 0;
    uint32_t reservedPad = 0;
    FSRSeekArchive* entries = nullptr;
};
static_assert(sizeof(FSRSeekArchiveArray) == 16, "FSRSeekArchiveArray is 16 bytes");

// One seek of the version-10 forms; `sixthWord` goes to the seek decision after the path.
struct FSRSeekArchive_10 {
    uint64_t offset = 0;
    uint64_t secondPosition = 0;
    uint64_t version = 0;
    char* linkName = nullptr;
    uint64_t flags = 0;
    char* path = nullptr;
    uint64_t sixthWord = 0;
    uint64_t size = 0;
    uint64_t reserved8 = 0;
    uint64_t reserved9 = 0;
};
static_assert(sizeof(FSRSeekArchive_10) == 80, "FSRSeekArchive_10 is 80 bytes");

struct FSRSeekArchive_10_V2 {
    uint64_t offset = 0;
    uint64_t secondPosition = 0;
    uint64_t version = 0;
    char* linkName = nullptr;
    uint64_t flags = 0;
    char* path = nullptr;
    uint64_t sixthWord = 0;
    uint64_t size = 0;
    uint64_t reserved8 = 0;
    uint64_t reserved9 = 0;
    uint64_t extraSeekWord0 = 0;
    uint64_t extraSeekWord1 = 0;
    uint64_t extraSeekWord2 = 0;
};
static_assert(sizeof(FSRSeekArchive_10_V2) == 104, "FSRSeekArchive_10_V2 is 104 bytes");

// Bodies of FSR_MSG_SEEK_TO_OFFSET_10 and FSR_MSG_SEEK_TO_OFFSET_10_V2.
struct FSRSeekArchiveArray_10 {
    uint32_t count = 0;
    uint32_t reservedPad = 0;
    FSRSeekArchive_10* entries = nullptr;
};
static_assert(sizeof(FSRSeekArchiveArray_10) == 16, "FSRSeekArchiveArray_10 is 16 bytes");

struct FSRSeekArchiveArray_10_V2 {
    uint32_t count = 0;
    uint32_t reservedPad = 0;
    FSRSeekArchive_10_V2* entries = nullptr;
};
static_assert(sizeof(FSRSeekArchiveArray_10_V2) == 16, "FSRSeekArchiveArray_10_V2 is 16 bytes");

// Fixed part of FSR_MSG_OPEN_CHUNK; `tailLength` bytes follow it in the same buffer and travel with it.
struct FSROpenChunk {
    uint64_t reserved0 = 0;
    uint64_t reserved1 = 0;
    uint64_t reserved2 = 0;
    uint64_t reserved3 = 0;
    uint64_t chunkId = 0;
    uint64_t reserved5 = 0;
    uint64_t reserved6 = 0;
    uint64_t reserved7 = 0;
    uint64_t reserved8 = 0;
    uint64_t reserved9 = 0;
    uint32_t tailLength = 0;
    uint32_t reserved10b = 0;
    uint64_t reserved11 = 0;
};
static_assert(sizeof(FSROpenChunk) == 96, "FSROpenChunk's fixed part is 96 bytes");

// Body of FSR_MSG_PROBE_RESTORE_HEAD, the seek marker.
struct FSRProbeRstHead {
    int64_t numSeekMsgs = 0;
    uint64_t reserved1 = 0;
    uint64_t reserved2 = 0;
    uint64_t reserved3 = 0;
    uint64_t reserved4 = 0;
    uint64_t reserved5 = 0;
};
static_assert(sizeof(FSRProbeRstHead) == 48, "FSRProbeRstHead is 6 words");

// Received but never read by the engine; the layouts are ours.
struct FSRNasSeekArchiveArray {
    uint32_t count = 0;
    uint32_t reservedPad = 0;
    FSRSeekArchive* entries = nullptr;
};
