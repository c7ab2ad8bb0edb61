// The common second half of every item's open: choosing the owner by the job's kind, the read check of the user the
// restore runs as, and setting the owner and the first mode by descriptor, or by path without following a link.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/ReaderIdentity.h"
#include "clRestore/engine/RestoreIdentity.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/objects/ProcessRestoreState.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/events/EvEvent.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/WZPlatformInfo.h"
#include "platform/support/FXPath.h"
#include "protocol/FsrMessages.h"

namespace {

// Read at the first post-open of a job and kept for the job.
struct PostOpenSettings {
    bool read = false;
    bool ignoreEinval = false;
    bool ignoreAnyOwnerError = false;
    bool useSyncOwner = false;
    bool ibrix = false;
    bool restoreOnlyUserData = false;
    bool lchownMissing = false;
    std::vector<gid_t> groups;  // the restore user's groups
};

PostOpenSettings& settings() {
    static PostOpenSettings values;
    return values;
}

constexpr mode_t kSetIdAndSticky = 07000;

void readSettings(PostOpenSettings& s, FsRestoreUnixObjectsFactory& factory) {
    s.read = true;
    const char* const section = "FileSystemAgent";
    unsigned long ignore = 0;
    WZPlatformInfo().getNumber(section, "ignoreChownErrors", &ignore);
    s.ignoreEinval = ignore == 1;
    s.ignoreAnyOwnerError = ignore == 2 && !g_impersonated;
    if (s.ignoreAnyOwnerError || s.ignoreEinval) {
        FCL_LOG(0, "Registry set to %s", s.ignoreAnyOwnerError ? "ignore chown errors." : "ignore EINVAL errors.");
    }

    unsigned long syncOwner = 1;
    if (WZPlatformInfo().getNumber(section, "RestoreUserGroupForSync", &syncOwner)) {
        FCL_LOG(0, "Additional Setting [%s]/[%s]=[%lu] is set", section, "RestoreUserGroupForSync", syncOwner);
    }
    s.useSyncOwner = factory.IsSyncRestore() && syncOwner == 1;

    unsigned long ibrix = 0;
    s.ibrix = WZPlatformInfo().getNumber(section, "nIbrixEnabled", &ibrix) && ibrix != 0;
    if (s.ibrix) {
        FCL_LOG(0, "IBRIX restore enabled.");
    }

    if (!g_impersonated) {
        return;
    }
    const long maxGroups = sysconf(_SC_NGROUPS_MAX);
    try {
        s.groups.resize(static_cast<size_t>(maxGroups > 0 ? maxGroups : 0) + 1);
        const int count = getgroups(static_cast<int>(s.groups.size()), s.groups.data());
        s.groups.resize(count > 0 ? static_cast<size_t>(count) : 0);
    } catch (const std::bad_alloc&) {
        FCL_ERROR(
            "error allocating memory for group list, impersonate based on group permissions will not be honoured");
        s.groups.clear();
    }
    FCL_LOG(4, "no. of groups user is part of [%d]", static_cast<int>(s.groups.size()));
    unsigned long onlyUserData = 0;
    s.restoreOnlyUserData =
        WZPlatformInfo().getNumber(section, "nRestoreOnlyUserData", &onlyUserData) && onlyUserData != 0;
    if (s.restoreOnlyUserData) {
        FCL_LOG(0, "registry is set to restore only user data");
    }
}

bool inGroups(const PostOpenSettings& s, uint64_t gid) {
    for (gid_t g : s.groups) {
        if (static_cast<uint64_t>(g) == gid) {
            return true;
        }
    }
    return false;
}

}  // namespace

void resetPostOpenSettings() {
    settings() = PostOpenSettings();
}

int FsRestoreUnixObject::postOpenObject(IMPERSONATION_FLAG flag) {
    if (_postOpenObject(_handle, _filename.c_str(), flag) == 0) {
        return 0;
    }
    // The companion file's owner decides nothing about the item's own set-id bits.
    const bool itemOwnerSet = _ownerSet;
    if (isFromHFS != 0 && !_skipAppleForks) {
        if (_fremovexattr_func != nullptr) {
            _fremovexattr_func(_handle, "com.apple.ResourceFork", 0);
        }
        if (_rsrchandle >= 0 && _postOpenObject(_rsrchandle, _rsrcFilename, flag) == 0) {
            _ownerSet = itemOwnerSet;
            return 0;
        }
        _ownerSet = itemOwnerSet;
    }
    _onLustre = _ownerFactory->CheckIfDestinationPathIsInLustre(_filename);
    return 1;
}

