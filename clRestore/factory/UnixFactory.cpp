#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/objects/RestoreUserGlobals.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/events/EvEvent.h"
#include "platform/files/DestinationGate.h"
#include "platform/files/FileCalls.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/WZPlatformInfo.h"
#include "platform/sync/CSyncRestorePathMapper.h"
#include "platform/tasks/SchedularInterfaceNet.h"
#include "protocol/FsrMessages.h"

int MinSrcPathSize = 0;

namespace {

const char kAgentSection[] = "FileSystemAgent";
const wzTaskOptions kGuiTaskOptions = wzTaskOptions(5);
const int kOptEnforceLabelCheck = 76;
const long long kNotSyncBackupTime = 65535;
const mode_t kCreatedDirMode = 0700;

// The directory that items of the job land beneath, "" when the job writes anywhere else: in place, into the one
// file the destination names, at the source paths (synthetic full), or under "/".
std::string destinationDirectory(const char* destDir, unsigned long options) {
    if ((options & FSR_OPT_OUT_OF_PLACE) == 0 || (options & (FSR_OPT_DEST_IS_FILE | FSR_OPT_SYNTHETIC_FULL)) != 0 ||
        destDir == nullptr || destDir[0] == '\0' || strspn(destDir, "/") == strlen(destDir)) {
        return std::string();
    }
    return destDir;
}

// Creates `path` and its missing ancestors as missing ancestors of items are made: 0, or -1 with errno.
int createDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!part.empty() && mkdir_utf(part.c_str(), kCreatedDirMode) != 0 && errno != EEXIST) {
            return -1;
        }
        if (slash == std::string::npos) {
            return 0;
        }
    }
}

}  // namespace

FsRestoreUnixObjectsFactory::FsRestoreUnixObjectsFactory(char* /*jobResultsDir*/, FSRSrcPath* paths, int count,
                                                         char* destDir, unsigned long options, FclRestore* job)
    : FsRestoreObjectsFactory(paths, count, destDir, options),
      _fclRestore(job),
      _mountListLoaded(false),
      _lustreOutOfPlaceAnswer(false),
      _lustreOutOfPlaceDecided(false),
      _lustreInPlaceDecided(false),
      _lustreListBuilt(false),
      _lustreScope(0),
      _currentItemMapped(0),
      _nfsAutoMountRule(-1),
      _nfsOutOfPlaceAnswer(false),
      _nfsOutOfPlaceDecided(false),
      _nfsInPlaceDecided(false),
      _nfsListBuilt(false),
      _nfsScope(0),
      _factoryEvent(new EvEvent),
      mappingFile{},
      _restoreUnmappedData(0),
      _longestMappedSource(0),
      _reboot(0),
      _caseSensitivePaths(true),
      _mmClientLib(nullptr),
      _labelCheckOff(false),
      _createRawDevice(false) {
    calculateMkdirLevel();

    if (_fclRestore != nullptr && _fclRestore->GetSiloJobFlag()) {
        _siloMountPaths.reset(new (std::nothrow) std::map<unsigned long, CpMMSMountpathInfo>);
        if (!_siloMountPaths) {
            throw ClExceptError(static_cast<int>(fclitem::kNoMemory));
        }
    }

    SetGUIFlagForTsolLLabelCheck();

    unsigned long createRawDevice = 0;
    if (WZPlatformInfo().getNumber(kAgentSection, "nCreateRawDeviceOnRestore", &createRawDevice) &&
        createRawDevice != 0) {
        FCL_LOG(0, "Registry key 'nCreateRawDeviceOnRestore' is set in %s section of registry with value %lu",
                kAgentSection, createRawDevice);
        _createRawDevice = true;
    }
    FCL_LOG(0, "Raw devices will %sbe restored if required as per restore options", _createRawDevice ? " " : "not ");

    // Only a job that restores as another user can keep the backup's owners on request; the setting is never read
    // otherwise, and nothing here clears a value an earlier job left (the job start resets process state).
    if (g_impersonated) {
        unsigned long preserveOwnership = 0;
        if (WZPlatformInfo().getNumber(kAgentSection, "nPreserveOwnership", &preserveOwnership) &&
            preserveOwnership != 0) {
            g_preserveOwnership = true;
        }
        FCL_LOG(0, "nPreserveOwnership is %s", g_preserveOwnership ? "enabled" : "disabled");
    }

    // Last, so that nothing after it can throw and leave the root held without a factory to release it.
    if (_fclRestore != nullptr) {
        holdDestinationRoot();
    }
}

FsRestoreUnixObjectsFactory::~FsRestoreUnixObjectsFactory() {
    if (_mmClientLib != nullptr) {
        dlclose(_mmClientLib);
    }
    // A later factory of the process may hold a root of its own by now.
    if (!_gateRoot.empty() && wzfiles::destinationRoot() == _gateRoot) {
        wzfiles::clearDestinationRoot();
    }
}

