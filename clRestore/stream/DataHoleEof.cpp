// The body and the end of each item: data and hole buffers go to the current restore object, the end of file (or the
// bad-file marker) closes it and records its result, a restore into a virtual machine hands the closed file on to
// its plug-in, and a status report goes to the FIR at each end.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/objects/FsRestoreObject.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/stream/HardLinks.h"
#include "clRestore/stream/HeaderName.h"
#include "clRestore/stream/ItemEnd.h"
#include "clRestore/stream/OptionalHeaders.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "clRestore/support/ItemErrorIds.h"
#include "clRestore/support/PerfCounterTable.h"
#include "platform/files/FileCalls.h"
#include "platform/log/LogWriter.h"
#include "platform/session/wzsDatabuf.h"
#include "platform/support/ByteOrder.h"
#include "platform/vm/VSAgentlessRestoreToVM.h"
#include "protocol/FsrMessages.h"
#include "protocol/FsrReportRecords.h"
#include "protocol/PipelineBuffer.h"

namespace {

using fclitem::kItemFailed;
constexpr int32_t kStatusRestored = 0x1700003f;
constexpr int32_t kStatusNoName = 0x17000008;
constexpr uint32_t kZeroChunk = 65536;
const char kHoleCounter[] = "FclRestore::OnBufferPlHole";

// Holes written out as data come from here: never written, shared by every job of the process.
const unsigned char kZeroPage[kZeroChunk] = {};

unsigned long factoryCode(const FclRestore& job) {
    return job._factory != nullptr ? job._factory->getErrCode() : 0;
}

unsigned long jobOptions(const FclRestore& job) {
    return job._factory != nullptr ? job._factory->getOptions() : 0;
}

// The item's result as it stands: the failure of its data when there was one, otherwise the factory's code.
unsigned long itemCode(const FclRestore& job) {
    return job._itemDataError != 0 ? job._itemDataError : factoryCode(job);
}

// The item's data failed with `code` (0: the code the object left, or a write error): the rest of its data is
// dropped and its end records the failure. A full disk stops the job, which may close and drop the object.
void failItemData(FclRestore& job, unsigned long code) {
    if (code == 0) {
        code = factoryCode(job) != 0 ? factoryCode(job) : fclitem::kWriteFailed;
    }
    job._itemDataError = code;
    FCL_ERROR("The data of [%s] could not be restored (0x%lx); the rest of the item's data is dropped",
              job._ro != nullptr ? job._ro->getTranslatedPathname().c_str() : "", code);
    if (code == fclitem::kDiskFull) {
        job.processDiskFullError();
    }
}

// True when the item's data and holes have run past the size its header gives: the item fails there, so a lying
// stream cannot grow a file beyond what it claimed (nor write the excess).
bool pastItsSize(FclRestore& job) {
    if (job._itemSizeExpected == FclRestore::kSizeUnchecked || job._currFileSize <= job._itemSizeExpected) {
        return false;
    }
    if (job._ro != nullptr && job._itemDataError == 0) {
        FCL_ERROR("[%s] runs past the %llu bytes its header gives; it is recorded as failed",
                  job._ro->getTranslatedPathname().c_str(), static_cast<unsigned long long>(job._itemSizeExpected));
        failItemData(job, kItemFailed);
    }
    return true;
}

// An object operation failed when it answered 0, or when it left a full disk behind whatever it answered.
bool operationFailed(const FclRestore& job, int rc) {
    return rc == 0 || factoryCode(job) == fclitem::kDiskFull;
}

// A sparse hole, fitted first to the byte range of a mapped partial restore.
void makeSparseHole(FclRestore& job, uint32_t holeLength) {
    long length = static_cast<long>(holeLength);
    if (fileRange.seen <= fileRange.start) {
        const long beforeStart = std::min(length, fileRange.start - fileRange.seen);
        fileRange.seen += beforeStart;
        length -= beforeStart;
    }
    if (length > 0 && fileRange.end > 0 && fileRange.end - fileRange.seen < length) {
        length = std::max(fileRange.end - fileRange.seen, 0L);
    }
    if (length <= 0) {
        return;
    }
    job._perfCounter.StartPerfCounter(kHoleCounter, kPerfRecvHole);
    const int rc = job._ro->makeHole(static_cast<unsigned int>(length));
    job._perfCounter.StopPerfCounter(kHoleCounter, kPerfRecvHole, static_cast<unsigned long long>(length));
    if (operationFailed(job, rc)) {
        failItemData(job, 0);
        return;
    }
    fileRange.seen += length;
}

// A hole written out as zeros, in chunks of the zero page. The loop also ends when a chunk changes the item's code:
// the object has given up on the item even when it answered 1.
void writeZeros(FclRestore& job, uint32_t length) {
    const unsigned long codeBefore = factoryCode(job);
    job._perfCounter.StartPerfCounter(kHoleCounter, kPerfDiskWrite);
    uint64_t written = 0;
    bool failed = false;
    while (written < length) {
        const uint32_t chunk = std::min<uint64_t>(kZeroChunk, length - written);
        const int rc = job._ro->writeData(const_cast<unsigned char*>(kZeroPage), static_cast<int>(chunk));
        written += chunk;
        if (operationFailed(job, rc)) {
            failed = true;
            break;
        }
        if (factoryCode(job) != codeBefore) {
            break;
        }
    }
    job._perfCounter.StopPerfCounter(kHoleCounter, kPerfDiskWrite, written);
    if (failed) {
        failItemData(job, 0);
    }
}

// The first restored name of such an item was restored only as the source of its links: it goes now.
void removeHardLinkBaseFile(FclRestore& job, const std::string& path) {
    if (!job._hlroBaseFile) {
        return;
    }
    job._hlroBaseFile = false;
    if (!path.empty()) {
        FCL_LOG(4, "Unlinking %s", path.c_str());
        unlink_utf(path.c_str());
    }
}

void sendDependantPath(FclRestore& job, FsRestoreObject* object) {
    char* dependant = object->getDependantPath();
    if (dependant == nullptr) {
        return;
    }
    if (job.sendSrcPathToFIR(dependant)) {
        FCL_LOG(0, "Sending Path,%s, to FIR", dependant);
    } else {
        FCL_LOG(0, "Failed Sending Path,%s, to FIR", dependant);
    }
}

// Hands one closed file, restored at `name`, to the job's restore-to-VM plug-in with the item's byte counts and
// header, which takes it from the destination into the machine. True when the plug-in took it; false with `code` set:
// skipped, only its access-control list failed, or a write failure otherwise.
bool restoreClosedFileToVM(FclRestore& job, const std::string& name, CXFileHeader* hdr, unsigned long& code) {
    std::string message;
    bool skipped = false;
    bool aclFailed = false;
    if (job._fclRestoreUnix->_restoreToVM->RestoreFile(name, job._currFileSize, job._currFileCompSize, hdr, message,
                                                       skipped, aclFailed)) {
        code = 0;
        return true;
    }
    code = skipped ? fclitem::kSkippedExisting : aclFailed ? fclitem::kAclFailed : fclitem::kWriteFailed;
    return false;
}

void recordItem(FclRestore& job, const std::string& name, unsigned long code, FsRestoreObject* object,
                CXFileHeader* hdr) {
    FclRestoreUNIX& unix = *job._fclRestoreUnix;
    if (!unix._restoreToVMActive || unix._restoreToVM == nullptr || code != 0 || hdr == nullptr) {
        job.HandleRestoreFileUpdate(name.c_str(), static_cast<int>(code), object, "");
        return;
    }
    unsigned long vmCode = 0;
    if (!restoreClosedFileToVM(job, name, hdr, vmCode)) {
        FCL_ERROR("Can't restore file [%s] to VM. Error code [%d]", hdr->h_filename, static_cast<int>(vmCode));
    }
    job.UpdateStatistics(hdr->h_filename, static_cast<int>(vmCode), job._currFileSize, job._currFileCompSize, nullptr);
}

}  // namespace

