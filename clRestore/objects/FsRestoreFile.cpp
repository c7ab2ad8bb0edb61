// Regular files: the exclusion-list rule, the open of the file (through the storage-management layer for a stub
// written transparently, else as a plain file) and of an Apple item's resource-fork companion, the open-time owner
// pass of a restore run as another user, the permission reset of the directories made above the file, and at close
// the storage-management finishing work. The index-cache variant resets the directories of the path the index
// header gave.
#include "clRestore/objects/FsRestoreFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/ObjectData.h"
#include "clRestore/objects/RestoreUserGlobals.h"
#include "clRestore/objects/SubclassSteps.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/files/DfmfName.h"
#include "platform/files/FileCalls.h"
#include "platform/files/LongPathHandler.h"
#include "platform/hsm/CXHSMLowLevelCtx.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"

namespace {

const char* const kExclusionListFiles[] = {"/etc/wz_backup_blacklist", "/etc/wz_backup_denylist"};

// Asked of every file: the suffix is compared where it lies, never copied into a string of its own.
bool endsWith(const std::string& text, const char* suffix) {
    const size_t length = std::strlen(suffix);
    return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

// The backup's own exclusion lists of this machine are never restored over.
bool isExclusionListFile(const std::string& path) {
    if (!endsWith(path, "wz_backup_denylist") && !endsWith(path, "wz_backup_blacklist")) {
        return false;
    }
    std::string collapsed = path;
    for (size_t at = collapsed.find("//"); at != std::string::npos; at = collapsed.find("//")) {
        collapsed.replace(at, 2, "/");
    }
    for (const char* listed : kExclusionListFiles) {
        if (path == listed || collapsed == listed) {
            return true;
        }
    }
    return false;
}

// The mode handed to the reset of the directories made above a file: its permission bits with owner and group
// search on.
mode_t createdDirectoryMode(uint32_t fileMode) {
    return static_cast<mode_t>((fileMode & 0xffff0fb7) | 0x48);
}

// Whether a managed file system holds the item's directory: its stubs are items the storage layer opens in place.
bool managedByStorageLayer(FsRestoreFile& item) {
    return item._hsmEnabled && item._hsmCtx != nullptr &&
           item._hsmCtx->getByFileName(fclobjects::parentDirectory(item._filename).c_str()) != nullptr;
}

// A new regular file needs no look before its create when all the overwrite rules ask of the name is whether it is
// free: the exclusive create answers that, and a name found taken sends the item through the rules again with a real
// look. Options whose rules act on an absent name, and items whose opens use the look for more, look first.
bool mayCreateWithoutLooking(FsRestoreFile& item) {
    FsRestoreUnixObjectsFactory& factory = *item._ownerFactory;
    FclRestore* job = factory.getJob();
    const unsigned long options = factory.getOptions();
    return job != nullptr && (item._mode & S_IFMT) == S_IFREG && item._linkCount < 2 && !item.IsItemExtent() &&
           !item._isStub && !item._dontRestoreStubWithGUID && item.isFromHFS == 0 && !g_impersonated &&
           item._filename.size() < FsRestoreUnixObject::kLongPathLength &&
           (options & (FSR_OPT_INDEX_CACHE | FSR_OPT_DEST_IS_FILE)) == 0 && !factory.IsSyncRestore() &&
           !factory.getRestoreOnlyIfExistsOption() && !factory.getOverwriteStubsOnlyOption() &&
           !job->IsDontRestoreData() && !job->IsFileDeleteBeforeRestore() && !job->IsHlinkBaseFile() &&
           !managedByStorageLayer(item);
}

void notResettingOnce() {
    static std::once_flag once;
    std::call_once(
        once, [] { FCL_LOG(0, "Not resetting permissons/ownership for sync restore or postgres log restores...."); });
}

bool pathExists(FsRestoreUnixObject& item) {
    if (item._longPathHandler != nullptr) {
        struct stat st;
        return item._longPathHandler->lstat_long(item._filename.c_str(), &st) == 0;
    }
    return access_utf(item._filename.c_str(), F_OK) == 0;
}

// The open already created or truncated the file when a later step of it failed: the item ends as a failed item
// does, its file removed when the job removes partial files, otherwise kept with times that no restore takes for
// newer. Its id stays. Returns 0.
int failAfterOpen(FsRestoreFile& item) {
    item.closeObject();
    return 0;
}

// The storage-management layer's transparent open of an existing stub. False when the item failed.
bool openTransparently(FsRestoreFile& item) {
    if (!item._hsmEnabled) {
        return true;
    }
    bool transparent = false;
    const std::string dir = fclobjects::parentDirectory(item._filename);
    item._hsm = item._hsmCtx != nullptr ? item._hsmCtx->getByFileName(dir.c_str()) : nullptr;
    if (item._hsm == nullptr) {
        if (item._hsmCtx == nullptr || item._hsmCtx->firstMissingObject()) {
            FCL_LOG(0, "Error creating DMR object for %s, Probably we are not supporting it as DMR now.", dir.c_str());
        }
    } else if (item._hsm->isManagedDir(dir.c_str()) >= 1 && item._hsm->isStub(item._filename.c_str()) >= 1) {
        if (item._hsm->openFileTrans(item._filename.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_LARGEFILE, 0600) == 0) {
            transparent = true;
        } else {
            const int err = item._hsm->getLastErrno();
            // Not a stub after all, or interrupted: the item is written as a plain file.
            if (!((err == ENXIO && !item._isStub) || err == EINTR)) {
                FCL_ERROR("Failed to get transparent access to file \"%s\": %s", item._filename.c_str(),
                          item._hsm->getLastError().c_str());
                item._ownerFactory->setErrCode(fclitem::kCreateFailed);
                return false;
            }
        }
    }
    item._hsmOpened = transparent;
    return true;
}

}  // namespace

int FsRestoreFile::openObject() {
    if (isExclusionListFile(_filename)) {
        _ownerFactory->setErrCode(fclitem::kSkippedNotOverwritten);
        FCL_LOG(1, "skipping denylist file %s", _filename.c_str());
        return 0;
    }
    // Once looked at (after the name was found taken), the item goes through the rules with what was found.
    _lookMayWait = _statReturn == kStatNotDone && mayCreateWithoutLooking(*this);
    if (FsRestoreUnixObject::openObject() == 0) {
        return fclobjects::baseOpenFailed(*this);
    }
    if (_dontRestoreStubWithGUID && _dontRestore == 0 && postOpenObject(IMPERSONATION_NONE) == 0) {
        return fclobjects::postOpenFailed(*this);
    }
    FclRestore* job = _ownerFactory->getJob();
    if (_dontRestore != 0 || _hardLink != 0 || _dontRestoreStubWithGUID) {
        if (job == nullptr || !job->IsHlinkBaseFile()) {
            return 1;
        }
        _dontRestore = 0;
        FCL_LOG(4, "setting dontRestore to false for HL base file");
    }

    if (!openTransparently(*this)) {
        return 0;
    }

    bool impersonatedNewFile = false;
    if (g_impersonated) {
        FCL_LOG(4, "impersonated user, calling postOpenObject");
        const bool exists = pathExists(*this);
        if (exists && postOpenObject(IMPERSONATION_EXISTING_ITEM) == 0) {
            FCL_LOG(4, "Error while post-opening [%s]", _filename.c_str());
            if (_ownerFactory->getErrCode() != fclitem::kUserMayNotRead) {
                _ownerFactory->setErrCode(fclitem::kCreateFailed);
            }
            return 0;
        }
        impersonatedNewFile = !exists;
        FCL_LOG(4, "For impersonated user open the file. impersonatedUserNewFile = %d", impersonatedNewFile ? 1 : 0);
    }

    if (!_hsmOpened && (job == nullptr || !job->IsDontRestoreData()) && !OpenRestoreFile(_filename, _handle)) {
        const int err = errno;
        if (err == EEXIST && _lookMayWait) {
            FCL_LOG(3, "[%s] is there already: the overwrite rules look at it", _filename.c_str());
            _lookMayWait = false;
            _statReturn = kStatNotDone;
            StatFile(_filename);
            return FsRestoreFile::openObject();
        }
        if (err == ETXTBSY) {
            FCL_LOG(0, "Error [%d] while opening [%s] Text File Busy", err, _filename.c_str());
            _ownerFactory->setErrCode(fclitem::kTextFileBusy);
        } else {
            FCL_LOG(0, "Error [%d] while opening [%s]", err, _filename.c_str());
            _ownerFactory->setErrCode(fclitem::kCreateFailed);
        }
        return 0;
    }

    if (isFromHFS != 0 && hfsRsrcSize != 0 && !_skipAppleForks) {
        // A link planted at the companion's name is never written through.
        if (WZ_DFMF_NAME(_filename.c_str(), _rsrcFilename) != 0 ||
            (_rsrchandle = open_utf(_rsrcFilename, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600)) < 0) {
            FCL_LOG(0, "Error [%d] while open resource fork [%s] (base class)", errno, _rsrcFilename);
            _ownerFactory->setErrCode(fclitem::kCreateFailed);
            return failAfterOpen(*this);
        }
    }

    if (fclobjects::resetsCreatedDirectories(*this)) {
        fclobjects::resetCreatedDirectories(*this, _filename + "/", createdDirectoryMode(_mode));
    } else {
        notResettingOnce();
    }

    const IMPERSONATION_FLAG flag =
        g_preserveOwnership && impersonatedNewFile ? IMPERSONATION_PRESERVED_OWNER_DIR : IMPERSONATION_NONE;
    if (postOpenObject(flag) == 0) {
        fclobjects::postOpenFailed(*this);
        if (impersonatedNewFile) {
            FCL_LOG(4, "Unlink opened file %s", _filename.c_str());
            unlink_utf(_filename.c_str());
        }
        return failAfterOpen(*this);
    }
    return 1;
}

int FsRestoreFile::closeObject() {
    const unsigned long before = _ownerFactory->getErrCode();
    if (FsRestoreUnixObject::closeObject() == 0) {
        FCL_LOG(0, "Error [%d] while closing [%s] (base class)", errno, _filename.c_str());
        // A failure recorded before the close (of the open, of the data) or a data failure the close found is the
        // item's cause: it stays.
        const unsigned long held = _ownerFactory->getErrCode();
        const bool failedBefore = before != 0 && before != fclitem::kConflictName;
        if (!failedBefore && held != fclitem::kWriteFailed && held != fclitem::kDiskFull) {
            _ownerFactory->setErrCode(fclitem::kCloseStepFailed);
        }
        return 0;
    }
    FCL_LOG(3, "FileName = [%s] : DontRestoreStubWithGUID = [%d], StubWithNoData = [%d], Hardlink = [%s] ",
            _filename.c_str(), _dontRestoreStubWithGUID ? 1 : 0, IsStubWithNoData() ? 1 : 0,
            _hardLink != 0 ? "yes" : "no");
    if (_dontRestore != 0 || _dontRestoreStubWithGUID || _hardLink != 0) {
        return 1;
    }
    if (!_hsmEnabled) {
        return 1;
    }

    _hsm = _hsmCtx != nullptr ? _hsmCtx->getByFileName(_filename.c_str()) : nullptr;
    if (_hsm == nullptr) {
        if (_hsmCtx == nullptr || _hsmCtx->firstMissingObject()) {
            FCL_LOG(0, "Error creating DMR object for %s, Probably we are not supporting as DMR now.",
                    _filename.c_str());
        }
        return 1;
    }
    if (_hsmOpened && _hsm->closeFileTrans() < 0) {
        FCL_LOG(0, "Error [%s] while closing [%s] (base class)", _hsm->getLastError().c_str(), _filename.c_str());
        _ownerFactory->setErrCode(fclitem::kCloseStepFailed);
        return 0;
    }
    if (!_isStub && _hsmOpened) {
        const unsigned long code = _ownerFactory->getErrCode();
        const bool success = code == 0 || code == fclitem::kSkippedSilently;
        if (_hsm->completeFile(_filename.c_str(), success, std::vector<uint64_t>()) != 0) {
            FCL_ERROR("%s", _hsm->getLastError().c_str());
            _ownerFactory->setErrCode(fclitem::kCloseStepFailed);
            return 0;
        }
    }
    if (_isStub) {
        _stubData.resize(kStubDataSize, 0);
        FclRestore* job = _ownerFactory->getJob();
        if ((job == nullptr || !job->IsDontRestoreData()) &&
            (_hsm->createStub(_filename.c_str(), _stubData) < 0 ||
             _hsm->setAMCTime(_filename.c_str(), _atime, _mtime, _ctime) < 0)) {
            FCL_ERROR("%s", _hsm->getLastError().c_str());
            _ownerFactory->setErrCode(fclitem::kCloseStepFailed);
            return 0;
        }
    }
    return 1;
}

int FsRestoreUnixCacheFile::openObject() {
    const int result = FsRestoreFile::openObject();
    if (result != 0 && !_ownerFactory->IsSyncRestore() && !_headerPath.empty()) {
        fclobjects::resetCreatedDirectories(*this, _headerPath + "/", createdDirectoryMode(_mode), _filename.c_str());
    }
    return result;
}

void FsRestoreUnixCacheFile::resetFilePath(const std::string& name, CXFileHeader* header, int version) {
    FsRestoreFile::resetFilePath(name, header, version);
    fclobjects::keepHeaderPath(*this, name, _headerPath);
}