void FsRestoreUnixObjectsFactory::holdDestinationRoot() {
    const std::string dest = destinationDirectory(_destDir, _options);
    if (dest.empty()) {
        return;
    }
    struct stat st;
    if (lstat_utf(dest.c_str(), &st) != 0 && errno == ENOENT) {
        if (createDirectories(dest) != 0) {
            FCL_ERROR("Cannot create the destination [%s]: %s", dest.c_str(), strerror(errno));
            throw ClExceptError(static_cast<int>(fclitem::kCreateFailed));
        }
        FCL_LOG(1, "Created the destination [%s]", dest.c_str());
    }
    if (wzfiles::setDestinationRoot(dest) != 0) {
        FCL_ERROR("Cannot hold the destination [%s] as the root of the job's paths: %s", dest.c_str(), strerror(errno));
        throw ClExceptError(static_cast<int>(fclitem::kCreateFailed));
    }
    _gateRoot = wzfiles::destinationRoot();
}

bool FsRestoreUnixObjectsFactory::isDestinationRoot(const std::string& path) const {
    auto trimmed = [](const std::string& text) {
        size_t length = text.size();
        while (length > 1 && text[length - 1] == '/') {
            --length;
        }
        return length;
    };
    const size_t length = trimmed(path);
    return !_gateRoot.empty() && length == trimmed(_gateRoot) && path.compare(0, length, _gateRoot, 0, length) == 0;
}

long long FsRestoreUnixObjectsFactory::jobId() const {
    // FclRestore::getJobID gives the same answer from the same record.
    if (_fclRestore == nullptr || _fclRestore->getInitData() == nullptr) {
        return -1;
    }
    return _fclRestore->getInitData()->jobId;
}

void FsRestoreUnixObjectsFactory::SetGUIFlagForTsolLLabelCheck() {
    _labelCheckOff = false;
    const long long id = jobId();
    if (id == -1) {
        return;
    }
    bool enforce = false;
    if (SchedularInterfaceNet().GetTaskOptionBoolean(id, kGuiTaskOptions, enforce, kOptEnforceLabelCheck)) {
        _labelCheckOff = !enforce;
    } else {
        FCL_LOG(0,
                "Could not get GUI option value indicating whether Trusted solaris label check is to be enforced or "
                "not.Would be enforced by default");
    }
}

bool FsRestoreUnixObjectsFactory::IsSyncRestore() {
    return _fclRestore != nullptr && _fclRestore->IsSyncRestore();
}

bool FsRestoreUnixObjectsFactory::IsRuvoSyncRestore() {
    return _fclRestore != nullptr && _fclRestore->IsRuvoSyncRestore();
}

bool FsRestoreUnixObjectsFactory::IsRuvoRestore() {
    return _fclRestore != nullptr && _fclRestore->IsRuvoRestore();
}

bool FsRestoreUnixObjectsFactory::IsHadoopRestore() {
    return _fclRestore != nullptr && _fclRestore->IsHadoopRestore();
}

void FsRestoreUnixObjectsFactory::GetRestoreDestinationUIDGID(unsigned long long& uid, unsigned long long& gid) {
    if (_fclRestore != nullptr) {
        _fclRestore->GetRestoreDestinationUIDGID(uid, gid);
    }
}

CSyncRestorePathMapper* FsRestoreUnixObjectsFactory::syncPathMapper() {
    return IsSyncRestore() ? _fclRestore->GetSyncPathMapper() : nullptr;
}

bool FsRestoreUnixObjectsFactory::ShouldPreserveModifiedFilesForSync() {
    CSyncRestorePathMapper* mapper = syncPathMapper();
    return mapper != nullptr && mapper->ShouldPreserveModifiedFiles();
}

long long FsRestoreUnixObjectsFactory::GetLastSyncBackupTime() {
    CSyncRestorePathMapper* mapper = syncPathMapper();
    return mapper != nullptr ? mapper->GetLastSyncBackupTime() : kNotSyncBackupTime;
}

void FsRestoreUnixObjectsFactory::GetCurrentUserAndGroup(UserGroupID* ids) {
    UserGroupID found;
    if (CSyncRestorePathMapper* mapper = syncPathMapper()) {
        mapper->GetUserAndGroupIDForPath(currentMappedPath, &found);
    }
    if (ids != nullptr) {
        *ids = found;
    }
    FCL_LOG(30, "Using uid=[%d] gid=[%d] for currentMappedPath=[%s]", static_cast<int>(found.uid),
            static_cast<int>(found.gid), currentMappedPath.c_str());
}

int FsRestoreUnixObjectsFactory::InitializeForMappedRestores(long long jobId) {
    return InitializeForMappedRestores(jobId, std::map<unsigned long, std::string>());
}
