// Whether an item is restored at all: the job's overwrite options, storage-management stubs, the never-restored
// marker name, restore-only-if-exists, do-not-overwrite and the time comparison with the copy on disk.
#include <sys/stat.h>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/apps/ApplicationTypes.h"
#include "platform/hsm/CXHSMLowLevelCtx.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"

namespace {

const char* const kNeverRestoredMarker = "{20d03aa2-7726-42d8-8381-fdda7a8a1c47}";

}  // namespace

bool FsRestoreUnixObject::isArchiveOlder() {
    if (_lookMayWait && _statReturn == kStatNotDone) {
        _statReturn = -1;
        return false;
    }
    _statReturn = StatFile(_filename);
    return _statReturn == 0 && static_cast<uint64_t>(_mtime) <= static_cast<uint64_t>(_statBuf.st_mtime) &&
           static_cast<uint64_t>(_ctime) <= static_cast<uint64_t>(_statBuf.st_ctime);
}

bool FsRestoreUnixObject::ShouldRestoreFile() {
    const bool isDirectory = (_mode & S_IFMT) == S_IFDIR;
    const unsigned long options = _ownerFactory->getOptions();
    bool overwrite = (options & FSR_OPT_OVERWRITE) != 0;
    FclRestore* job = _ownerFactory->getJob();

    if (_filename.size() >= kLongPathLength) {
        SetLongPathRestore();
    } else {
        _longPathHandler = nullptr;
    }

    if (IsItemExtent()) {
        return true;
    }

    if (_hsmEnabled) {
        const bool stubsOnly = _ownerFactory->getOverwriteStubsOnlyOption();
        if (stubsOnly && _hsmCtx != nullptr) {
            _hsm = _hsmCtx->getByFileName(_filename.c_str());
            if (_hsm == nullptr) {
                FCL_ERROR("Error creating DMR object for %s, probably we are not supporting it as DMR now.",
                          _filename.c_str());
            } else {
                overwrite = _hsm->isStub(_filename.c_str()) == 1;
            }
        }
        if (_isStub && _hsmCtx != nullptr && _hsmCtx->getuseDriver() == 2 && !_dontRestoreStubWithGUID &&
            job != nullptr && isUnixFileSystemAppType(job->getAppType())) {
            if ((options & FSR_OPT_OUT_OF_PLACE) == 0) {
                const size_t slash = _filename.rfind('/');
                const std::string directory =
                    (slash == std::string::npos ? std::string() : _filename.substr(0, slash)) + "/";
                CXHSMLowLevel* hsm = _hsmCtx->getByFileName(_filename.c_str());
                CXHSMLowLevelDriverless* driverless = dynamic_cast<CXHSMLowLevelDriverless*>(hsm);
                if (driverless != nullptr && !driverless->isDMRFSforInPlaceRestore(directory)) {
                    _dontRestore = 1;
                    _ownerFactory->setErrCode(fclitem::kStubNotRestorable);
                    FCL_ERROR("Stub %s cannot be restored. Skipping", _filename.c_str());
                    return false;
                }
            } else {
                const std::string destination = job->getDestPath();
                if (!destination.empty() && !job->isStubRestoreSupported(destination)) {
                    _dontRestore = 1;
                    _ownerFactory->setErrCode(fclitem::kStubNotRestorable);
                    FCL_ERROR("Stub %s cannot be restored to %s. Skipping", _filename.c_str(), destination.c_str());
                    return false;
                }
            }
        }
    }

    // The destination directory is where items go, never an item: one whose name strips to it is skipped, as tar
    // skips a member whose name strips to nothing, and the directory keeps its own owner, mode and times.
    if (_ownerFactory->isDestinationRoot(_filename)) {
        _dontRestore = 1;
        _ownerFactory->setErrCode(fclitem::kSkippedNotOverwritten);
        return false;
    }

    if (job != nullptr && job->GetSiloJobFlag()) {
        overwrite = true;
    }

    const bool older = isArchiveOlder();
    const bool exists = _statReturn == 0;
    // A directory merges into the one already there, or reached through a link there, so the rules that keep
    // existing items leave it alone; whatever else stands there fails its open instead.

    if (_filename.find(kNeverRestoredMarker) != std::string::npos) {
        _dontRestore = 1;
        _ownerFactory->setErrCode(fclitem::kSkippedSilently);
        return false;
    }

    const bool stubsOnly = _ownerFactory->getOverwriteStubsOnlyOption();
    if (!stubsOnly && _ownerFactory->getRestoreOnlyIfExistsOption() && !exists &&
        (options & FSR_OPT_INDEX_CACHE) == 0) {
        _dontRestore = 1;
        _ownerFactory->setErrCode(_dontRestoreStubWithGUID ? fclitem::kSkippedSilently2 : fclitem::kSkippedMissing);
        return false;
    }

    if (!stubsOnly && _ownerFactory->getDoNotOverwriteOption() && !isDirectory && exists) {
        _dontRestore = 1;
        _ownerFactory->setErrCode(_dontRestoreStubWithGUID ? fclitem::kSkippedSilently
                                                           : fclitem::kSkippedNotOverwritten);
        return false;
    }

    if (!isDirectory && !overwrite && (stubsOnly || older)) {
        _dontRestore = 1;
        if (_dontRestoreStubWithGUID) {
            _ownerFactory->setErrCode(exists ? fclitem::kSkippedSilently : fclitem::kSkippedSilently2);
        } else {
            _ownerFactory->setErrCode(fclitem::kSkippedExisting);
        }
        return false;
    }

    if (job != nullptr && job->IsDontRestoreData() && !exists) {
        _dontRestore = 1;
        _ownerFactory->setErrCode(fclitem::kSkippedMissing);
        FCL_LOG(3, "Skipping the file as it does not exists");
        return true;
    }
    return true;
}