void fclstream::failIfShortOfItsSize(FclRestore& job) {
    if (job._ro == nullptr || job._itemDataError != 0 || job._itemSizeExpected == FclRestore::kSizeUnchecked ||
        job._currFileSize >= job._itemSizeExpected) {
        return;
    }
    FCL_ERROR("[%s] ended after %lu of the %llu bytes its header gives; it is recorded as failed",
              job._ro->getTranslatedPathname().c_str(), job._currFileSize,
              static_cast<unsigned long long>(job._itemSizeExpected));
    job._itemDataError = kItemFailed;
}

// An item whose data failed is closed as failed: the object's close reads the factory's code, so it does not give
// the file the archive's times and mode.
unsigned long fclstream::closeCurrentObject(FclRestore& job, CXFileHeader* hdr, bool record) {
    FsRestoreObject* object = job._ro;
    const unsigned long dataError = job._itemDataError;
    if (dataError != 0 && job._factory != nullptr) {
        job._factory->setErrCode(dataError);
    }
    object->closeObject();
    sendDependantPath(job, object);
    std::string name = object->getTranslatedPathname();
    if (name.empty() && hdr != nullptr && strcmp(hdr->h_filename, "/") == 0) {
        name = "/";
    }
    const unsigned long code = dataError != 0 ? dataError : factoryCode(job);
    if (dataError != 0 && job._removeFileOnError && !name.empty()) {
        FCL_LOG(0, "Removing file %s on error", name.c_str());
        unlink_utf(name.c_str());
    }
    if (record) {
        recordItem(job, name, code, object, hdr);
    }
    if (job._results == nullptr) {
        FCL_LOG(0, "Image Restored Extent info [%s]", name.c_str());
    }
    FclRestoreUNIX& unix = *job._fclRestoreUnix;
    if (code == 0 || code == fclitem::kSkippedExisting) {
        CQiError error = unix.MarkRuvoDriveFileRestoreComplete(code == fclitem::kSkippedExisting);
        if (error.IsError()) {
            FCL_ERROR("%s", error.AsString().c_str());
        }
    }
    unix.ResetRuvoObjects();
    delete object;
    job._ro = nullptr;
    return code;
}

