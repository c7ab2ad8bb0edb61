// What kind of file system receives an item (Lustre: new files get the default striping; NFS: a refused change of
// owner is ignored), answered from the host's mount table, read once per job and decided once for the whole job
// wherever the job's shape allows; and whether a personal workstation takes owners from the destination side.
#include <list>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "platform/log/LogWriter.h"
#include "platform/mounts/FXFolder.h"
#include "platform/support/FXPath.h"
#include "protocol/FsrMessages.h"

namespace {

enum class MountKind { kLustre, kNfs };

// Where a kind of file system lies for this job: nowhere, under every destination, or under some (test each path).
enum Scope { kScopeNone = 0, kScopeAll = 1, kScopeSome = 2 };

// The decided state of one kind, kept in the factory.
struct KindState {
    std::list<WzMntTab::Entry>& mounts;
    bool& listBuilt;
    bool& outOfPlaceAnswer;
    bool& outOfPlaceDecided;
    bool& inPlaceDecided;
    int& scope;
};

// What the factory tells the check about the job.
struct JobShape {
    FclRestore* job;
    bool mapped;
    bool outOfPlace;
    const std::vector<std::string>& topLevelDestPaths;
    size_t sourceCount;
};

bool isOfKind(const WzMntTab::Entry& entry, MountKind kind) {
    if (kind == MountKind::kLustre) {
        return entry.fsType == "lustre";
    }
    return entry.fsType.compare(0, 3, "nfs") == 0;
}

bool covers(const WzMntTab::Entry& mount, const std::string& path) {
    return FXPath::IsAncestorOf(mount.mountDir, path, false) || FXPath::IsSamePathAs(mount.mountDir, path);
}

bool holds(const std::string& path, const WzMntTab::Entry& mount) {
    return FXPath::IsAncestorOf(path, mount.mountDir, false) || FXPath::IsSamePathAs(mount.mountDir, path);
}

bool anyCovers(const std::list<WzMntTab::Entry>& mounts, const std::string& path) {
    for (const WzMntTab::Entry& mount : mounts) {
        if (covers(mount, path)) {
            return true;
        }
    }
    return false;
}

bool anyHeldBy(const std::list<WzMntTab::Entry>& mounts, const std::string& path) {
    for (const WzMntTab::Entry& mount : mounts) {
        if (holds(path, mount)) {
            return true;
        }
    }
    return false;
}

const char* doesNot(bool yes) {
    return yes ? "" : "does not ";
}

// The scope of an in-place job: whether the top-level destination of each source lies on the kind, and, when none
// does, whether one of them holds a mount of the kind further down.
int inPlaceScope(MountKind kind, const std::list<WzMntTab::Entry>& mounts, const JobShape& shape) {
    const bool nfs = kind == MountKind::kNfs;
    bool all = true;
    bool any = false;
    for (size_t i = 0; i < shape.sourceCount; ++i) {
        const std::string top = i < shape.topLevelDestPaths.size() ? shape.topLevelDestPaths[i] : std::string();
        const bool covered = anyCovers(mounts, top);
        FCL_LOG(0,
                nfs ? "srcIdx : %d destPath : %s %sbelongs to NFS Filesystem"
                    : "srcIdx : %d destPath : %s %sbelongs to Lustre Filesystem",
                static_cast<int>(i), top.c_str(), doesNot(covered));
        all = all && covered;
        any = any || covered;
    }
    if (all) {
        FCL_LOG(0, "%s",
                nfs ? "All Destination Paths are NFS Filesystem" : "All Destination Paths are in Lustre Filesystem");
        return kScopeAll;
    }
    if (any) {
        FCL_LOG(0, "%s",
                nfs ? "Some destination paths are in NFS Filesystem, need to check each file"
                    : "Some destination paths are in Lustre Filesystem");
        return kScopeSome;
    }
    FCL_LOG(
        0, "%s",
        nfs ? "All Destination paths are not in NFS Filesystem" : "All Destination paths are not in Lustre Filesystem");
    for (size_t i = 0; i < shape.sourceCount; ++i) {
        std::string top = i < shape.topLevelDestPaths.size() ? shape.topLevelDestPaths[i] : std::string();
        if (top.empty()) {
            top = "/";
        }
        const bool held = anyHeldBy(mounts, top);
        FCL_LOG(0,
                nfs ? "srcIdx : %d destPath : %s %scontain NFS Filesystem mount point"
                    : "srcIdx : %d destPath : %s %scontain Lustre Filesystem mount point",
                static_cast<int>(i), top.c_str(), doesNot(held));
        if (held) {
            if (nfs) {
                FCL_LOG(0, "Source path is ancestor of NFS, need to check each file");
            }
            return kScopeSome;
        }
    }
    return kScopeNone;
}

bool destinationIsOfKind(MountKind kind, KindState state, const std::list<WzMntTab::Entry>& allMounts,
                         const JobShape& shape, const std::string& path) {
    const bool nfs = kind == MountKind::kNfs;
    if (!state.listBuilt) {
        state.mounts.clear();
        for (const WzMntTab::Entry& entry : allMounts) {
            if (!isOfKind(entry, kind)) {
                continue;
            }
            if (nfs) {
                FCL_LOG(3, "NFS mount: device [%s] dir [%s] fstype [%s]", entry.device.c_str(), entry.mountDir.c_str(),
                        entry.fsType.c_str());
            }
            state.mounts.push_back(entry);
        }
        state.listBuilt = true;
    }
    if (state.mounts.empty()) {
        return false;
    }
    if (shape.mapped) {
        if (!anyCovers(state.mounts, path)) {
            return false;
        }
        FCL_LOG(6,
                nfs ? "The Destination path %s belongs to NFS Filesystem"
                    : "The Destination path %s belongs to the Lustre Filesystem",
                path.c_str());
        return true;
    }
    if (shape.outOfPlace) {
        if (!state.outOfPlaceDecided && shape.job != nullptr) {
            const std::string dest = shape.job->getDestPath();
            state.outOfPlaceAnswer = anyCovers(state.mounts, dest);
            FCL_LOG(0,
                    nfs ? "The Destination Path %s %sbelongs to NFS Filesystem"
                        : "The Destination Path %s %sbelongs to Lustre Filesystem",
                    dest.c_str(), doesNot(state.outOfPlaceAnswer));
            state.outOfPlaceDecided = true;
        }
        return state.outOfPlaceAnswer;
    }
    if (!state.inPlaceDecided) {
        state.scope = inPlaceScope(kind, state.mounts, shape);
        state.inPlaceDecided = true;
    }
    if (state.scope == kScopeSome) {
        return anyCovers(state.mounts, path);
    }
    return state.scope == kScopeAll;
}

}  // namespace

