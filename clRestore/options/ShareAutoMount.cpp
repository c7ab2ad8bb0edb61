// Shares mounted for the job: the source shares of an in-place job that asks for them, or the destination share of
// an out-of-place job. The job mounts them through the host's auto-mount manager, restores through their local
// locations and, at its end, unmounts exactly the shares it mounted itself: a share that was mounted before the job
// (or whose mount failed) is left as the job found it.
#include <algorithm>
#include <cerrno>
#include <new>
#include <regex>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/events/EvEvent.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/mounts/FileShareAutoMountManager.h"
#include "platform/support/FXErrorUtil.h"

namespace {

const int kErrorNoManager = 1627;
const int kSourceShareNotMounted = 0x170000b6;
const unsigned long kOutOfPlace = 0x8;
const FileShareAutoMount::AUTO_MOUNT_VOL_TYPE kShareVolume = FileShareAutoMount::AUTO_MOUNT_VOL_TYPE_SHARE;

CQiError noManager(const FXCodeLocation& where) {
    return FXErrorUtil::ErrorWin32(where, kErrorNoManager, "AutoMount Manager has not been instantiated");
}

// A drive letter and a colon, alone or followed by a backslash and any text.
bool isWindowsDrivePath(const std::string& destination) {
    static const std::regex drive("^[A-Za-z]:$|^[A-Za-z]:\\\\.*", std::regex::egrep);
    return std::regex_search(destination, drive);
}

// Adds `text` to the error, writes the error line and hands the error back.
CQiError destinationFailure(CQiError error, const FXCodeLocation& where, const std::string& text) {
    error.Push(where, "%s", text.c_str());
    FCL_ERROR("%s: %s", error.AsString(eErrorOutputDetailed).c_str(), error.AsString().c_str());
    return error;
}

std::string withError(const char* format, const std::string& a, const std::string& b, const CQiError& error) {
    char text[4096];
    snprintf(text, sizeof text, format, a.c_str(), b.c_str(), error.AsString().c_str());
    return text;
}

std::string withError(const char* format, const std::string& a, const CQiError& error) {
    char text[4096];
    snprintf(text, sizeof text, format, a.c_str(), error.AsString().c_str());
    return text;
}

// The destination's share and local location; a failure is written with `failureFormat` (destination, scan form,
// error).
CQiError mountedShare(FileShareAutoMountManager& manager, const std::string& destination, const std::string& scanFormat,
                      const char* failureFormat, std::string& share, std::string& location) {
    CQiError error = manager.getMountedShareFromPath(share, location, scanFormat);
    if (error.IsError()) {
        return destinationFailure(error, FX_HERE, withError(failureFormat, destination, scanFormat, error));
    }
    return error;
}

}  // namespace

void FclRestoreUNIX::SetAutoMountDestShare(FSRSetParams* params) {
    _autoMountDestShare = false;
    if (params == nullptr || (params->options & kOutOfPlace) == 0 || params->destDir == nullptr) {
        return;
    }
    const std::string destination = params->destDir;
    if (isWindowsDrivePath(destination)) {
        return;
    }
    std::string scanFormat;
    if (!FileShareAutoMount::convertMountToScanFormat(destination, scanFormat).IsError()) {
        _autoMountDestShare = true;
    }
}

CQiError FclRestoreUNIX::CreateAutoMountMgr(unsigned long zendrelId, unsigned long applicationNumber, long long jobId,
                                            const std::string& mountFolder) {
    delete _autoMountMgr;
    _autoMountMgr =
        new (std::nothrow) FileShareAutoMountManager(zendrelId, applicationNumber, jobId, mountFolder, _mountOptions);
    if (_autoMountMgr == nullptr) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, ENOMEM,
                                       "Failed to instantiate FileShareAutoMountManager, Memory Error!!!");
    }
    FCL_LOG(0,
            "FileShareAutoMountManager Instantiated ulZendrelId %ld ulApplicationNumber %ld llJobId %lld "
            "sAutoMountDir [%s] sAutoMountOptions [%s]",
            static_cast<long>(zendrelId), static_cast<long>(applicationNumber), jobId, mountFolder.c_str(),
            _mountOptions.c_str());
    return CQiError::Success();
}

CQiError FclRestoreUNIX::MountShares(const FSRSrcPath* srcPaths, int count, const char* destDir,
                                     WZRstJobClient* jobClient) {
    if (!_autoMountShare && !_autoMountDestShare) {
        return CQiError::Success();
    }
    if (_autoMountMgr == nullptr) {
        return noManager(FX_HERE);
    }
    CQiError error = _autoMountShare ? MountSrcPaths(srcPaths, count, jobClient) : MountDestPath(destDir);
    if (error.IsError()) {
        error.Push(FX_HERE);
    }
    return error;
}