void fclstream::settleLinkedNames(FclRestore& job, unsigned long code, bool fileRemoved) {
    for (const std::string& name : job._hlroLinkedNames) {
        if (fileRemoved) {
            unlink_utf(name.c_str());
        }
        job.HandleRestoreFileUpdate(name.c_str(), static_cast<int>(code), nullptr, "");
    }
    job._hlroLinkedNames.clear();
}

void fclstream::endLinkItemCutShort(FclRestore& job) {
    if (job.HLRO != nullptr) {
        // Whatever of its data came, the rest never will: it is closed and recorded as the failed item it is.
        FCL_ERROR("[%s] stopped before its end; it is recorded as failed", job.HLRO->getTranslatedPathname().c_str());
        const std::string path = job.HLRO->getTranslatedPathname();
        // Only the link object can be current in such an item; anything else stays for its own cleanup.
        FsRestoreObject* other = job._ro != job.HLRO ? job._ro : nullptr;
        const unsigned long otherError = other != nullptr ? job._itemDataError : 0;
        job._ro = job.HLRO;
        job.HLRO = nullptr;
        if (other != nullptr || job._itemDataError == 0) {
            job._itemDataError = kItemFailed;
        }
        const unsigned long code = closeCurrentObject(job, nullptr, true);
        settleLinkedNames(job, code, job._removeFileOnError);
        job._ro = other;
        job._itemDataError = otherError;
        removeHardLinkBaseFile(job, path);
    }
    job._hlroBaseFile = false;
    job.bDelayOpenObject = false;
    job.bIgnoreOptHeaders = false;
}

