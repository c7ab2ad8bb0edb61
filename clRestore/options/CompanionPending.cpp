// Operations of the job's Unix companion whose behaviour is not built yet. Each says so once and answers as a job
// that does not use it sees: not a synchronised restore, no auto-mount. Where a caller asks for work to be done (a
// mount, a copy), the answer is the operation's own failure, never a success.
#include <cerrno>

#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/options/PendingLog.h"
#include "clRestore/support/FXLockableResource.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/threads/WzNamedMutex.h"

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

// ---- database helpers ----

int FclRestoreUNIX::copyLogFilesList(long long jobId) {
    FCL_NOT_BUILT_YET();
    (void)jobId;
    return -1;
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
