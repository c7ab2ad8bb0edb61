// Operations of the job's Unix companion whose behaviour is not built yet. Each says so once and answers as a job
// that does not use it sees: not a synchronised restore, no auto-mount. Where a caller asks for work to be done (a
// mount, a copy), the answer is the operation's own failure, never a success.
#include <cerrno>

#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/options/PendingLog.h"
#include "clRestore/support/FXLockableResource.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/threads/WzNamedMutex.h"

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

// ---- synchronised restores: every job is an ordinary one ----

CQiError FclRestoreUNIX::CreateSyncPathMapper(unsigned long jobId) {
    FCL_NOT_BUILT_YET();
    (void)jobId;
    _syncRestore = false;
    return CQiError::Success();
}

CQiError FclRestoreUNIX::lockSyncScan() {
    FCL_NOT_BUILT_YET();
    if (!_syncRestore) {
        return CQiError::Success();
    }
    return FXErrorUtil::ErrorEventMessage(FX_HERE, 0x1c000082, "unable allocate mutex object for sync lock");
}

CQiError FclRestoreUNIX::unLockSyncScan() {
    FCL_NOT_BUILT_YET();
    auto_lock guard(&_scanLockGuard, true);
    if (_scanLockMutex != nullptr) {
        _scanLockMutex->unlock();
        delete _scanLockMutex;
        _scanLockMutex = nullptr;
    }
    return CQiError::Success();
}

// ---- IBM i paths: no path is accepted ----

bool FclRestoreUNIX::isValidIASPPath(std::string path) {
    FCL_NOT_BUILT_YET();
    (void)path;
    return false;
}

bool FclRestoreUNIX::isValidQSYSPath(std::string path) {
    FCL_NOT_BUILT_YET();
    (void)path;
    return false;
}

std::string FclRestoreUNIX::stripPathLevlel(std::string path, int levels) {
    FCL_NOT_BUILT_YET();
    (void)path, (void)levels;
    return std::string();
}

// ---- destination checks and the photo library ----

bool FclRestoreUNIX::IsIphotoSmartContent(const std::string& path, std::string& out, bool& smartContent) {
    FCL_NOT_BUILT_YET();
    (void)path, (void)out;
    smartContent = false;
    return false;
}
