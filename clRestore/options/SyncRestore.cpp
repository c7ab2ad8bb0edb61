// Synchronised restores: the sync path mapper that decides whether a job is one, and the scan lock that keeps the
// client's sync scan from running while such a job may overwrite files the user is changing.
#include <cerrno>
#include <memory>
#include <new>
#include <string>

#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/FXLockableResource.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/PlatformPaths.h"
#include "platform/settings/WZPlatformInfo.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/sync/CSyncRestorePathMapper.h"
#include "platform/sync/SyncRestoreSetup.h"
#include "platform/threads/Deadline.h"
#include "platform/threads/WzNamedMutex.h"

namespace {

const int kEventNoLockObject = 0x1c000082;
const int kEventScanRunning = 0x3e0000b6;
const unsigned long kShortestTimeOutSeconds = 600;

// The wait for the scan lock in milliseconds: the setting in seconds (never under ten minutes), or no limit at all
// without it. A setting so large that its milliseconds would not fit is no limit too.
unsigned long scanLockWaitMs() {
    unsigned long seconds = 0;
    if (!WZPlatformInfo().getNumber("FileSystemAgent", "", &seconds)) {
        return WzNamedMutex::kNoTimeOut;
    }
    if (seconds < kShortestTimeOutSeconds) {
        seconds = kShortestTimeOutSeconds;
    }
    FCL_LOG(1, "Timeout for sync lock set to %ld seconds", static_cast<long>(seconds));
    return seconds >= wzthreads::Deadline::kUnboundedMs / 1000 ? WzNamedMutex::kNoTimeOut : seconds * 1000;
}

}  // namespace

CQiError FclRestoreUNIX::CreateSyncPathMapper(unsigned long jobId) {
    delete _syncPathMapper;
    _syncRestore = false;
    _syncPathMapper = new (std::nothrow) CSyncRestorePathMapper(static_cast<long long>(jobId));
    if (_syncPathMapper == nullptr) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, -1, "Failed to instantiate CSyncRestorePathMapper, Memory Error!!!");
    }
    const int answer = _syncPathMapper->InitSyncRestore();
    if (answer == -1 || answer == 1) {
        delete _syncPathMapper;
        _syncPathMapper = nullptr;
        if (answer == -1) {
            return FXErrorUtil::ErrorErrNo(FX_HERE, -1, "Critical error while initializing SYNC_RESTORE");
        }
        return CQiError::Success();
    }
    _syncRestore = answer == 0;
    return CQiError::Success();
}

CQiError FclRestoreUNIX::lockSyncScan() {
    if (_syncPathMapper == nullptr || !_syncPathMapper->ShouldPreserveModifiedFiles()) {
        return CQiError::Success();
    }
    {
        auto_lock guard(&_scanLockGuard, true);
        if (_scanLockMutex != nullptr) {
            return CQiError::Success();
        }
    }
    const std::string name = SXSyncMisc::syncSubClientMutexName(0);
    std::unique_ptr<WzNamedMutex> mutex(new (std::nothrow)
                                            WzNamedMutex(name.c_str(), wzplatform::runDirectory().c_str()));
    if (!mutex) {
        return FXErrorUtil::ErrorEventMessage(FX_HERE, kEventNoLockObject,
                                              "unable allocate mutex object for sync lock");
    }
    // A lock that was not taken is never kept: the job then holds nothing that its release or its destructor could
    // give back in the scan's name.
    const unsigned long waitMs = scanLockWaitMs();
    if (!mutex->tryLock()) {
        FCL_LOG(1, "Waiting for the sync lock [%s], held by a sync scan or another job", mutex->getPath().c_str());
        wzlog::flushLog();  // whoever watches the log sees why the job stands still
    }
    if (!mutex->isLocked() && !mutex->lock(waitMs)) {
        if (mutex->getLastErrno() == ETIMEDOUT) {
            return FXErrorUtil::ErrorEventMessage(FX_HERE, kEventScanRunning,
                                                  "timeout: another sync operaton is running");
        }
        return FXErrorUtil::ErrorEventMessage(FX_HERE, kEventNoLockObject, "unable to take the sync lock: %s",
                                              mutex->getLastError());
    }
    {
        auto_lock guard(&_scanLockGuard, true);
        _scanLockMutex = mutex.release();
    }
    FCL_LOG(0, "Suspending Sync Scan Check");
    return CQiError::Success();
}

CQiError FclRestoreUNIX::unLockSyncScan() {
    if (_syncPathMapper == nullptr || !_syncPathMapper->ShouldPreserveModifiedFiles()) {
        return CQiError::Success();
    }
    auto_lock guard(&_scanLockGuard, true);
    if (_scanLockMutex != nullptr) {
        _scanLockMutex->unlock();
        delete _scanLockMutex;
        _scanLockMutex = nullptr;
        FCL_LOG(0, "Resuming Sync Scan Check");
    }
    return CQiError::Success();
}
