#pragma once
// Protocol records that set up a job: who it is, its parameters and source paths, and the small requests around them.
// Every record is laid out in memory exactly as it travels between the engine and its peers' libraries; every
// field starts at zero.
#include <cstdint>

// Body of FSR_MSG_INIT_DATA: 22 words. Strings belong to the received message.
struct FSRInitData {
    uint64_t zendrelNumber = 0;
    uint64_t appNumber = 0;
    uint64_t appType = 0;
    uint64_t copyPrecedence = 0;
    uint64_t reserved4 = 0;
    uint64_t reserved5 = 0;
    uint64_t reserved6 = 0;
    int64_t archiveSequence = 0;
    int64_t jobId = 0;
    char* sourceMachine = nullptr;
    char* destMachine = nullptr;
    char* subclientName = nullptr;
    uint64_t numFiles = 0;
    char* reserved13 = nullptr;
    char* reserved14 = nullptr;
    char* suffixTag = nullptr;
    char* restoreSuffix = nullptr;
    uint64_t reserved17 = 0;
    uint64_t reserved18 = 0;
    uint64_t reserved19 = 0;
    uint64_t reserved20 = 0;
    char* reservedString = nullptr;
};
static_assert(sizeof(FSRInitData) == 22 * 8, "FSRInitData is 22 words");

// Body of FSR_MSG_INIT_DATA_VER2.
struct FSRInitDataVer2 {
    uint64_t srcClientId = 0;
    uint64_t dstClientId = 0;
    uint64_t reserved2 = 0;
    uint64_t reserved3 = 0;
    uint64_t backupType = 0;
    uint64_t restoreType = 0;
    uint64_t snapRestore = 0;
    uint64_t reserved7 = 0;
};
static_assert(sizeof(FSRInitDataVer2) == 8 * 8, "FSRInitDataVer2 is 8 words");

// Body of FSR_MSG_SET_PARAMS.
struct FSRSetParams {
    char* destDir = nullptr;
    uint64_t numSrcPaths = 0;
    uint64_t options = 0;
    uint64_t reserved3 = 0;
};
static_assert(sizeof(FSRSetParams) == 32, "FSRSetParams is 4 words");

// Body of FSR_MSG_SRC_PATH, and one element of the job's source-path array.
struct FSRSrcPath {
    int64_t index = 0;
    uint64_t stripLevel = 0;
    char* path = nullptr;
};
static_assert(sizeof(FSRSrcPath) == 24, "FSRSrcPath is 3 words");

// Body of FSR_GET_META_DATA_FOLDER and of its answer FSR_MSG_META_DATA_FOLDER.
struct FSRMetaDataFolder {
    uint64_t requestWord0 = 0;
    uint64_t requestWord1 = 0;
    char* folderPath = nullptr;
};
static_assert(sizeof(FSRMetaDataFolder) == 24, "FSRMetaDataFolder is 3 words");

// Received but never read by the engine; the layouts are ours.
struct FSRDestPath {
    uint64_t index = 0;
    char* path = nullptr;
};

struct FSRVirtualServerRestoreInfo {
    uint64_t reserved0 = 0;
    char* info = nullptr;
};

struct FSRVirtualServerRestoreEnd {
    uint64_t reserved0 = 0;
};