void FsRestoreUnixObjectsFactory::getLogicalVolumeList() {
    if (_mountListLoaded) {
        return;
    }
    // A table that cannot be read is an empty one: no destination is then on a special file system.
    FXFolder::getLogicalVolumeList(_mountList, nullptr);
    _mountList.sort(SortMntListInDescending());
    _mountListLoaded = true;
}

bool FsRestoreUnixObjectsFactory::CheckIfDestinationPathIsInLustre(const std::string& path) {
    return destinationIsOnMountKind(false, path);
}

bool FsRestoreUnixObjectsFactory::CheckIfDestinationPathIsNFS(const std::string& path) {
    if (_nfsAutoMountRule == -1) {
        _nfsAutoMountRule = 0;
        if (_fclRestore != nullptr && _fclRestore->ShouldAutoMountAnyShare()) {
            FCL_LOG(0, "ignoreChownErrors because restoring to automounted NFS directories");
            _nfsAutoMountRule = 1;
        }
    }
    return _nfsAutoMountRule == 1 || destinationIsOnMountKind(true, path);
}

bool FsRestoreUnixObjectsFactory::destinationIsOnMountKind(bool nfs, const std::string& path) {
    getLogicalVolumeList();
    const JobShape shape{_fclRestore, isFileMappingEnabled(), (_options & FSR_OPT_OUT_OF_PLACE) != 0,
                         _topLevelDestPaths, static_cast<size_t>(_numSrcPaths > 0 ? _numSrcPaths : 0)};
    if (nfs) {
        return destinationIsOfKind(MountKind::kNfs,
                                   KindState{_nfsMounts, _nfsListBuilt, _nfsOutOfPlaceAnswer, _nfsOutOfPlaceDecided,
                                             _nfsInPlaceDecided, _nfsScope},
                                   _mountList, shape, path);
    }
    return destinationIsOfKind(MountKind::kLustre,
                               KindState{_lustreMounts, _lustreListBuilt, _lustreOutOfPlaceAnswer,
                                         _lustreOutOfPlaceDecided, _lustreInPlaceDecided, _lustreScope},
                               _mountList, shape, path);
}

bool FsRestoreUnixObjectsFactory::ShouldResetOwnershipForLaptop() {
    FclRestore* job = _fclRestore;
    return job != nullptr && job->isRunningOnPersonalWorstationClient() && !job->IsRuvoRestore() &&
           !job->IsSyncRestore() && !job->IsRuvoSyncRestore();
}
