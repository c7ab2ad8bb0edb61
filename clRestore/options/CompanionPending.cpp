// Operations of the job's Unix companion whose behaviour is not built yet. Each says so once and answers as a job
// that does not use it sees: no auto-mount. Where a caller asks for work to be done (a
// mount, a copy), the answer is the operation's own failure, never a success.
#include <cerrno>

#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/options/PendingLog.h"
#include "platform/support/FXErrorUtil.h"

namespace {

const int kErrorNoManager = 1627;

CQiError noManager(const FXCodeLocation& where) {
    return FXErrorUtil::ErrorWin32(where, kErrorNoManager, "AutoMount Manager has not been instantiated");
}

}  // namespace

// ---- share auto-mount: nothing is marked, so nothing is mounted ----

void FclRestoreUNIX::SetAutoMountDestShare(FSRSetParams* params) {
    FCL_NOT_BUILT_YET();
    (void)params;
    _autoMountDestShare = false;
}

CQiError FclRestoreUNIX::CreateAutoMountMgr(unsigned long zendrelId, unsigned long applicationNumber, long long jobId,
                                            const std::string& mountFolder) {
    FCL_NOT_BUILT_YET();
    (void)zendrelId, (void)applicationNumber, (void)jobId, (void)mountFolder;
    return FXErrorUtil::ErrorErrNo(FX_HERE, ENOMEM, "Failed to instantiate FileShareAutoMountManager, Memory Error!!!");
}

CQiError FclRestoreUNIX::MountShares(const FSRSrcPath* srcPaths, int count, const char* destDir,
                                     WZRstJobClient* jobClient) {
    FCL_NOT_BUILT_YET();
    (void)srcPaths, (void)count, (void)destDir, (void)jobClient;
    if (!_autoMountShare && !_autoMountDestShare) {
        return CQiError::Success();
    }
    return noManager(FX_HERE);
}

CQiError FclRestoreUNIX::MountSrcPaths(const FSRSrcPath* srcPaths, int count, WZRstJobClient* jobClient) {
    FCL_NOT_BUILT_YET();
    (void)srcPaths, (void)count, (void)jobClient;
    return _autoMountShare ? noManager(FX_HERE) : CQiError::Success();
}

CQiError FclRestoreUNIX::MountDestPath(const char* destDir) {
    FCL_NOT_BUILT_YET();
    return _autoMountDestShare && destDir != nullptr ? noManager(FX_HERE) : CQiError::Success();
}

CQiError FclRestoreUNIX::UnmountShares(const FSRSrcPath* srcPaths, int count) {
    FCL_NOT_BUILT_YET();
    (void)srcPaths, (void)count;
    if (!_autoMountShare && !_autoMountDestShare) {
        return CQiError::Success();
    }
    return noManager(FX_HERE);
}

CQiError FclRestoreUNIX::UnmountSrcPaths(const FSRSrcPath* srcPaths, int count) {
    FCL_NOT_BUILT_YET();
    (void)srcPaths, (void)count;
    return _autoMountShare ? noManager(FX_HERE) : CQiError::Success();
}

CQiError FclRestoreUNIX::UnmountDestPath() {
    FCL_NOT_BUILT_YET();
    return _autoMountDestShare ? noManager(FX_HERE) : CQiError::Success();
}

}
