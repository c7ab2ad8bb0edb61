// Folder times: whether the job restores them at all, and the handler that collects them until the restore end.
#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/options/MakeSharedNothrow.h"
#include "clRestore/options/ServiceObjects.h"
#include "platform/apps/ApplicationTypes.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/WZPlatformInfo.h"
#include "platform/timestamps/CRestoreTimestampHandler.h"
#include "protocol/FsrMessages.h"

namespace {

const char kSection[] = "FileSystemAgent";
const char kPreserveFolderTimestampKey[] = "nPreserveFolderTimestamp";

// Every outcome is written, so an earlier choice of the reserved option string never survives.
bool folderTimestampsWanted(FclRestoreUNIX& unix, unsigned long appType, unsigned long long options) {
    unsigned long preserve = 1;
    if (WZPlatformInfo().getNumber(kSection, kPreserveFolderTimestampKey, &preserve) != 0 && preserve == 0) {
        FCL_LOG(0, "Folder timestamp restore is disabled as 'nPreserveFolderTimestamp' set to 0");
        return false;
    }
    if (!isUnixFileSystemAppType(appType)) {
        FCL_LOG(0, "Disabling folder timestamp restore as it is not a unix fs apptype %ld", static_cast<long>(appType));
        return false;
    }
    if ((options & FSR_OPT_INDEX_CACHE) != 0) {
        FCL_LOG(0, "Disabling folder timestamp restore as it is an index cache restore");
        return false;
    }
    if (unix.IsSyncRestore()) {
        FCL_LOG(0, "Disabling folder timestamp restore for Sync restores");
        return false;
    }
    if ((options & FSR_OPT_SYNTHETIC_FULL) != 0) {
        FCL_LOG(0, "Disabling folder timestamp restore for Synthfull restores");
        return false;
    }
    return true;
}

}  // namespace

namespace fclservices {

bool initializeRestoreTimestampHandler(FclRestoreUNIX& unix, const TimestampHandlerArgs& args) {
    // Readers of several archives and the restore end may ask at once: one handler is made.
    std::lock_guard<std::mutex> guard(unix._serviceCacheLock);
    boost::shared_ptr<CRestoreTimestampHandler>& handler = *unix.GetRestoreTsHandler();
    if (handler) {
        return true;
    }
    handler = makeSharedNothrow<CRestoreTimestampHandler>(args.zendrelId, args.jobId, args.jobControl, args.results);
    return static_cast<bool>(handler);
}

void initializeShouldRestoreFolderTimestamp(FclRestoreUNIX& unix, unsigned long appType, unsigned long long options) {
    unix.SetTimestampRestoreEnabled(folderTimestampsWanted(unix, appType, options));
}

}  // namespace fclservices

bool FclRestore::InitializeRestoreTimestampHandler() {
    if (_fclRestoreUnix == nullptr) {
        return false;
    }
    fclservices::TimestampHandlerArgs args;
    args.zendrelId = _initData != nullptr ? static_cast<unsigned long>(_initData->zendrelNumber) : 0;
    args.jobId = _initData != nullptr ? _initData->jobId : 0;
    args.jobControl = _jobCtrlClient;
    args.results = _results;
    return fclservices::initializeRestoreTimestampHandler(*_fclRestoreUnix, args);
}

void FclRestore::InitializeShouldRestoreFolderTimestamp() {
    if (_fclRestoreUnix == nullptr) {
        return;
    }
    const unsigned long appType = _initData != nullptr ? static_cast<unsigned long>(_initData->appType) : 0;
    const unsigned long long options = _setParams != nullptr ? _setParams->options : 0;
    fclservices::initializeShouldRestoreFolderTimestamp(*_fclRestoreUnix, appType, options);
}
