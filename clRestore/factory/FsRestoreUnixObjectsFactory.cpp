#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"

#include <dlfcn.h>

#include <new>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/objects/RestoreUserGlobals.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/events/EvEvent.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/WZPlatformInfo.h"
#include "platform/tasks/SchedularInterfaceNet.h"

int MinSrcPathSize = 0;

namespace {

const char kAgentSection[] = "FileSystemAgent";
const wzTaskOptions kGuiTaskOptions = wzTaskOptions(5);
const int kOptEnforceLabelCheck = 76;

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
}

FsRestoreUnixObjectsFactory::~FsRestoreUnixObjectsFactory() {
    if (_mmClientLib != nullptr) {
        dlclose(_mmClientLib);
    }
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

int FsRestoreUnixObjectsFactory::InitializeForMappedRestores(long long jobId) {
    return InitializeForMappedRestores(jobId, std::map<unsigned long, std::string>());
}
