// The end of a restore: the job's bookkeeping in a fixed order, then the stop of the receive and processing loops.
// It runs the same steps for a job that succeeded, failed items or was stopped; no step keeps the others from
// running.
#include <unistd.h>

#include <cstdio>
#include <string>

#include <boost/shared_ptr.hpp>

#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/FXLockableResource.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/events/EvDebug.h"
#include "platform/files/FileCalls.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/results/StoreResults.h"
#include "platform/seek/SeekDecision.h"
#include "platform/settings/SubclientDir.h"
#include "platform/settings/WZPlatformAgents.h"
#include "platform/timestamps/CRestoreTimestampHandler.h"

namespace {

const int kNothingRestoredCause = 0x17000074;
const char kLabel[] = "FclRestore::OnMsgRestoreEnd";

const char* textOf(const char* text) {
    return text != nullptr ? text : "";
}

}  // namespace

bool FclRestore::OnMsgRestoreEnd() {
    FclRestoreUNIX* unix = _fclRestoreUnix;
    const unsigned long appType = getAppType();
    FsRestoreStatistics none(0);
    const FsRestoreStatistics& stats = _statistics != nullptr ? *_statistics : none;

    // Jobs whose file count is only known at the end.
    if (unix != nullptr && (unix->IsFsBlockLevelLiveRestore() || unix->_distributedRestore)) {
        if (_initData != nullptr) {
            _initData->numFiles = stats.getNumFilesSucceeded() + stats.getNumFilesSkipped() + stats.getNumFilesFailed();
        }
        if (appType == fclapps::kMySqlAppType) {
            FCL_LOG(0, " MySql Snap stop operation ");
            OnMsgJobEnd(nullptr);
        }
    }

    // Folder times were held back until every item was restored.
    if (unix != nullptr && unix->IsTimestampRestoreEnabled()) {
        if (!isDistributedRestore()) {
            EvDebug::Debug(_event, kLabel, "Applying timestamps to the restored folders");
            if (!InitializeRestoreTimestampHandler()) {
                FCL_ERROR("Cannot initialize RestoreTimestampHandler");
            } else {
                CQiError error = (*GetRestoreTimestampHandler())->Apply();
                if (!error.IsError()) {
                    EvDebug::Debug(_event, kLabel, "Successfully applied folder timestamps");
                } else {
                    const std::string text = error.AsString();
                    error.Push(FX_HERE, "Error applying timestamp: [%s]", text.c_str());
                    FCL_ERROR("%s: %s", error.AsString(eErrorOutputDetailed).c_str(),
                              error.AsString(eErrorOutputPlain).c_str());
                }
            }
        }
        boost::shared_ptr<CRestoreTimestampHandler>& handler = *unix->GetRestoreTsHandler();
        if (handler) {
            CQiError error = handler->Close();
            if (error.IsError()) {
                FCL_ERROR("Cannot close RestoreTimestampHandler : [%s]", error.AsString().c_str());
            }
        }
    }

    FCL_LOG(0, "Restore on client [%s] subclient [%s] completed...", textOf(_clientName),
            _initData != nullptr ? textOf(_initData->subclientName) : "");
    FCL_LOG(0, "File Statistics: Total [%ld], Succeeded [%ld], Skipped [%ld] Failed [%ld]",
            _initData != nullptr ? static_cast<long>(_initData->numFiles) : 0L,
            static_cast<long>(stats.getNumFilesSucceeded()), static_cast<long>(stats.getNumFilesSkipped()),
            static_cast<long>(stats.getNumFilesFailed()));
    FCL_LOG(0, "Byte Statistics: Total [%lld], Succeeded [%lld], Failed [%lld]",
            static_cast<long long>(stats.getNumBytes()), static_cast<long long>(stats.getNumBytesSucceeded()),
            static_cast<long long>(stats.getNumBytesFailed()));
    FCL_LOG(0, "sending FSR_MSG_RESTORE_END to FSRestoreHead");

    if (_seekDecision != nullptr) {
        _seekDecision->OnRestoreEnd();
    }
    if (appType != fclapps::kNoRestoreHeadEndAppType) {
        sendMsgToRestoreHead(FSR_MSG_RESTORE_END);
    }

    // A file-system job in which nothing succeeded and something failed.
    if (isUnixFileSystemAppType(appType) && stats.getNumFilesSucceeded() == 0 && stats.getNumFilesFailed() > 0) {
        FCL_LOG(4, "setting JPR for failure");
        if (_rstJobClientReady == 1 && _rstJobClient != nullptr && getGreenplumRestoreOption() == 0) {
            _rstJobClient->setPendingCause(kNothingRestoredCause);
        }
    }

    // The partial-restore summary of database jobs.
    if (fclapps::isDatabaseAppType(appType) && _initData != nullptr) {
        const std::string client =
            !_clientNameFromHost.empty() ? _clientNameFromHost : WZPI_Focus::getFocusClientName(true);
        const std::string results = WZPI_CommClient(_event).getJobResultsDirectory(client.c_str());
        char directory[1025] = {};
        char file[1025] = {};
        // A path that does not fit is not made at all, rather than made cut short.
        const int dirLength = snprintf(directory, sizeof directory, "%s%sWZ_JobResults%s%ld%s0%s%lld%s",
                                       results.c_str(), "/", "/", static_cast<long>(_initData->zendrelNumber), "/", "/",
                                       static_cast<long long>(_initData->jobId), "/");
        const int fileLength = snprintf(file, sizeof file, "%sPartialRestore.txt", directory);
        if (dirLength > 0 && static_cast<size_t>(dirLength) < sizeof directory && fileLength > 0 &&
            static_cast<size_t>(fileLength) < sizeof file && CreateSubclientDir(directory) == 0) {
            FILE* summary = fopen_utf(file, "w+");
            if (summary != nullptr) {
                fprintf(summary, "%llu %llu %ld\n", stats.getNumBytesSucceeded(), stats.getNumCompBytesSucceeded(),
                        static_cast<long>(stats.getNumFilesSucceeded()));
                fclose(summary);
                FCL_LOG(4, "Created the file <%s>", file);
            }
        }
    }

    // The results end, the reboot notice and the final report, for jobs that report progress.
    if (_factory != nullptr && (_factory->getOptions() & FSR_OPT_REPORT_PROGRESS) != 0) {
        const bool reboot = _factory->isReboot() != 0;
        if (reboot) {
            FCL_LOG(0, "Reboot [%s] to complete restoration of locked files", textOf(_clientName));
        }
        char line[128];
        if (_rawResultsMode == 0) {
            if (_results != nullptr) {
                snprintf(line, sizeof line, "EndIndexedRestore pid:%d", static_cast<int>(getpid()));
                if (_results->putLine(line, false) != 0) {
                    FCL_LOG(0, "Failed to save the restore result");
                }
                if (_results->closeFile() != 0) {
                    FCL_LOG(0, "Failed to save the restore result");
                }
            }
        } else {
            // The reader thread records results under this lock; the file must not close under a write.
            auto_lock lock(unix != nullptr ? &unix->_resultsLock : nullptr, true);
            if (_rawResultsFile != nullptr) {
                snprintf(line, sizeof line,
                         isDistributedRestore() ? "EndDistributedRestore pid:%d" : "EndRestoreByJob pid:%d MediaGrpId",
                         static_cast<int>(getpid()));
                fprintf(_rawResultsFile, "%s\n", line);
                fclose(_rawResultsFile);
                _rawResultsFile = nullptr;
            }
        }
        if (reboot) {
            sendMsgToFIR(FSR_MSG_REBOOT_REQUIRED);
        }
        updateRestoreProgress(1);
    }

    terminateReceiveMsgsThread();
    terminateProcessMsgsThread();
    return true;
}