CQiError FclRestoreUNIX::MountSrcPaths(const FSRSrcPath* srcPaths, int count, WZRstJobClient* jobClient) {
    if (srcPaths == nullptr || count <= 0 || !_autoMountShare) {
        return CQiError::Success();
    }
    if (_autoMountMgr == nullptr) {
        return noManager(FX_HERE);
    }
    bool anyMounted = false;
    for (int i = 0; i < count; ++i) {
        if (srcPaths[i].path == nullptr) {
            continue;
        }
        const std::string path = srcPaths[i].path;
        CQiError error = _autoMountMgr->mountPath(kShareVolume, path);
        if (error.IsError()) {
            FCL_ERROR("Error in mounting the srcPath [%s]. Error=[%s].", path.c_str(), error.AsString().c_str());
            if (jobClient != nullptr) {
                EvEvent event;
                event.setJobId(jobClient->jobId());
                event << path.c_str() << error.AsString().c_str();
                event.MajorEvent(kSourceShareNotMounted, 0, 0);
            }
        } else {
            _sharePathsMounted.push_back(path);
        }
        std::string share;
        std::string location;
        error = _autoMountMgr->getMountedShareFromPath(share, location, path);
        if (error.IsError()) {
            FCL_ERROR("Successfully Mounted srcPath [%s] but failed to retrieve mounted location. Error=[%s].",
                      path.c_str(), error.AsString().c_str());
            continue;
        }
        FCL_LOG(0, "Successfully Mounted srcPath [%s] using share [%s] to [%s].", path.c_str(), share.c_str(),
                location.c_str());
        anyMounted = true;
    }
    return anyMounted ? CQiError::Success()
                      : FXErrorUtil::ErrorWin32(FX_HERE, kErrorNoManager,
                                                "AutoMount Manager failed to mount all source paths");
}

CQiError FclRestoreUNIX::MountDestPath(const char* destDir) {
    if (!_autoMountDestShare || destDir == nullptr) {
        return CQiError::Success();
    }
    if (_autoMountMgr == nullptr) {
        return noManager(FX_HERE);
    }
    const std::string destination = destDir;
    std::string scanFormat;
    CQiError error = FileShareAutoMount::convertMountToScanFormat(destination, scanFormat);
    if (error.IsError()) {
        return destinationFailure(
            error, FX_HERE,
            withError("Error in converting the destDir to scan format [%s]. Error=[%s].", destination, error));
    }
    error = _autoMountMgr->mountPath(kShareVolume, scanFormat);
    if (error.IsError()) {
        return destinationFailure(error, FX_HERE,
                                  withError("Error in mounting the destDir [%s]. Error=[%s].", scanFormat, error));
    }
    _destShareMounted = true;
    std::string share;
    std::string location;
    error = mountedShare(*_autoMountMgr, destination, scanFormat,
                         "Successfully Mounted destDir [%s][%s] but failed to retrieve mounted location. Error=[%s].",
                         share, location);
    if (error.IsError()) {
        return error;
    }
    FCL_LOG(0, "Successfully Mounted destDir [%s] using share [%s] to location [%s].", destination.c_str(),
            share.c_str(), location.c_str());
    return CQiError::Success();
}

CQiError FclRestoreUNIX::UnmountShares(const FSRSrcPath* srcPaths, int count) {
    if (!_autoMountShare && !_autoMountDestShare) {
        return CQiError::Success();
    }
    if (_autoMountMgr == nullptr) {
        return noManager(FX_HERE);
    }
    CQiError error = _autoMountShare ? UnmountSrcPaths(srcPaths, count) : UnmountDestPath();
    if (error.IsError()) {
        error.Push(FX_HERE);
    }
    return error;
}

CQiError FclRestoreUNIX::UnmountSrcPaths(const FSRSrcPath* srcPaths, int count) {
    if (!_autoMountShare) {
        return CQiError::Success();
    }
    if (_autoMountMgr == nullptr) {
        return noManager(FX_HERE);
    }
    CQiError first = CQiError::Success();
    for (int i = 0; srcPaths != nullptr && i < count; ++i) {
        if (srcPaths[i].path == nullptr) {
            continue;
        }
        const std::string path = srcPaths[i].path;
        // A path whose mount failed, or that was mounted before the job, is not the job's to unmount.
        auto mounted = std::find(_sharePathsMounted.begin(), _sharePathsMounted.end(), path);
        if (mounted == _sharePathsMounted.end()) {
            FCL_LOG(0, "Not unmounting [%s]: this job did not mount it", path.c_str());
            continue;
        }
        _sharePathsMounted.erase(mounted);
        FCL_LOG(0, "Unmounting [%s]", path.c_str());
        CQiError error = _autoMountMgr->unmountPath(kShareVolume, path);
        if (error.IsError()) {
            FCL_ERROR("Could not unmount the srcPath [%s], may already be unmounted. Error=[%s].", path.c_str(),
                      error.AsString().c_str());
            if (!first.IsError()) {
                first = error;
            }
        }
    }
    return first;
}

CQiError FclRestoreUNIX::UnmountDestPath() {
    if (!_autoMountDestShare) {
        return CQiError::Success();
    }
    if (_autoMountMgr == nullptr) {
        return noManager(FX_HERE);
    }
    const std::string destination = _destDirOrig;
    if (!_destShareMounted) {
        FCL_LOG(0, "Not unmounting destDir [%s]: this job did not mount it", destination.c_str());
        return CQiError::Success();
    }
    std::string scanFormat;
    CQiError error = FileShareAutoMount::convertMountToScanFormat(destination, scanFormat);
    if (error.IsError()) {
        return destinationFailure(
            error, FX_HERE,
            withError("Error in converting the destDir to scan format [%s]. Error=[%s].", destination, error));
    }
    std::string share;
    std::string location;
    error = mountedShare(*_autoMountMgr, destination, scanFormat,
                         "Trying to Unmount destDir [%s][%s] but failed to retrieve mounted location. Error=[%s].",
                         share, location);
    if (error.IsError()) {
        return error;
    }
    error = _autoMountMgr->unmountPath(kShareVolume, scanFormat);
    if (error.IsError()) {
        return destinationFailure(error, FX_HERE,
                                  withError("Error in unmounting the destDir [%s]. Error=[%s].", scanFormat, error));
    }
    _destShareMounted = false;
    FCL_LOG(0, "Successfully Unmounted destDir [%s] using share [%s] from location [%s].", destination.c_str(),
            share.c_str(), location.c_str());
    return CQiError::Success();
}
