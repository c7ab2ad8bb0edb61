// Operations of the job's Unix companion whose behaviour is not built yet. Each says so once and answers as a job
// that does not use it sees: not a synchronised restore, no auto-mount, no container records. Where a caller asks for
// work to be done (a mount, a copy, a record stored), the answer is the operation's own failure, never a success.
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

CQiError noContainerRecord(const FXCodeLocation& where, const std::string& path) {
    return FXErrorUtil::ErrorErrNo(where, ENOENT, "An entry does not exists for container file=%s", path.c_str());
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

// ---- container table: it holds no record ----

CQiError FclRestoreUNIX::AddContainerItem(CXFileHeader* header, const std::string& mapped) {
    FCL_NOT_BUILT_YET();
    (void)header, (void)mapped;
    return FXErrorUtil::ErrorErrNo(FX_HERE, ENOSYS, "The container-file table is not built yet");
}

CQiError FclRestoreUNIX::AddContainerItem(const CContainerConfig& record) {
    FCL_NOT_BUILT_YET();
    (void)record;
    return FXErrorUtil::ErrorErrNo(FX_HERE, ENOSYS, "The container-file table is not built yet");
}

CQiError FclRestoreUNIX::UpdateContainerItemWithIdxMeta(const std::string& path, unsigned long long totalExtents,
                                                        unsigned long long extentSize) {
    FCL_NOT_BUILT_YET();
    (void)totalExtents, (void)extentSize;
    return noContainerRecord(FX_HERE, path);
}

bool FclRestoreUNIX::ShouldRestoreCurrFileExtent(const std::string& path) {
    FCL_NOT_BUILT_YET();
    (void)path;
    return false;
}

bool FclRestoreUNIX::GetMappedPathForHdrPath(const std::string& path, std::string& out) {
    FCL_NOT_BUILT_YET();
    (void)path, (void)out;
    return false;
}

bool FclRestoreUNIX::AreAllExtentsRestoredForContainerFile(const std::string& path) {
    FCL_NOT_BUILT_YET();
    (void)path;
    return false;
}

bool FclRestoreUNIX::HandleRestoreExtentUpdate(const std::string& path, int rc) {
    FCL_NOT_BUILT_YET();
    (void)path, (void)rc;
    return false;
}

bool FclRestoreUNIX::HandleRestoreContainerUpdate(const std::string& path, int rc) {
    FCL_NOT_BUILT_YET();
    (void)path, (void)rc;
    return true;
}

bool FclRestoreUNIX::GetContainerFileSizeForExtentPath(const std::string& path, unsigned long long& size) {
    FCL_NOT_BUILT_YET();
    (void)path;
    size = 0;
    return false;
}

bool FclRestoreUNIX::GetProcessedExtentsForExtentPath(const std::string& path, unsigned long long& processed,
                                                      bool& anyFailed) {
    FCL_NOT_BUILT_YET();
    (void)path;
    processed = 0;
    anyFailed = false;
    return false;
}

CQiError FclRestoreUNIX::RemoveContainerFileEntry(const std::string& path) {
    FCL_NOT_BUILT_YET();
    return noContainerRecord(FX_HERE, path);
}