namespace {

// The end of the current item, for a PL_FS_EOF and for a PL_FS_BAD_FILE alike.
void endItem(FclRestore& job, void* buf, CXFileHeader* hdr) {
    job.SendExtentFileStatus(buf, hdr);
    const bool hardLinkMember = job.bDelayOpenObject;
    const bool exchangeItem = job._exchangeFlag;
    job._exchangeFlag = false;
    if (hardLinkMember && job.HLRO != nullptr && job._ro != nullptr && job._ro != job.HLRO) {
        // Another object took the item's data: the link object cannot end as the item's.
        fclstream::endLinkItemCutShort(job);
    }
    const std::string linkObjectPath = job.HLRO != nullptr ? job.HLRO->getTranslatedPathname() : std::string();
    if (hardLinkMember && job.HLRO != nullptr && job._ro == nullptr) {
        // The object of a placeholder item's first name took no data: its end is the item's all the same, under that
        // name in the header too.
        if (hdr != nullptr && !fclstream::setHeaderName(hdr, linkObjectPath, false)) {
            FCL_LOG(2, "[%s] does not fit the header; the header keeps its name", linkObjectPath.c_str());
        }
        job._ro = job.HLRO;
    }
    const bool linkObjectIsCurrent = hardLinkMember && job.HLRO != nullptr && job.HLRO == job._ro;
    job.bDelayOpenObject = false;
    job.HLRO = nullptr;
    job.bIgnoreOptHeaders = false;
    if (job._statistics != nullptr) {
        job._statistics->setCurrFileSizes(job._currFileSize, job._currFileCompSize);
    }
    fclstream::openAwaitedObject(job);
    const bool record = (!hardLinkMember || linkObjectIsCurrent) && !exchangeItem;
    if (!hardLinkMember) {
        fclstream::failIfShortOfItsSize(job);
    }
    const bool hadObject = job._ro != nullptr;
    std::string destination = hadObject ? job._ro->getTranslatedPathname() : std::string();
    if (job._ro == nullptr) {
        if (record && hdr != nullptr) {
            job.HandleRestoreFileUpdate(hdr->h_filename, static_cast<int>(itemCode(job)), nullptr, "");
        }
    } else if (fclstream::waitsForRealPath(job)) {
        FCL_ERROR("This is long path restore, but seems we did not get the actual path, skipping close.");
        fclstream::failItemWithoutRealPath(job);
        job.HandleRestoreFileUpdate(job._ro->getTranslatedPathname().c_str(), static_cast<int>(itemCode(job)), job._ro,
                                    "");
        delete job._ro;
        job._ro = nullptr;
    } else {
        const unsigned long code = fclstream::closeCurrentObject(job, hdr, record);
        if (linkObjectIsCurrent) {
            fclstream::settleLinkedNames(job, code, job._itemDataError != 0 && job._removeFileOnError);
        }
    }
    if (hardLinkMember) {
        removeHardLinkBaseFile(job, linkObjectPath);
    } else {
        fclstream::notePrimaryEnd(job, destination, itemCode(job), hadObject);
    }
    job._itemDataError = 0;
    // Set per item from its pre-header; an item that got no object must not hand it on to the next one.
    g_bStubWithNoData = false;
}

}  // namespace

void FclRestore::OnBufferPlData(void* buf, int len) {
    if (_fclRestoreUnix->IsDistributedTimestampRestore()) {
        return;
    }
    if (fclstream::waitsForRealPath(*this)) {
        FCL_ERROR("This is long path restore, but seems we did not get the actual path, skipping data.");
        fclstream::failItemWithoutRealPath(*this);
        return;
    }
    fclstream::openAwaitedObject(*this);
    if (_exchangeFlag) {
        FCL_LOG(2, "++++++HLDEBUG RBJ Ignoring Data ");
        return;
    }
    if (bDelayOpenObject) {
        _ro = HLRO;
        FCL_LOG(2, "++++++HLDEBUG RBJ Setting Restore Object ");
    }
    if (len < 0) {
        FCL_ERROR("A PL_DATA buffer claims %d bytes; the item fails", len);
        if (_ro != nullptr && _itemDataError == 0) {
            failItemData(*this, kItemFailed);
        }
        return;
    }
    const auto* bufferHeader = static_cast<const PipelineBufHeader_t*>(buf);
    _currFileSize += static_cast<unsigned long>(len);
    _currFileCompSize += ntohl(bufferHeader->compressedLength);
    if (_statistics != nullptr) {
        _statistics->setCurrFileSizes(_currFileSize, _currFileCompSize);
    }
    if (_ro == nullptr || _itemDataError != 0 || pastItsSize(*this)) {
        return;
    }
    if (operationFailed(*this, _ro->writeData(PipelineBufPayload(buf), len))) {
        failItemData(*this, 0);
        return;
    }
    if (_statistics != nullptr && (jobOptions(*this) & FSR_OPT_REPORT_PROGRESS) != 0 &&
        _statistics->timeToUpdateByTime()) {
        updateRestoreProgress(0);
    }
}

