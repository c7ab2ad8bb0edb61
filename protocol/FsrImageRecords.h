#pragma once
// Protocol records of image-level restores: file pieces in extents, attributes, final times.
// Laid out in memory exactly as decoded; every field starts at zero.
#include <cstdint>

#include "protocol/FsrArchiveRecords.h"

// Body of FSR_MSG_IMG_INIT_INFO.
struct FSRImgInit {
    int64_t clusterSize = 0;
    int32_t sectorSize = 0;
    uint32_t reservedPad = 0;
    int64_t totalFiles = 0;
};
static_assert(sizeof(FSRImgInit) == 24, "FSRImgInit is 24 bytes");

// One file piece: where its bytes lie in an extent of an archive file and where they go.
struct FSRImgAfileOffsets {
    char* name = nullptr;
    uint32_t mode = 0;
    uint32_t reservedPad1 = 0;
    uint64_t FRN = 0;
    uint64_t OffsetInFile = 0;
    FSRArchiveId archiveId;
    uint64_t offsetInAfileId = 0;
    uint64_t nodenum = 0;
    uint64_t ver = 0;
    uint64_t offsetinFileExtent = 0;
    uint64_t dataSizeToRestore = 0;
    uint64_t StreamLength = 0;
    uint64_t ExtentNumber = 0;
    uint32_t attrLength = 0;
    uint32_t reservedPad2 = 0;
    unsigned char* attributes = nullptr;
    uint32_t StreamType = 0;
    uint32_t reservedPad3 = 0;
    uint64_t modTime = 0;
    uint64_t reserved = 0;
};
static_assert(sizeof(FSRImgAfileOffsets) == 152, "FSRImgAfileOffsets is 152 bytes");

// Attributes of one file, or its access-control list when `attributes` and `modTime` are both 0xffee.
struct FSRImgWinStreams {
    char* name = nullptr;
    uint32_t attributes = 0;
    uint32_t reservedPad1 = 0;
    uint64_t modTime = 0;
    uint64_t FRN = 0;
    uint32_t streamLength = 0;
    uint32_t reservedPad2 = 0;
    unsigned char* stream = nullptr;
};
static_assert(sizeof(FSRImgWinStreams) == 48, "FSRImgWinStreams is 48 bytes");

// Final result of one file.
struct FSRImgTimes {
    char* name = nullptr;
    uint32_t mode = 0;
    uint32_t reservedPad = 0;
    uint64_t FRN = 0;
    uint64_t fileSize = 0;
    uint64_t reserved4 = 0;
    uint64_t reserved5 = 0;
};
static_assert(sizeof(FSRImgTimes) == 48, "FSRImgTimes is 48 bytes");

struct FSRImgAfileOffsetsArray {
    int32_t count = 0;
    uint32_t reservedPad = 0;
    FSRImgAfileOffsets* entries = nullptr;
};

struct FSRImgWinStreamsArray {
    int32_t count = 0;
    uint32_t reservedPad = 0;
    FSRImgWinStreams* entries = nullptr;
};

struct FSRImgTimesArray {
    int32_t count = 0;
    uint32_t reservedPad = 0;
    FSRImgTimes* entries = nullptr;
};
