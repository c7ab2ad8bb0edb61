// What the FIR hears of the job's progress: the item being restored (FSR_MSG_RESTORE_ITEM) and the counters right
// after it (FSR_MSG_PROGRESS_REPORT_5_9). The larger report 11_14 exists for hosts; the engine does not send it.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/session/wzsDatabuf.h"

namespace {

constexpr size_t kItemNameSize = 1024;
// A name longer than the buffer keeps its start and its end around "...".
constexpr size_t kNameHalf = 508;
constexpr int kBlockLevelProgressStep = 20;

// `name` of length `length` into the item buffer of kItemNameSize bytes, NUL-terminated.
void copyItemName(char* buffer, const char* name, size_t length) {
    if (length < kItemNameSize) {
        memcpy(buffer, name, length);
        buffer[length] = '\0';
        return;
    }
    memcpy(buffer, name, kNameHalf);
    memcpy(buffer + kNameHalf, "...", 3);
    memcpy(buffer + kNameHalf + 3, name + length - kNameHalf, kNameHalf);
    buffer[2 * kNameHalf + 3] = '\0';
}

wzsDatabuf payloadOf(void* record, size_t length) {
    wzsDatabuf payload;
    payload.buf = static_cast<char*>(record);
    payload.len = length;
    return payload;
}

}  // namespace

void FclRestore::sendRestoreItem(CXFileHeader* header) {
    if (_restoreItem == nullptr || header == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> lock(_restoreItemLock);
    _restoreItem->dirFlag = header->h_mode & 0x4000;
    // The header's name need not end inside its field: it is read no further than the field.
    copyItemName(_restoreItem->name, header->h_filename, strnlen(header->h_filename, sizeof header->h_filename));
    _restoreItem->mtime = header->h_mtime;
    _restoreItem->size = header->h_size;
    _restoreItem->reserved4 = 1;
    _restoreItem->errCode = _factory != nullptr ? _factory->getErrCode() : 0;
    _restoreItem->reserved6 = 0;
}

void FclRestore::updateRestoreProgress(int final) {
    if (_restoreItem != nullptr) {
        // A copy taken under the lock: the reader may fill the next item while this one is sent.
        FSRRestoreItem item;
        char name[kItemNameSize];
        {
            std::lock_guard<std::mutex> lock(_restoreItemLock);
            item = *_restoreItem;
            const char* current = _restoreItem->name != nullptr ? _restoreItem->name : "";
            if (isDistributedRestore()) {
                const unsigned long long consumer = _archive != nullptr ? _archive->GetResourceConsumerId() : 0;
                snprintf(name, sizeof name, "%llu|%s", consumer, current);
            } else {
                snprintf(name, sizeof name, "%s", current);
            }
        }
        item.name = name;
        wzsDatabuf payload = payloadOf(&item, sizeof item);
        sendMsgToFIR(FSR_MSG_RESTORE_ITEM, &payload);
    }
    CQiError error = SendRestoreProgress(final);
    if (error.IsError()) {
        FCL_ERROR("SendRestoreProgress failed with error [%s]", error.AsString().c_str());
    }
    if (_factory != nullptr && (_factory->getOptions() & FSR_OPT_NO_RESTORE_ITEM) == 0 && _statistics != nullptr) {
        _statistics->updatePercentDone();
    }
}

CQiError FclRestore::SendRestoreProgress(int final) {
    return SendRestoreProgress_5_9(final);
}

namespace {

// Fills a zeroed report with `populate` and sends it; the send's own result is not the report's.
template <class Report>
CQiError sendReport(FclRestore& job, int final, unsigned long code, CQiError (FclRestore::*populate)(int, Report&),
                    const FXCodeLocation& where) {
    Report report;
    CQiError error = (job.*populate)(final, report);
    if (error.IsError()) {
        return error.Push(where);
    }
    wzsDatabuf payload = payloadOf(&report, sizeof report);
    job.sendMsgToFIR(code, &payload);
    return CQiError::Success();
}

}  // namespace

CQiError FclRestore::SendRestoreProgress_5_9(int final) {
    return sendReport(*this, final, FSR_MSG_PROGRESS_REPORT_5_9, &FclRestore::PopulateRestoreProgress_5_9, FX_HERE);
}

CQiError FclRestore::SendRestoreProgress_11_14(int final) {
    return sendReport(*this, final, FSR_MSG_PROGRESS_REPORT_11_14, &FclRestore::PopulateRestoreProgress_11_14, FX_HERE);
}

CQiError FclRestore::PopulateRestoreProgress_5_9(int final, FSRProgressReport_5_9& report) {
    if (_initData != nullptr) {
        if (isDistributedRestore()) {
            report.jobToken = _archive != nullptr ? _archive->GetResourceConsumerId() : 0;
        } else {
            report.jobToken = static_cast<uint64_t>(_initData->archiveSequence);
        }
        report.jobId = static_cast<uint64_t>(_initData->jobId);
        report.subclientName = _initData->subclientName;
    }
    // Only the job's first report carries the total.
    uint64_t total = 0;
    if (_throttleProgress == 0) {
        const bool vsrstCount = getAppType() == fclapps::kVirtualServerAppType && _fclRestoreUnix->_useVsrstFactory &&
                                _statistics != nullptr;
        total = vsrstCount ? _statistics->getNumFilesToRestore() : (_initData != nullptr ? _initData->numFiles : 0);
        _throttleProgress = 1;
    }
    const uint64_t succeeded = _statistics != nullptr ? _statistics->getNumFilesSucceeded() : 0;
    const uint64_t skipped = _statistics != nullptr ? _statistics->getNumFilesSkipped() : 0;
    const uint64_t failed = _statistics != nullptr ? _statistics->getNumFilesFailed() : 0;
    if (_fclRestoreUnix->IsFsBlockLevelLiveRestore()) {
        if (final == 0) {
            const int taken = _rstJobClient != nullptr ? _rstJobClient->addJobProgress(kBlockLevelProgressStep) : 0;
            if (taken == 0) {
                FCL_ERROR("Block Level Live Restore: approximating job progress failed");
            } else {
                FCL_LOG(2, "Block Level Live Restore: approximated JM progress more by [%d]", kBlockLevelProgressStep);
            }
            total = 0;
        } else {
            total = succeeded + skipped + failed;
            if (_rstJobClient != nullptr) {
                _rstJobClient->updateJobProgress(100);
            }
        }
    }
    report.totalFiles = total;
    report.filesSucceeded = succeeded;
    report.filesSkipped = skipped;
    report.filesFailed = failed;
    if (_statistics != nullptr) {
        report.compBytesSucceeded = _statistics->getNumCompBytesSucceeded() + _statistics->getCurrFileCompSize();
        report.bytesSucceeded = _statistics->getNumBytesSucceeded() + _statistics->getCurrFileSize();
    }
    report.final = final;
    return CQiError::Success();
}

CQiError FclRestore::PopulateRestoreProgress_11_14(int final, FSRProgressReport_11_14& report) {
    CQiError error = PopulateRestoreProgress_5_9(final, report.progress);
    if (error.IsError()) {
        return error.Push(FX_HERE);
    }
    report.objectsProcessed = _statistics != nullptr ? _statistics->getObjectsProcessed() : 0;
    report.filesToRestore = _statistics != nullptr ? _statistics->getNumFilesToRestore() : 0;
    report.reserved12 = 0;
    report.reserved13 = 0;
    report.reserved14 = 0;
    return CQiError::Success();
}
