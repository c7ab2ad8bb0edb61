// The common first half of every item's open: the overwrite, skip and conflict rules, the relink of later names of a
// hard-linked inode, what stands at the destination that the item replaces, and the missing parent directories.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/objects/InodeTable.h"
#include "clRestore/objects/ProcessRestoreState.h"
#include "clRestore/objects/SyncConflictRules.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/files/FileCalls.h"
#include "platform/hsm/CXHSMLowLevelCtx.h"
#include "platform/hsm/CXHSMMigratedDirTrees.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/WZPlatformAgents.h"
#include "protocol/FsrMessages.h"

namespace {

const char* const kConflictTag = "wzconflict";

bool hasConflictTag(const std::string& path) {
    return path.find(kConflictTag) != std::string::npos;
}

// The path without its last segment; "/" when nothing is left.
std::string parentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    std::string parent = slash == std::string::npos ? std::string() : path.substr(0, slash);
    if (parent.empty()) {
        return "/";
    }
    if (parent.size() > 1 && parent.back() == '/') {
        parent.pop_back();
    }
    return parent;
}

bool isSymbolicLink(const std::string& path) {
    struct stat st;
    return lstat_utf(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

int linkToFirstName(FsRestoreUnixObject& item, const std::string& first) {
    for (int attempt = 1;; ++attempt) {
        if (link_utf(first.c_str(), item._filename.c_str()) == 0) {
            FCL_LOG(5, "Hard-linked [ %s ] to [ %s ]", item._filename.c_str(), first.c_str());
            item._hardLink = 1;
            return 1;
        }
        const int err = errno;
        if (attempt == 2) {
            FCL_ERROR("Error [%d] after creating ancestors of link [%s] to [%s]", err, item._filename.c_str(),
                      first.c_str());
            item._ownerFactory->setErrCode(fclitem::kCreateFailed);
            return 0;
        }
        if (err == ENOENT) {
            if (item._filename.find('/') == std::string::npos) {
                FCL_ERROR("Bad link path [%s] to [%s]", item._filename.c_str(), first.c_str());
                item._ownerFactory->setErrCode(fclitem::kCreateFailed);
                return 0;
            }
            if (!item.CreateDirsIteratively(parentOf(item._filename))) {
                FCL_ERROR("Error [%d] while creating ancestors of link [%s] to [%s]", errno, item._filename.c_str(),
                          first.c_str());
                item._ownerFactory->setErrCode(fclitem::kCreateFailed);
                return 0;
            }
        } else if (err == EEXIST) {
            if (item._filename == first) {
                FCL_ERROR("Failed to create hard link %s pointing to %s:%s %d ", first.c_str(), item._filename.c_str(),
                          strerror(err), err);
                FCL_LOG(0, "Not Deleting Same Path %s pointing to %s", first.c_str(), item._filename.c_str());
                item._hardLink = 1;
                return 1;
            }
            // The overwrite rules let this name be restored; whatever holds it (a planted link included) goes, and
            // is never written through.
            if (item.Unlink(item._filename) != 0) {
                FCL_ERROR("Error [%d] while cleaning [%s] to create link to [%s]", errno, item._filename.c_str(),
                          first.c_str());
                item._ownerFactory->setErrCode(fclitem::kCreateFailed);
                return 0;
            }
        } else {
            FCL_ERROR("link(%s, %s) failed with errno %d.", first.c_str(), item._filename.c_str(), err);
            item._ownerFactory->setErrCode(fclitem::kCreateFailed);
            return 0;
        }
    }
}

bool clearWayForItem(FsRestoreUnixObject& item, bool isDirectory) {
    FclRestore* job = item._ownerFactory->getJob();
    if (item._dontRestore != 0 || item.IsItemExtent() || item._statReturn != 0 ||
        (job != nullptr && job->IsDontRestoreData())) {
        return true;
    }
    // A link standing where a file, link or node goes is replaced, never written through; a file with other names is
    // replaced, never rewritten in place, so a name outside the restore keeps its contents. A directory keeps the
    // link: the directory open takes what it reaches as the directory, or fails the item when that is none.
    const bool link = S_ISLNK(item._statBuf.st_mode);
    const bool sharedFile = !isDirectory && !S_ISDIR(item._statBuf.st_mode) && item._statBuf.st_nlink > 1;
    if ((!link || isDirectory) && !sharedFile) {
        return true;
    }
    FCL_LOG(3, "Replacing [%s]: it is %s", item._filename.c_str(),
            link ? "a symbolic link" : "a file with other names");
    if (item.Unlink(item._filename) != 0) {
        FCL_ERROR("Error [%d] while removing [%s] before restoring it", errno, item._filename.c_str());
        item._ownerFactory->setErrCode(fclitem::kCreateFailed);
        return false;
    }
    // The name is free now: whatever stands there at the open appeared since, and is replaced in turn.
    item._statReturn = -1;
    return true;
}

int createAncestors(FsRestoreUnixObject& item) {
    const mode_t type = item._mode & S_IFMT;
    if (type == S_IFCHR || type == S_IFBLK || !item._hsmEnabled) {
        return 1;
    }
    const std::string parent = parentOf(item._filename);
    if (item._archAppType == fclapps::kMySqlAppType && isSymbolicLink(parent)) {
        FCL_ERROR(" Symlink Path exists [%s] ", parent.c_str());
        if (item.Unlink(parent) != 0) {
            FCL_ERROR(" Failed to remove mysql directory  [%d]", errno);
            item._ownerFactory->setErrCode(fclitem::kCreateFailed);
            return 0;
        }
    }
    if (!item.CreateDirsIteratively(parent)) {
        FCL_ERROR("Failed to create directory %s", parent.c_str());
        item._ownerFactory->setErrCode(fclitem::kCreateFailed);
        return 0;
    }
    if (!item._isStub || item._dontRestoreStubWithGUID) {
        return 1;
    }

    item._stubData.clear();
    item._hsm = item._hsmCtx != nullptr ? item._hsmCtx->getByFileName(parent.c_str()) : nullptr;
    if (item._hsm == nullptr) {
        FCL_ERROR("Error creating DMR object for %s, probably we are not supporting it as DMR now.", parent.c_str());
        return 1;
    }
    if (item._hsm->isDirWatched(parent.c_str()) > 0) {
        return 1;
    }
    CXHSMMigratedDirTrees trees(true, WZPI_Focus::getFocusClientName(true));
    std::string top = parent;
    const bool recorded = trees.wasDirMigrated(parent, &top);
    if (item._hsm->startWatching(top.c_str()) < 0) {
        FCL_ERROR("Failed to start watching on %s: %s", top.c_str(), item._hsm->getLastError().c_str());
        item._ownerFactory->setErrCode(fclitem::kCreateFailed);
        return 0;
    }
    if (!recorded) {
        trees.addTree(top);
    }
    return 1;
}

}  // namespace

bool FsRestoreUnixObject::keptDirectoryLink() const {
    return (_mode & S_IFMT) == S_IFDIR && _statReturn == 0 && S_ISLNK(_statBuf.st_mode);
}

int FsRestoreUnixObject::openObject() {
    const bool isDirectory = (_mode & S_IFMT) == S_IFDIR;
    bool conflictDone = false;
    // A conflict name restarts the open once. An extent item takes its extent path at the first pass only: the
    // restart keeps the conflict name, not the user's file it was given to spare.
    for (int pass = 0;; ++pass) {
        if (pass == 0 && IsItemExtent() && !_extentPath.empty()) {
            _filename = _extentPath;
        }
        const std::string before = _filename;
        if (!ShouldRestoreFile()) {
            return 1;
        }
        conflictDone = hasConflictTag(_filename);
        if (conflictDone) {
            _ownerFactory->setErrCode(fclitem::kConflictName);
            FCL_LOG(3, "Skipping Sync-Conflict Test for %s, already done!", before.c_str());
        }
        if (!_ownerFactory->IsSyncRestore() || conflictDone) {
            break;
        }
        if (ShouldRestoreSyncItem(isDirectory) == 0) {
            _ownerFactory->setErrCode(fclitem::kSkippedExisting);
            _dontRestore = 1;
            _filename = before;
            return 1;
        }
        if (isDirectory || !hasConflictTag(_filename) || pass == 1) {
            break;
        }
    }

    if (!conflictDone) {
        std::string staged;
        ConvertPathToStagingPath(_filename, staged);
        _filename = staged;
    }

    if (fclobjects::beneathRestoredLink(_filename)) {
        FCL_ERROR("[%s] lies beneath a link this job restored; the link is never followed", _filename.c_str());
        _ownerFactory->setErrCode(fclitem::kCreateFailed);
        return 0;
    }

    const unsigned long options = _ownerFactory->getOptions();
    _hardLink = 0;
    if (_linkCount >= 2 && !isDirectory && (options & FSR_OPT_DEST_IS_FILE) == 0 &&
        !_ownerFactory->isWindowsCrossRestore(_sourcePlatform) &&
        !_ownerFactory->isNovellCrossRestore(_sourcePlatform) && (options & FSR_OPT_INDEX_CACHE) == 0) {
        const char* first = find_inode_file(_inode, _device, _mtime, _filesize);
        if (first != nullptr) {
            FCL_LOG(7, "Link found for %s :  [ %s ]", _filename.c_str(), first);
            return linkToFirstName(*this, first);
        }
        std::string recorded = _filename;
        if (_ownerFactory->IsSyncRestore() && !conflictDone) {
            ConvertPathFromStagingPath(_filename, recorded);
        }
        FCL_LOG(5, "Adding filepath[%s], inode[%d], device[%d]", recorded.c_str(),
                static_cast<int>(_inode & 0xffffffffu), static_cast<int>(_device));
        if (add_inode(_inode, recorded.c_str(), _device, _mtime, _filesize) < 0) {
            FCL_ERROR("add_inode %lld failed for [%s].", static_cast<long long>(_inode), recorded.c_str());
            // Without an id the item would be recorded as restored.
            _ownerFactory->setErrCode(fclitem::kNoMemory);
            return 0;
        }
    }

    if (!clearWayForItem(*this, isDirectory)) {
        return 0;
    }
    return createAncestors(*this);
}
