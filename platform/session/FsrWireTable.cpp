#include "platform/session/FsrWireTable.h"

#include <algorithm>
#include <iterator>

#include "protocol/FsrMessages.h"
#include "protocol/FsrRecords.h"

namespace wzsession {
namespace {

template <size_t N>
constexpr RecordLayout layout(const char* name, uint32_t size, const FieldLayout (&fields)[N]) {
    return RecordLayout{name, size, fields, static_cast<uint32_t>(N)};
}

#define WZS_RECORD(Rec, ...)                             \
    constexpr FieldLayout Rec##Fields[] = {__VA_ARGS__}; \
    constexpr RecordLayout Rec##Layout = layout(#Rec, sizeof(Rec), Rec##Fields)

WZS_RECORD(FSRInitData, WZS_FIELD(FSRInitData, zendrelNumber), WZS_FIELD(FSRInitData, appNumber),
           WZS_FIELD(FSRInitData, appType), WZS_FIELD(FSRInitData, copyPrecedence), WZS_FIELD(FSRInitData, reserved4),
           WZS_FIELD(FSRInitData, reserved5), WZS_FIELD(FSRInitData, reserved6),
           WZS_FIELD(FSRInitData, archiveSequence), WZS_FIELD(FSRInitData, jobId),
           WZS_FIELD(FSRInitData, sourceMachine), WZS_FIELD(FSRInitData, destMachine),
           WZS_FIELD(FSRInitData, subclientName), WZS_FIELD(FSRInitData, numFiles), WZS_FIELD(FSRInitData, reserved13),
           WZS_FIELD(FSRInitData, reserved14), WZS_FIELD(FSRInitData, suffixTag), WZS_FIELD(FSRInitData, restoreSuffix),
           WZS_FIELD(FSRInitData, reserved17), WZS_FIELD(FSRInitData, reserved18), WZS_FIELD(FSRInitData, reserved19),
           WZS_FIELD(FSRInitData, reserved20), WZS_FIELD(FSRInitData, reservedString));

WZS_RECORD(FSRInitDataVer2, WZS_FIELD(FSRInitDataVer2, srcClientId), WZS_FIELD(FSRInitDataVer2, dstClientId),
           WZS_FIELD(FSRInitDataVer2, reserved2), WZS_FIELD(FSRInitDataVer2, reserved3),
           WZS_FIELD(FSRInitDataVer2, backupType), WZS_FIELD(FSRInitDataVer2, restoreType),
           WZS_FIELD(FSRInitDataVer2, snapRestore), WZS_FIELD(FSRInitDataVer2, reserved7));

WZS_RECORD(FSRSetParams, WZS_FIELD(FSRSetParams, destDir), WZS_FIELD(FSRSetParams, numSrcPaths),
           WZS_FIELD(FSRSetParams, options), WZS_FIELD(FSRSetParams, reserved3));

WZS_RECORD(FSRSrcPath, WZS_FIELD(FSRSrcPath, index), WZS_FIELD(FSRSrcPath, stripLevel), WZS_FIELD(FSRSrcPath, path));

WZS_RECORD(FSRMetaDataFolder, WZS_FIELD(FSRMetaDataFolder, requestWord0), WZS_FIELD(FSRMetaDataFolder, requestWord1),
           WZS_FIELD(FSRMetaDataFolder, folderPath));

WZS_RECORD(FSRDestPath, WZS_FIELD(FSRDestPath, index), WZS_FIELD(FSRDestPath, path));

WZS_RECORD(FSRVirtualServerRestoreInfo, WZS_FIELD(FSRVirtualServerRestoreInfo, reserved0),
           WZS_FIELD(FSRVirtualServerRestoreInfo, info));

WZS_RECORD(FSRVirtualServerRestoreEnd, WZS_FIELD(FSRVirtualServerRestoreEnd, reserved0));

WZS_RECORD(FSRArchiveId, WZS_FIELD(FSRArchiveId, reserved0), WZS_FIELD(FSRArchiveId, reserved1),
           WZS_FIELD(FSRArchiveId, archiveFileId));

WZS_RECORD(FSROpenArchive, WZS_FIELD(FSROpenArchive, copyId), WZS_FIELD(FSROpenArchive, zendrelId),
           WZS_FIELD(FSROpenArchive, middleId), WZS_FIELD(FSROpenArchive, archiveFileId),
           WZS_FIELD(FSROpenArchive, reserved4), WZS_FIELD(FSROpenArchive, reserved5));

WZS_RECORD(FSRPreOpenArchive, WZS_FIELD(FSRPreOpenArchive, archiveKind), WZS_PAD(FSRPreOpenArchive, reservedPad),
           WZS_FIELD(FSRPreOpenArchive, reservedOptions), WZS_FIELD(FSRPreOpenArchive, reserved2),
           WZS_FIELD(FSRPreOpenArchive, reserved3));

WZS_RECORD(FSRSnapSrcPath, WZS_FIELD(FSRSnapSrcPath, reserved0), WZS_FIELD(FSRSnapSrcPath, reserved1),
           WZS_FIELD(FSRSnapSrcPath, reserved2), WZS_FIELD(FSRSnapSrcPath, reserved3),
           WZS_FIELD(FSRSnapSrcPath, reserved4), WZS_FIELD(FSRSnapSrcPath, path), WZS_FIELD(FSRSnapSrcPath, reserved6),
           WZS_FIELD(FSRSnapSrcPath, reserved7), WZS_FIELD(FSRSnapSrcPath, reserved8),
           WZS_FIELD(FSRSnapSrcPath, reserved9));

WZS_RECORD(FSRSnapSrcPathArray, WZS_FIELD(FSRSnapSrcPathArray, reserved0), WZS_FIELD(FSRSnapSrcPathArray, reserved1),
           WZS_FIELD(FSRSnapSrcPathArray, count), WZS_PAD(FSRSnapSrcPathArray, reservedPad),
           WZS_ARRAY(FSRSnapSrcPathArray, count, entries, FSRSnapSrcPathLayout));

WZS_RECORD(FSRSeekArchive, WZS_FIELD(FSRSeekArchive, offset), WZS_FIELD(FSRSeekArchive, secondPosition),
           WZS_FIELD(FSRSeekArchive, version), WZS_FIELD(FSRSeekArchive, linkName), WZS_FIELD(FSRSeekArchive, flags));

WZS_RECORD(FSRSeekArchiveArray, WZS_FIELD(FSRSeekArchiveArray, count), WZS_PAD(FSRSeekArchiveArray, reservedPad),
           WZS_ARRAY(FSRSeekArchiveArray, count, entries, FSRSeekArchiveLayout));

WZS_RECORD(FSRNasSeekArchiveArray, WZS_FIELD(FSRNasSeekArchiveArray, count),
           WZS_PAD(FSRNasSeekArchiveArray, reservedPad),
           WZS_ARRAY(FSRNasSeekArchiveArray, count, entries, FSRSeekArchiveLayout));

#define WZS_SEEK10_FIELDS(Rec)                                                                                 \
    WZS_FIELD(Rec, offset), WZS_FIELD(Rec, secondPosition), WZS_FIELD(Rec, version), WZS_FIELD(Rec, linkName), \
        WZS_FIELD(Rec, flags), WZS_FIELD(Rec, path), WZS_FIELD(Rec, sixthWord), WZS_FIELD(Rec, size),          \
        WZS_FIELD(Rec, reserved8), WZS_FIELD(Rec, reserved9)

WZS_RECORD(FSRSeekArchive_10, WZS_SEEK10_FIELDS(FSRSeekArchive_10));

WZS_RECORD(FSRSeekArchive_10_V2, WZS_SEEK10_FIELDS(FSRSeekArchive_10_V2),
           WZS_FIELD(FSRSeekArchive_10_V2, extraSeekWord0), WZS_FIELD(FSRSeekArchive_10_V2, extraSeekWord1),
           WZS_FIELD(FSRSeekArchive_10_V2, extraSeekWord2));

WZS_RECORD(FSRSeekArchiveArray_10, WZS_FIELD(FSRSeekArchiveArray_10, count),
           WZS_PAD(FSRSeekArchiveArray_10, reservedPad),
           WZS_ARRAY(FSRSeekArchiveArray_10, count, entries, FSRSeekArchive_10Layout));

WZS_RECORD(FSRSeekArchiveArray_10_V2, WZS_FIELD(FSRSeekArchiveArray_10_V2, count),
           WZS_PAD(FSRSeekArchiveArray_10_V2, reservedPad),
           WZS_ARRAY(FSRSeekArchiveArray_10_V2, count, entries, FSRSeekArchive_10_V2Layout));

WZS_RECORD(FSROpenChunk, WZS_FIELD(FSROpenChunk, reserved0), WZS_FIELD(FSROpenChunk, reserved1),
           WZS_FIELD(FSROpenChunk, reserved2), WZS_FIELD(FSROpenChunk, reserved3), WZS_FIELD(FSROpenChunk, chunkId),
           WZS_FIELD(FSROpenChunk, reserved5), WZS_FIELD(FSROpenChunk, reserved6), WZS_FIELD(FSROpenChunk, reserved7),
           WZS_FIELD(FSROpenChunk, reserved8), WZS_FIELD(FSROpenChunk, reserved9), WZS_FIELD(FSROpenChunk, tailLength),
           WZS_FIELD(FSROpenChunk, reserved10b), WZS_FIELD(FSROpenChunk, reserved11),
           WZS_TAIL(FSROpenChunk, tailLength));

WZS_RECORD(FSRProbeRstHead, WZS_FIELD(FSRProbeRstHead, numSeekMsgs), WZS_FIELD(FSRProbeRstHead, reserved1),
           WZS_FIELD(FSRProbeRstHead, reserved2), WZS_FIELD(FSRProbeRstHead, reserved3),
           WZS_FIELD(FSRProbeRstHead, reserved4), WZS_FIELD(FSRProbeRstHead, reserved5));

WZS_RECORD(FSRArchiveFileId, WZS_FIELD(FSRArchiveFileId, reserved0), WZS_FIELD(FSRArchiveFileId, reserved1),
           WZS_FIELD(FSRArchiveFileId, word2), WZS_FIELD(FSRArchiveFileId, word3),
           WZS_FIELD(FSRArchiveFileId, archiveId));

WZS_RECORD(FSRArchFileIdArray, WZS_FIELD(FSRArchFileIdArray, count), WZS_PAD(FSRArchFileIdArray, reservedPad),
           WZS_ARRAY(FSRArchFileIdArray, count, entries, FSRArchiveFileIdLayout));

WZS_RECORD(FSRErrorReport, WZS_FIELD(FSRErrorReport, nodeNumLow), WZS_FIELD(FSRErrorReport, secondValue),
           WZS_NESTED(FSRErrorReport, archFileId, FSRArchiveFileIdLayout), WZS_FIELD(FSRErrorReport, offset),
           WZS_FIELD(FSRErrorReport, name), WZS_FIELD(FSRErrorReport, nodeNumHigh));

WZS_RECORD(FSRRestoreItem, WZS_FIELD(FSRRestoreItem, dirFlag), WZS_FIELD(FSRRestoreItem, name),
           WZS_FIELD(FSRRestoreItem, mtime), WZS_FIELD(FSRRestoreItem, size), WZS_FIELD(FSRRestoreItem, reserved4),
           WZS_FIELD(FSRRestoreItem, errCode), WZS_FIELD(FSRRestoreItem, reserved6));

WZS_RECORD(FSRProgressReport_5_9, WZS_FIELD(FSRProgressReport_5_9, jobToken), WZS_FIELD(FSRProgressReport_5_9, jobId),
           WZS_FIELD(FSRProgressReport_5_9, subclientName), WZS_FIELD(FSRProgressReport_5_9, totalFiles),
           WZS_FIELD(FSRProgressReport_5_9, filesSucceeded), WZS_FIELD(FSRProgressReport_5_9, filesSkipped),
           WZS_FIELD(FSRProgressReport_5_9, filesFailed), WZS_FIELD(FSRProgressReport_5_9, compBytesSucceeded),
           WZS_FIELD(FSRProgressReport_5_9, bytesSucceeded), WZS_FIELD(FSRProgressReport_5_9, final),
           WZS_PAD(FSRProgressReport_5_9, reservedPad));

WZS_RECORD(FSRProgressReport_11_14, WZS_NESTED(FSRProgressReport_11_14, progress, FSRProgressReport_5_9Layout),
           WZS_FIELD(FSRProgressReport_11_14, objectsProcessed), WZS_FIELD(FSRProgressReport_11_14, filesToRestore),
           WZS_FIELD(FSRProgressReport_11_14, reserved12), WZS_FIELD(FSRProgressReport_11_14, reserved13),
           WZS_FIELD(FSRProgressReport_11_14, reserved14));

WZS_RECORD(FSRImgExtentRestoreStatus, WZS_FIELD(FSRImgExtentRestoreStatus, name),
           WZS_FIELD(FSRImgExtentRestoreStatus, status), WZS_PAD(FSRImgExtentRestoreStatus, reservedPad));

WZS_RECORD(FSRImgInit, WZS_FIELD(FSRImgInit, clusterSize), WZS_FIELD(FSRImgInit, sectorSize),
           WZS_PAD(FSRImgInit, reservedPad), WZS_FIELD(FSRImgInit, totalFiles));

WZS_RECORD(FSRImgAfileOffsets, WZS_FIELD(FSRImgAfileOffsets, name), WZS_FIELD(FSRImgAfileOffsets, mode),
           WZS_PAD(FSRImgAfileOffsets, reservedPad1), WZS_FIELD(FSRImgAfileOffsets, FRN),
           WZS_FIELD(FSRImgAfileOffsets, OffsetInFile), WZS_NESTED(FSRImgAfileOffsets, archiveId, FSRArchiveIdLayout),
           WZS_FIELD(FSRImgAfileOffsets, offsetInAfileId), WZS_FIELD(FSRImgAfileOffsets, nodenum),
           WZS_FIELD(FSRImgAfileOffsets, ver), WZS_FIELD(FSRImgAfileOffsets, offsetinFileExtent),
           WZS_FIELD(FSRImgAfileOffsets, dataSizeToRestore), WZS_FIELD(FSRImgAfileOffsets, StreamLength),
           WZS_FIELD(FSRImgAfileOffsets, ExtentNumber), WZS_FIELD(FSRImgAfileOffsets, attrLength),
           WZS_PAD(FSRImgAfileOffsets, reservedPad2), WZS_BYTES(FSRImgAfileOffsets, attrLength, attributes),
           WZS_FIELD(FSRImgAfileOffsets, StreamType), WZS_PAD(FSRImgAfileOffsets, reservedPad3),
           WZS_FIELD(FSRImgAfileOffsets, modTime), WZS_FIELD(FSRImgAfileOffsets, reserved));

WZS_RECORD(FSRImgWinStreams, WZS_FIELD(FSRImgWinStreams, name), WZS_FIELD(FSRImgWinStreams, attributes),
           WZS_PAD(FSRImgWinStreams, reservedPad1), WZS_FIELD(FSRImgWinStreams, modTime),
           WZS_FIELD(FSRImgWinStreams, FRN), WZS_FIELD(FSRImgWinStreams, streamLength),
           WZS_PAD(FSRImgWinStreams, reservedPad2), WZS_BYTES(FSRImgWinStreams, streamLength, stream));

WZS_RECORD(FSRImgTimes, WZS_FIELD(FSRImgTimes, name), WZS_FIELD(FSRImgTimes, mode), WZS_PAD(FSRImgTimes, reservedPad),
           WZS_FIELD(FSRImgTimes, FRN), WZS_FIELD(FSRImgTimes, fileSize), WZS_FIELD(FSRImgTimes, reserved4),
           WZS_FIELD(FSRImgTimes, reserved5));

WZS_RECORD(FSRImgAfileOffsetsArray, WZS_FIELD(FSRImgAfileOffsetsArray, count),
           WZS_PAD(FSRImgAfileOffsetsArray, reservedPad),
           WZS_ARRAY(FSRImgAfileOffsetsArray, count, entries, FSRImgAfileOffsetsLayout));

WZS_RECORD(FSRImgWinStreamsArray, WZS_FIELD(FSRImgWinStreamsArray, count), WZS_PAD(FSRImgWinStreamsArray, reservedPad),
           WZS_ARRAY(FSRImgWinStreamsArray, count, entries, FSRImgWinStreamsLayout));

WZS_RECORD(FSRImgTimesArray, WZS_FIELD(FSRImgTimesArray, count), WZS_PAD(FSRImgTimesArray, reservedPad),
           WZS_ARRAY(FSRImgTimesArray, count, entries, FSRImgTimesLayout));

// FSR_MSG_DISTRIBUTED_TASKID carries one signed 32-bit task id.
constexpr FieldLayout TaskIdFields[] = {scalarField<int32_t>(0)};
constexpr RecordLayout TaskIdLayout = layout("int32", sizeof(int32_t), TaskIdFields);

#define WZS_CODE(code, record) \
    WireCode {                 \
        code, #code, record    \
    }

// Sorted by code for the binary search below.
constexpr WireCode kCodes[] = {
    WZS_CODE(FSR_MSG_INIT_DATA, &FSRInitDataLayout),
    WZS_CODE(FSR_MSG_OPEN_ARCHIVE, &FSROpenArchiveLayout),
    WZS_CODE(FSR_MSG_CLOSE_ARCHIVE, nullptr),
    WZS_CODE(FSR_MSG_RESTORE_END, nullptr),
    WZS_CODE(FSR_MSG_SUCCESS, nullptr),
    WZS_CODE(FSR_MSG_RESTART_INFO, nullptr),
    WZS_CODE(FSR_MSG_FAILURE, nullptr),
    WZS_CODE(FSR_MSG_READ_ALL, nullptr),
    WZS_CODE(FSR_MSG_SRC_PATH, &FSRSrcPathLayout),
    WZS_CODE(FSR_MSG_SET_PARAMS, &FSRSetParamsLayout),
    WZS_CODE(FSR_MSG_WAIT_ARCHIVE_CLOSED, nullptr),
    WZS_CODE(FSR_MSG_RESTORE_ITEM, &FSRRestoreItemLayout),
    WZS_CODE(FSR_MSG_REBOOT_REQUIRED, nullptr),
    WZS_CODE(FSR_MSG_HI_WATER_MARK, nullptr),
    WZS_CODE(FSR_MSG_LO_WATER_MARK, nullptr),
    WZS_CODE(FSR_MSG_STOP, nullptr),
    WZS_CODE(FSR_MSG_DEST_PATH, &FSRDestPathLayout),
    WZS_CODE(FSR_MSG_KEEPALIVE, nullptr),
    WZS_CODE(FSR_MSG_ARCHIVE_ID, &FSRArchiveIdLayout),
    WZS_CODE(FSR_MSG_IMG_WIN_STREAMS_ARRAY, &FSRImgWinStreamsArrayLayout),
    WZS_CODE(FSR_MSG_PROCESS_IMG_AFILE_OFFSETS_ARRAY, nullptr),
    WZS_CODE(FSR_MSG_END_IMG_AFILE_OFFSETS_ARRAY, nullptr),
    WZS_CODE(FSR_MSG_IMG_TIMES_ARRAY, &FSRImgTimesArrayLayout),
    WZS_CODE(FSR_MSG_IMG_INIT_INFO, &FSRImgInitLayout),
    WZS_CODE(FSR_MSG_IMG_RESTORE_END, nullptr),
    WZS_CODE(FSR_MSG_IMG_EXTENT_RESTORE_STATUS, &FSRImgExtentRestoreStatusLayout),
    WZS_CODE(FSR_MSG_OPEN_CHUNK, &FSROpenChunkLayout),
    WZS_CODE(FSR_MSG_PROGRESS_REPORT_5_9, &FSRProgressReport_5_9Layout),
    WZS_CODE(FSR_MSG_ARCHFILES_ENDING_IN_CHUNK, &FSRArchFileIdArrayLayout),
    WZS_CODE(FSR_MSG_ERROR_REPORT_7_0, &FSRErrorReportLayout),
    WZS_CODE(FSR_MSG_PROGRESS_REPORT_11_14, &FSRProgressReport_11_14Layout),
    WZS_CODE(FSR_MSG_FATAL_ERROR, nullptr),
    WZS_CODE(FSR_GET_META_DATA_FOLDER, &FSRMetaDataFolderLayout),
    WZS_CODE(FSR_MSG_META_DATA_FOLDER, &FSRMetaDataFolderLayout),
    WZS_CODE(FSR_JOB_START, nullptr),
    WZS_CODE(FSR_JOB_END, nullptr),
    WZS_CODE(FSR_MSG_PRE_OPEN_ARCHIVE, &FSRPreOpenArchiveLayout),
    WZS_CODE(FSR_MSG_SNAP_SRC_PATH, &FSRSnapSrcPathLayout),
    WZS_CODE(FSR_MSG_SNAP_SRC_PATH_ARRAY, &FSRSnapSrcPathArrayLayout),
    WZS_CODE(FSR_MSG_RESTORE_VSRESTORE_END, &FSRVirtualServerRestoreEndLayout),
    WZS_CODE(FSR_MSG_RESTORE_VSRESTOREINFO2, &FSRVirtualServerRestoreInfoLayout),
    WZS_CODE(FSR_MSG_IMG_AFILE_OFFSETS_ARRAY, &FSRImgAfileOffsetsArrayLayout),
    WZS_CODE(FSR_MSG_NAS_SEEK_ARCHIVE, &FSRNasSeekArchiveArrayLayout),
    WZS_CODE(FSR_MSG_SEEK_TO_OFFSET, &FSRSeekArchiveArrayLayout),
    WZS_CODE(FSR_MSG_ERROR_REPORT, &FSRErrorReportLayout),
    WZS_CODE(FSR_MSG_INIT_DATA_VER2, &FSRInitDataVer2Layout),
    WZS_CODE(FSR_MSG_SEEK_TO_OFFSET_10, &FSRSeekArchiveArray_10Layout),
    WZS_CODE(FSR_MSG_START_VM_REPLICATION, nullptr),
    WZS_CODE(FSR_MSG_PROBE_RESTORE_HEAD, &FSRProbeRstHeadLayout),
    WZS_CODE(FSR_MSG_DISTRIBUTED_TASKID, &TaskIdLayout),
    WZS_CODE(FSR_MSG_SEEK_TO_OFFSET_10_V2, &FSRSeekArchiveArray_10_V2Layout),
};

}  // namespace

const WireCode* findWireCode(unsigned long code) {
    const WireCode* end = std::end(kCodes);
    const WireCode* it =
        std::lower_bound(std::begin(kCodes), end, code, [](const WireCode& e, unsigned long c) { return e.code < c; });
    return it != end && it->code == code ? it : nullptr;
}

const WireCode* wireCodes(size_t* count) {
    *count = std::size(kCodes);
    return kCodes;
}

}  // namespace wzsession