void FclRestore::OnBufferPlHole(void* buf) {
    const auto* bufferHeader = static_cast<const PipelineBufHeader_t*>(buf);
    const uint32_t payloadLength = ntohl(bufferHeader->payloadLength);
    if (payloadLength < sizeof(uint32_t)) {
        FCL_ERROR("A PL_HOLE buffer carries %u bytes, too few for a hole length; the item fails", payloadLength);
        if (_ro != nullptr && _itemDataError == 0) {
            failItemData(*this, kItemFailed);
        }
        return;
    }
    const uint32_t length = wzbytes::loadBE32(PipelineBufPayload(buf));
    _currFileSize += length;
    if (fclstream::waitsForRealPath(*this)) {
        fclstream::failItemWithoutRealPath(*this);
        return;
    }
    fclstream::openAwaitedObject(*this);
    if (_ro == nullptr || _itemDataError != 0 || pastItsSize(*this)) {
        return;
    }
    FCL_LOG(2, "File:[%s] HoleSize=[%u]", _ro->getTranslatedPathname().c_str(), length);
    const bool sparse = (jobOptions(*this) & FSR_OPT_SPARSE_RESTORE) != 0 ||
                        (_holeThreshold >= 0 && length >= static_cast<uint32_t>(_holeThreshold));
    if (sparse) {
        makeSparseHole(*this, length);
    } else {
        writeZeros(*this, length);
    }
}

void FclRestore::OnBufferPlFsEof(void* buf, CXFileHeader* hdr) {
    endItem(*this, buf, hdr);
}

// The data mover could not deliver the item whole. It ends here as a failed item: left open, it would be closed by
// the next header with the archive's times and no result, as if it had been restored.
void FclRestore::OnBufferPlFsBadEof(void* buf, CXFileHeader* hdr) {
    if (_ro != nullptr && _itemDataError == 0) {
        FCL_ERROR("[%s] ended with a bad-file marker; it is recorded as failed", _ro->getTranslatedPathname().c_str());
        _itemDataError = kItemFailed;
    }
    endItem(*this, buf, hdr);
}

void FclRestore::SendExtentFileStatus(void*, CXFileHeader* hdr) {
    FSRImgExtentRestoreStatus report;
    const unsigned long code = itemCode(*this);
    report.status = code != 0 ? static_cast<int32_t>(code) : kStatusRestored;
    std::string name;
    if (_ro != nullptr) {
        name = _ro->getTranslatedPathname();
    } else if (hdr != nullptr) {
        name = hdr->h_filename;
    }
    if (_ro != nullptr || hdr != nullptr) {
        report.name = &name[0];
        FCL_LOG(3, "Sending status [%d] for [%s] ", report.status, report.name);
    } else {
        report.status = kStatusNoName;
        FCL_LOG(0, "Sending status [%d], media read err where the file name is not supplied.", report.status);
    }
    wzsDatabuf payload;
    payload.len = sizeof report;
    payload.buf = reinterpret_cast<char*>(&report);
    sendMsgToFIR(FSR_MSG_IMG_EXTENT_RESTORE_STATUS, &payload);
}