int FsRestoreUnixObject::_postOpenObject(int fd, const char* name, IMPERSONATION_FLAG flag) {
    PostOpenSettings& s = settings();
    if (!s.read) {
        readSettings(s, *_ownerFactory);
    }
    if (s.ibrix) {
        _ibrixRestore = true;
    }
    FCL_LOG(3, "_postOpenObject _dontRestore:%d _dontRestoreStubWithGUID:%d StubWithNoData=%d impersonate %d",
            _dontRestore, _dontRestoreStubWithGUID ? 1 : 0, _stubWithNoData ? 1 : 0, static_cast<int>(flag));

    _ownerSet = false;
    if (_hardLink != 0 || (_ownerFactory->getOptions() & FSR_OPT_DEST_IS_FILE) != 0) {
        return 1;
    }
    if (_dontRestore != 0 && !_dontRestoreStubWithGUID) {
        return 1;
    }
    if (IsItemExtent() && _openSpecialFile != 1 && !seekToExtentOffset()) {
        FCL_ERROR("Failed to seek to file offset=%llu file=%s", static_cast<unsigned long long>(_extentFileOffset),
                  _filename.c_str());
        // Without an id the item would be recorded as restored.
        _ownerFactory->setErrCode(fclitem::kCreateFailed);
        return 0;
    }

    // Set-id and sticky bits wait for the close, after the data and the owner.
    mode_t firstMode = _mode & 07777 & ~kSetIdAndSticky;
    if (_ibrixRestore) {
        firstMode = (firstMode & ~0777) | 0600;
    }

    FclRestore* job = _ownerFactory->getJob();
    if (s.useSyncOwner) {
        UserGroupID ids;
        _ownerFactory->GetCurrentUserAndGroup(&ids);
        _uid = ids.getUID();
        _gid = ids.getGID();
    }
    if (_ownerFactory->IsRuvoRestore() || _ownerFactory->IsRuvoSyncRestore()) {
        unsigned long long uid = _uid;
        unsigned long long gid = _gid;
        _ownerFactory->GetRestoreDestinationUIDGID(uid, gid);
        _uid = uid;
        _gid = gid;
    }
    if (job != nullptr && _ownerFactory->ShouldResetOwnershipForLaptop()) {
        unsigned long long uid = _uid;
        unsigned long long gid = _gid;
        if ((_ownerFactory->getOptions() & FSR_OPT_OUT_OF_PLACE) == 0) {
            if (job->isCrossMachineRestore()) {
                for (const std::string& top : _ownerFactory->getTopLevelDestPaths()) {
                    const std::string directory = top.empty() ? std::string("/") : top;
                    if (FXPath::IsAncestorOf(directory, name, false)) {
                        job->GetUIDGIDForDestDir(directory, uid, gid);
                        FCL_LOG(6, "The path %s is descendant of %s, so using uid = [%u] and gid = [%u]", name,
                                directory.c_str(), static_cast<unsigned int>(uid), static_cast<unsigned int>(gid));
                        break;
                    }
                }
            }
        } else {
            job->GetRestoreDestinationUIDGID(uid, gid);
        }
        _uid = uid;
        _gid = gid;
    }

    const bool isDirectory = (_mode & S_IFMT) == S_IFDIR;
    // A directory kept as the user's link is changed here as a link item is: its owner goes to the link, and neither
    // owner nor first mode reaches the user's directory behind it.
    const bool isLink = (_mode & S_IFMT) == S_IFLNK || keptDirectoryLink();
    // A directory stays closed to group and others until its close sets its mode: one whose item fails is never left
    // more open than it was backed up.
    const mode_t modeNow = isDirectory ? firstMode & 0700 : firstMode;
    fclreader::OriginalIdentityScope originalIdentity;
    bool readable = false;
    if (g_impersonated) {
        if (static_cast<uint64_t>(uPwd.pw_uid) == _uid) {
            if (s.restoreOnlyUserData && (firstMode & 0400) == 0) {
                FCL_LOG(4, "user [%lld] is the owner but has no read permission ", static_cast<long long>(_uid));
                _ownerFactory->setErrCode(fclitem::kUserMayNotRead);
                return 0;
            }
            readable = true;
        } else if (!s.restoreOnlyUserData && (firstMode & 0004) != 0) {
            FCL_LOG(4, "read is allowed for others, ignoring all errors");
            readable = true;
        } else if ((firstMode & 0040) != 0) {
            FCL_LOG(4, "read is allowed for group, checking if user is part of group");
            if (static_cast<uint64_t>(uPwd.pw_gid) == _gid) {
                FCL_LOG(4, "read is allowed for group, ignoring all errors");
                readable = true;
            } else if (inGroups(s, _gid)) {
                FCL_LOG(4, "user is part of group where read is allowed, ignoring all errors");
                readable = true;
            }
        }
        if (!isDirectory && !readable) {
            FCL_LOG(4, "user has no read permission [0%o] ", static_cast<unsigned int>(firstMode));
            _ownerFactory->setErrCode(fclitem::kUserMayNotRead);
            return 0;
        }
        if (flag == IMPERSONATION_PRESERVED_OWNER_DIR && !originalIdentity.enter()) {
            FCL_ERROR("error [%d] impersonating to root user", errno);
        }
    }

    FCL_LOG(3, "%s uid=%u gid=%u mode=0x%X", name, static_cast<unsigned int>(_uid), static_cast<unsigned int>(_gid),
            _mode);
    const bool byPath = fd == -1;
    const char* const call = byPath ? "chown" : "fchown";
    int result = 1;

    // The owner.
    int rc;
    if (!byPath) {
        rc = FChownFile(fd, static_cast<unsigned int>(_uid), static_cast<unsigned int>(_gid));
    } else if (s.lchownMissing && !isLink) {
        rc = ChownFile(name, static_cast<unsigned int>(_uid), static_cast<unsigned int>(_gid));
    } else {
        rc = lChownFile(name, static_cast<unsigned int>(_uid), static_cast<unsigned int>(_gid));
        // The following form is never used on a link: it would change the link's target.
        if (rc != 0 && errno == ENOSYS && !s.lchownMissing) {
            s.lchownMissing = true;
            if (!isLink) {
                rc = ChownFile(name, static_cast<unsigned int>(_uid), static_cast<unsigned int>(_gid));
            }
        }
    }
    // Set-id bits at the close go only to an item whose owner this set; a directory behind a kept link has its own.
    _ownerSet = rc == 0 && !keptDirectoryLink();
    bool ownerFailed = false;
    if (rc != 0) {
        const int err = errno;
        if (_ownerFactory->CheckIfDestinationPathIsNFS(_filename)) {
            FCL_LOG(5, "chown() error %d ignored on NFS filesystem", err);
            errno = 0;
            countLoss(FsRestoreStatistics::Loss::Owner, err);
        } else if (err == EINVAL && s.ignoreEinval) {
            FCL_LOG(0, "%s failed (EINVAL) when called with _uid:%llX _gid:%llX", call,
                    static_cast<unsigned long long>(_uid), static_cast<unsigned long long>(_gid));
            countLoss(FsRestoreStatistics::Loss::Owner, err);
        } else if (s.ignoreAnyOwnerError || readable) {
            FCL_LOG(0, "%s failed (%d) when called with _uid:%llX _gid:%llX", call, err,
                    static_cast<unsigned long long>(_uid), static_cast<unsigned long long>(_gid));
            countLoss(FsRestoreStatistics::Loss::Owner, err);
        } else if (byPath && err == ENOENT && _dontRestoreStubWithGUID) {
            FCL_LOG(4, "chown() error ENOENT ignored");
        } else {
            ownerFailed = true;
            errno = err;
        }
    }
    if (byPath && g_impersonated && flag == IMPERSONATION_EXISTING_ITEM) {
        if (ownerFailed) {
            FCL_LOG(4, " Returning form _postOpenObject [%d] while chown [%s] (uid %lu, gid %lu)", errno, name,
                    static_cast<unsigned long>(_uid), static_cast<unsigned long>(_gid));
            // Without an id the item would be recorded as restored.
            _ownerFactory->setErrCode(fclitem::kCloseStepFailed);
            return 0;
        }
        FCL_LOG(4, " Returning form _postOpenObject without chmod file %s", name);
        return 1;
    }
    if (ownerFailed) {
        if (byPath) {
            FCL_ERROR("Error [%d] while chown [%s] (uid %lu, gid %lu)", errno, name, static_cast<unsigned long>(_uid),
                      static_cast<unsigned long>(_gid));
        } else {
            FCL_LOG(0, "Error [%d] while fchown [%s] (uid %lu, gid %lu)", errno, name, static_cast<unsigned long>(_uid),
                    static_cast<unsigned long>(_gid));
        }
        _ownerFactory->setErrCode(fclitem::kCloseStepFailed);
        result = 0;
    }

    // The first mode. A link has none of its own, and its target never gets one.
    if (byPath) {
        rc = lChmodFile(name, static_cast<int>(modeNow));
        if (rc != 0 && errno == ENOSYS && !isLink) {
            rc = ChmodFile(name, static_cast<int>(modeNow));
        }
        if (rc != 0 && !isLink) {
            if (errno == ENOENT && _dontRestoreStubWithGUID) {
                FCL_LOG(4, "chmod() error ENOENT ignored");
            } else if (!readable) {
                FCL_ERROR("Error [%d] while chmod [%s] (mode %lu)", errno, name, static_cast<unsigned long>(_mode));
                _ownerFactory->setErrCode(fclitem::kCloseStepFailed);
                result = 0;
            }
        }
    } else if (FChmodFile(fd, static_cast<int>(modeNow)) != 0 && !readable) {
        FCL_LOG(0, "Error [%d] while fchmod [%s] (mode %lu)", errno, name, static_cast<unsigned long>(_mode));
        _ownerFactory->setErrCode(fclitem::kCloseStepFailed);
        result = 0;
    }

    if (!originalIdentity.leave()) {
        const int err = errno;
        FCL_ERROR("error [%d] impersonating with user [%s] uid [%d] gid [%d]", err, uName.c_str(),
                  static_cast<int>(uPwd.pw_uid), static_cast<int>(uPwd.pw_gid));
        *_event << err;
        _event->MajorEvent(static_cast<int>(fclitem::kBackToUserFailed));
        _ownerFactory->setErrCode(fclitem::kBackToUserFailed);
        result = 0;
    }
    return result;
}
