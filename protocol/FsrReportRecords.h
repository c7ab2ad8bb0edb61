#pragma once
// Protocol records the engine sends to report on the job: the current item, progress, read errors, extent status.
// Laid out in memory exactly as sent; every field starts at zero.
#include <cstdint>

// Identification of an archive file inside an error report.
struct FSRArchiveFileId {
    uint64_t reserved0 = 0;
    uint64_t reserved1 = 0;
    uint64_t word2 = 0;
    uint64_t word3 = 0;
    uint64_t archiveId = 0;
};
static_assert(sizeof(FSRArchiveFileId) == 40, "FSRArchiveFileId is 5 words");

// Body of FSR_MSG_ERROR_REPORT, and of the FIR's answer FSR_MSG_ERROR_REPORT_7_0, which names the item.
struct FSRErrorReport {
    uint64_t nodeNumLow = 0;
    uint64_t secondValue = 0;
    FSRArchiveFileId archFileId;
    uint64_t offset = 0;
    char* name = nullptr;
    uint64_t nodeNumHigh = 0;
};
static_assert(sizeof(FSRErrorReport) == 80, "FSRErrorReport is 80 bytes");

// Body of FSR_MSG_RESTORE_ITEM: the item being restored.
struct FSRRestoreItem {
    uint64_t dirFlag = 0;
    char* name = nullptr;
    uint64_t mtime = 0;
    uint64_t size = 0;
    uint64_t reserved4 = 0;
    uint64_t errCode = 0;
    uint64_t reserved6 = 0;
};
static_assert(sizeof(FSRRestoreItem) == 56, "FSRRestoreItem is 56 bytes");

// Body of FSR_MSG_PROGRESS_REPORT_5_9.
struct FSRProgressReport_5_9 {
    uint64_t jobToken = 0;
    uint64_t jobId = 0;
    char* subclientName = nullptr;
    uint64_t totalFiles = 0;
    uint64_t filesSucceeded = 0;
    uint64_t filesSkipped = 0;
    uint64_t filesFailed = 0;
    uint64_t compBytesSucceeded = 0;
    uint64_t bytesSucceeded = 0;
    int32_t final = 0;
    uint32_t reservedPad = 0;
};
static_assert(sizeof(FSRProgressReport_5_9) == 80, "FSRProgressReport_5_9 is 80 bytes");

// Body of FSR_MSG_PROGRESS_REPORT_11_14: the smaller report and five more words.
struct FSRProgressReport_11_14 {
    FSRProgressReport_5_9 progress;
    uint64_t objectsProcessed = 0;
    uint64_t filesToRestore = 0;
    uint64_t reserved12 = 0;
    uint64_t reserved13 = 0;
    uint64_t reserved14 = 0;
};
static_assert(sizeof(FSRProgressReport_11_14) == 120, "FSRProgressReport_11_14 is 120 bytes");

// Body of FSR_MSG_IMG_EXTENT_RESTORE_STATUS.
struct FSRImgExtentRestoreStatus {
    char* name = nullptr;
    int32_t status = 0;
    uint32_t reservedPad = 0;
};
static_assert(sizeof(FSRImgExtentRestoreStatus) == 16, "FSRImgExtentRestoreStatus is 16 bytes");

// Received but never read by the engine; the layout is ours.
struct FSRArchFileIdArray {
    uint32_t count = 0;
    uint32_t reservedPad = 0;
    FSRArchiveFileId* entries = nullptr;
};
