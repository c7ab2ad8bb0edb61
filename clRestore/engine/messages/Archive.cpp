// Archive files: the pre-open with the archive's kind, the open that starts the pipeline reader, and the close that
// waits for the reader to reach the end of the archive; the archive's id, and the chunks opened within it.
#include <cerrno>
#include <cstring>
#include <string>

#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/messages/SeekSteps.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/events/EvEvent.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/session/wzsDatabuf.h"
#include "platform/timestamps/CRestoreTimestampHandler.h"

namespace {

constexpr unsigned long long kVMwareSnapOption = 0x40;
constexpr int kErrThreadSpawn = 0x1700002a;
constexpr int kEventArchiveNotOpened = 0x18000032;
constexpr int kErrArchiveNotOpened = 0x1c0000dd;

const char* text(const char* s) {
    return s != nullptr ? s : "";
}

void setHeadSession(FclRestore& job, CWzNetwork* session) {
    // The sends read the session under this lock.
    job._headSendLock.lock();
    job._headSession = session;
    job._headSendLock.unlock();
}

// A reader that runs for an archive nobody will ask anything of is stopped before the open is answered.
void stopReader(FclRestore& job) {
    job.terminateReadPipelineThread();
    while (job._terminateProcessMsgs == 0 && !job.waitForPLThreadToDie()) {
    }
}

bool openFailed(FclRestore& job, FSROpenArchive* rec, int error) {
    FCL_ERROR("Error %d when opening archive <%ld %ld %ld>", error, static_cast<long>(rec->zendrelId),
              static_cast<long>(rec->middleId), static_cast<long>(rec->archiveFileId));
    job.noteReaderFailure();
    if (!job._archive->isPipeLineRunning()) {
        FCL_LOG(0, "Pipeline is not running. Reset head session object");
        setHeadSession(job, nullptr);
    }
    const unsigned long long options = job._setParams != nullptr ? job._setParams->options : 0;
    if (job._failOnSeekFailure == 0 && (options & FSR_OPT_INDEX_RECONSTRUCTION) != 0) {
        job.sendMsgToFIR(FSR_MSG_FAILURE);
        return true;
    }
    if ((options & FSR_OPT_INDEX_CACHE) == 0) {
        job.sendMsgToFIR(FSR_MSG_SUCCESS);
        job._event->MajorEvent(kEventArchiveNotOpened, 0, 0);
        job._archiveOpen = 0;
        return true;
    }
    job.setFailureReason(
        "Restore: Archive file cannot be opened. Possible causes: Services down on Hallmoor, lost network "
        "connectivity to Hallmoor.");
    if (job._rstJobClientReady != 0) {
        job._rstJobClient->setPendingCause(kErrArchiveNotOpened);
    }
    job.sendMsgToFIR(FSR_MSG_FAILURE);
    job.terminateOnFatalError();
    return false;
}

bool readerNotStarted(FclRestore& job) {
    const int error = errno;
    *job._event << error;
    job._event->CriticalEvent(kErrThreadSpawn, 0, 0);
    FCL_ERROR("Error [%lu] while spawning a thread", static_cast<unsigned long>(error));
    job.sendMsgToFIR(FSR_MSG_FAILURE);
    job.setFailureReason(
        "Restore: Failed to spawn a read pipeline thread. Possible Cause: Insufficient system resources.");
    if (job._rstJobClientReady != 0) {
        *job._rstJobClient << error;
        job._rstJobClient->setPendingCause(kErrThreadSpawn);
    }
    job.terminateOnFatalError();
    return false;
}

}  // namespace

bool FclRestore::OnMsgPreOpenArchive(FSRPreOpenArchive* rec) {
    const int kind = rec->archiveKind;
    switch (kind) {
        case FSR_ARCHIVE_KIND_NORMAL:
            FCL_ERROR("PreOpenArchive indicates that this is a Normal Archive File");
            break;
        case FSR_ARCHIVE_KIND_SNAP:
            _fclRestoreUnix->_snapArchive = true;
            FCL_ERROR("PreOpenArchive indicates that this is a Snap Archive File");
            break;
        case 2:
        case 3:
        case 4:
        case 5:
        case 8:
            FCL_ERROR("PreOpenArchive indicates that this is VMware Snap Archive File type [%d][%d]", kind,
                      static_cast<int>(kVMwareSnapOption));
            if (_archive != nullptr) {
                _archive->setOptions(kVMwareSnapOption);
            }
            break;
        default:
            FCL_ERROR("Unknown Archive File Type in PreOpenArchive [%d]", kind);
            break;
    }
    if (_archive == nullptr) {
        FCL_ERROR("WZArchive is not created for pre-open command.");
        return false;
    }
    FSRPreOpenArchive copy = *rec;
    std::string options;
    if (_fclRestoreUnix->IsFsBlockLevelLiveRestore() && rec->reservedOptions != nullptr) {
        options = std::string(rec->reservedOptions) + ";#fsLiveRestore=\"1\";#fsBlockLevelRestore=\"1\"";
        copy.reservedOptions = &options[0];
        FCL_LOG(0, "FS Block Level Live Restore setting PreOpenArchive Reserved Option=[%s]", options.c_str());
    }
    if (_archive->PreOpenArchiveFile(&copy) != 0) {
        FCL_ERROR("Failed call archive pre-open command.");
        return false;
    }
    if (_fclRestoreUnix->IsFsBlockLevelLiveRestore() && getAppType() == fclapps::kMySqlAppType) {
        OnMsgJobStart(nullptr);
    }
    return true;
}

