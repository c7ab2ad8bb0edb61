// Directories: made with their missing ancestors at open, given a fixed owner and mode when they come from Windows
// or Novell sources, given their owner and first mode by the common post-open (with the identity the process started
// with when the directory was made here earlier as an ancestor), and at close handed to the job's timestamp handler,
// which sets every folder's times at the end of the job, after everything inside was written. A directory whose name
// is the user's link to a directory is restored into the directory the link reaches, and keeps the link.
#include "clRestore/objects/FsRestoreDirectory.h"

#include <cerrno>
#include <mutex>
#include <new>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/StaticUtils.h"
#include "clRestore/objects/SubclassSteps.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/files/LongPathHandler.h"
#include "platform/log/LogWriter.h"
#include "platform/mounts/FileShareAutoMountManager.h"
#include "platform/timestamps/CRestoreTimestampHandler.h"
#include "platform/timestamps/CTimestampData.h"
#include "protocol/TimeValues.h"

namespace {

// The status of an item restored without remark.
const unsigned long kSucceededStatus = 0x1700003f;

// Makes the directory and its missing ancestors (each with mode 0700; existing ones accepted). Ordinary paths
// record the directories made while owners are preserved; long paths do not.
bool makeDirectory(FsRestoreUnixObject& item) {
    std::vector<char> path(item._filename.begin(), item._filename.end());
    path.push_back('\0');
    if (item._longPathHandler != nullptr) {
        return item._longPathHandler->CreateDirsIteratively_Long(path.data(), nullptr) != 0;
    }
    return StaticUtils::openRestoreDirectory(path.data()) != 0;
}

// The mode without its file-type bits.
mode_t permissionBits(uint32_t mode) {
    return static_cast<mode_t>(mode & 0xffff0fff);
}

void notResettingOnce() {
    static std::once_flag once;
    std::call_once(
        once, [] { FCL_LOG(0, "Not resetting permissons/ownership for sync restore or postgres log restores ...."); });
}

}  // namespace

int FsRestoreDirectory::openObject() {
    if (_filename.empty()) {
        _dontRestore = 1;
        return 1;
    }
    if (FsRestoreUnixObject::openObject() == 0) {
        return fclobjects::baseOpenFailed(*this);
    }
    FCL_LOG(2, "_dontRestoreStubWithGUID %d", _dontRestoreStubWithGUID ? 1 : 0);
    if (_dontRestore != 0 || _dontRestoreStubWithGUID) {
        return 1;
    }
    if (!makeDirectory(*this)) {
        FCL_LOG(0, "Error [%d] while opening [%s]", errno, _filename.c_str());
        _ownerFactory->setErrCode(fclitem::kCreateFailed);
        return 0;
    }

    if (_ownerFactory->isWindowsCrossRestore(_sourcePlatform) || _ownerFactory->isNovellCrossRestore(_sourcePlatform)) {
        FclRestore* job = _ownerFactory->getJob();
        const uint32_t permissions = job != nullptr && job->isRunningOnPersonalWorstationClient() ? 0777 : 0700;
        _uid = 0;
        _gid = 0;
        _mode = (_mode & ~0777u) | permissions;
    }

    IMPERSONATION_FLAG flag = IMPERSONATION_NONE;
    if (g_preserveOwnership) {
        if (_filename.size() >= 2 && _filename.back() == '/') {
            _filename.pop_back();
        }
        auto made = g_dirMap.find(_filename);
        if (made != g_dirMap.end()) {
            g_dirMap.erase(made);
            flag = IMPERSONATION_PRESERVED_OWNER_DIR;
            g_setACL = true;
        } else {
            g_setACL = false;
        }
    }
    if (postOpenObject(flag) == 0) {
        return fclobjects::postOpenFailed(*this);
    }

    if (fclobjects::resetsCreatedDirectories(*this)) {
        fclobjects::resetCreatedDirectories(*this, _filename, permissionBits(_mode));
    } else {
        notResettingOnce();
    }
    return 1;
}

int FsRestoreDirectory::closeObject() {
    const int result = FsRestoreUnixObject::closeObject();
    FclRestore* job = _ownerFactory->getJob();
    const unsigned long code = _ownerFactory->getErrCode();
    if (job == nullptr || !job->IsTimestampRestoreEnabled() || (code != 0 && code != kSucceededStatus)) {
        return result;
    }
    boost::shared_ptr<CTimestampData> times(new (std::nothrow) CTimestampData);
    if (!times) {
        FCL_ERROR("Can not initialize TimestampData");
        return result;
    }
    if (!job->InitializeRestoreTimestampHandler()) {
        FCL_ERROR("Cannot initialize RestoreTimestampHandler");
        return result;
    }
    const std::string name = getTranslatedPathname();
    FileShareAutoMountManager* shares = job->GetAutoMountManager();
    if (shares != nullptr) {
        std::string userPath;
        // A folder of a share the job mounted is reported under the path the job named.
        if (!shares->unTranslatePath(userPath, name).IsError()) {
            FCL_LOG(7, "unTranslated [%s] to [%s]", name.c_str(), userPath.c_str());
            times->SetReportingFileName(userPath);
        }
    }
    times->SetFileName(name);
    times->SetCreationTime(CTimeStamp::FromUnixTime(_ctime));
    times->SetModifiedTime(CTimeStamp::FromUnixTime(_mtime));
    if (_atime != 0) {
        times->SetAccessTime(CTimeStamp::FromUnixTime(_atime));
    }
    times->SetThroughLink(keptDirectoryLink());

    CRestoreTimestampHandler& handler = **job->GetRestoreTimestampHandler();
    const bool timestampPhase = job->IsDistributedTimestampRestore();
    CQiError queued = CQiError::Success();
    if (!job->isDistributedRestore()) {
        queued = handler.Add(times);
    } else if (!timestampPhase) {
        queued = name.size() < kLongPathLength ? handler.Add(times, job->GetMultiNodeTaskId())
                                               : handler.AddLongpath(times, job->GetMultiNodeTaskId());
    }
    if (queued.IsError()) {
        FCL_ERROR("Error [%s] encountered, while trying to add timestamp for [%s]", queued.AsString().c_str(),
                  name.c_str());
    } else if (!timestampPhase) {
        // The folder's result line comes from the handler once its times are set.
        job->SetSkipAddtoRestoreStatus(true);
    }
    return result;
}

int FsRestoreUnixCacheDirectory::openObject() {
    const int result = FsRestoreDirectory::openObject();
    if (result != 0 && !_ownerFactory->IsSyncRestore() && !_headerPath.empty()) {
        fclobjects::resetCreatedDirectories(*this, _headerPath, permissionBits(_mode), _filename.c_str());
    }
    return result;
}

void FsRestoreUnixCacheDirectory::resetFilePath(const std::string& name, CXFileHeader* header, int version) {
    FsRestoreDirectory::resetFilePath(name, header, version);
    fclobjects::keepHeaderPath(*this, name, _headerPath);
}