bool FclRestore::OnMsgOpenArchive(FSROpenArchive* rec) {
    bool reverted = false;
    if (CheckAndDoRevertForDB(rec, reverted) != 0) {
        FCL_LOG(0, "Failure in doing revert check OR Operation.");
        return false;
    }
    if (reverted) {
        FCL_LOG(0, "Revert success");
        m_ignoreMsgsForRevert = true;
        return true;
    }
    FCL_LOG(0, "Opening archive <%ld %ld %ld %ld> with copyPrecdence = %lu", static_cast<long>(rec->zendrelId),
            static_cast<long>(rec->middleId), static_cast<long>(rec->archiveFileId), static_cast<long>(rec->copyId),
            static_cast<unsigned long>(_initData->copyPrecedence));
    if (_factory == nullptr) {
        // Without a factory no item could be restored: the archive is refused and the job fails, rather than
        // reading the stream for nothing and ending as a success.
        FCL_ERROR("No restore-object factory: archive <%ld %ld %ld> is not opened", static_cast<long>(rec->zendrelId),
                  static_cast<long>(rec->middleId), static_cast<long>(rec->archiveFileId));
        _archiveOpen = 0;
        fclseek::failWithoutFactory(*this);
        sendMsgToFIR(FSR_MSG_FAILURE);
        return false;
    }
    OpenArgs_t args;
    args.archiveFileId = rec->archiveFileId;
    args.middleId = rec->middleId;
    args.appNumber = _initData->appNumber;
    args.zendrelId = static_cast<int32_t>(rec->zendrelId);
    args.copyPrecedence = _initData->copyPrecedence;
    args.jobId = static_cast<uint64_t>(_initData->jobId);
    const char* source = text(_initData->sourceMachine);
    const char* destination = text(_initData->destMachine);
    if (strcmp(source, destination) == 0) {
        FCL_LOG(0, "Same-machine restore: srcMach = %s destMach = %s", source, destination);
    } else {
        FCL_LOG(0, "Cross-machine restore: srcMach = %s destMach = %s", source, destination);
        _crossMachine = true;
    }
    EnableRestoreOptimization();
    _archiveOpen = 0;

    OpenRet_t ret;
    const int error = _archive->open(&args, &ret);
    if (error != 0) {
        return openFailed(*this, rec, error);
    }
    _archFileAppType = ret.archFileAppType;
    rec->copyId = ret.copyId;
    setHeadSession(*this, ret.headSession);
    FCL_LOG(0, "Launching the readPipeline thread...");
    enableReadPipelineThread();
    if (!launchReadPipelineThread(readPipelineStatic)) {
        return readerNotStarted(*this);
    }
    FCL_LOG(3, "sendMsgToRestoreHead %p with archiveId:%lu copyId:%lu", static_cast<void*>(_headSession),
            static_cast<unsigned long>(rec->archiveFileId), static_cast<unsigned long>(rec->copyId));
    if (!fclseek::forwardToRestoreHead(*this, FSR_MSG_OPEN_ARCHIVE, rec, 8)) {
        // The FIR waits for an answer, and the restore head will stream nothing for this archive.
        FCL_ERROR("The open of archive %lu could not be forwarded to the restore head",
                  static_cast<unsigned long>(rec->archiveFileId));
        stopReader(*this);
        sendMsgToFIR(FSR_MSG_FAILURE);
        return false;
    }
    sendMsgToFIR(FSR_MSG_SUCCESS);
    _archiveOpen = 1;
    return true;
}

bool FclRestore::OnMsgCloseArchive() {
    const unsigned long appType = getAppType();
    if ((appType == fclapps::kMySqlAppType || appType == fclapps::kPostgresAppType) && m_ignoreMsgsForRevert) {
        m_ignoreMsgsForRevert = false;
    }
    if (_archiveOpen == 0) {
        FCL_LOG(0, "Ignoring Close messages because no archive file is open.");
        return true;
    }
    FSRSeekArchiveArray& batch = _fclRestoreUnix->_seekBatch;
    if (isProxyClientDestination() && batch.count != 0 && batch.entries != nullptr) {
        FCL_LOG(3, "Sending %u seek messages to MA", batch.count);
        // Seeks the restart skip refuses are below the restart point: dropping them is what the skip asks for,
        // and the close goes on so that the reader ends.
        OnMsgSeekToOffset(&batch);
        fclseek::emptySeekBatch(batch);
    }
    sendMsgToRestoreHead(FSR_MSG_CLOSE_ARCHIVE);
    FCL_LOG(0, "Waiting for readPipeline thread to exit...");
    while (_terminateProcessMsgs == 0 && !waitForPLThreadToDie()) {
        KeepAliveRestoreHeadSession();
    }
    boost::shared_ptr<CRestoreTimestampHandler>& handler = *_fclRestoreUnix->GetRestoreTsHandler();
    if (handler) {
        CQiError error = handler->Close();
        if (error.IsError()) {
            FCL_ERROR("Cannot close RestoreTimestampHandler : [%s]", error.AsString().c_str());
        }
    }
    return true;
}

bool FclRestore::OnMsgArchiveId(FSRArchiveId*) {
    return true;
}

bool FclRestore::OnMsgOpenChunk(FSROpenChunk* rec) {
    if (_archiveOpen == 0) {
        FCL_LOG(0, "recd the open chunk message and the arch file is not open yet.");
    }
    _currentChunkId = rec->chunkId;
    FCL_LOG(0, "FYI the current chunk being restored id %lld", static_cast<long long>(_currentChunkId));
    wzsDatabuf payload;
    payload.len = sizeof(FSROpenChunk) + rec->tailLength;
    payload.buf = reinterpret_cast<char*>(rec);
    sendMsgToRestoreHead(FSR_MSG_OPEN_CHUNK, &payload);
    return true;
}

bool FclRestore::OnMsgArchFilesEndingInChunk(FSRArchFileIdArray*) {
    FCL_LOG(0, "Error: We shouldn't be in this method");
    return false;
}
