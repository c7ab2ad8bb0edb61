// The rules by which a synchronised restore keeps the user's changed or locked items and restores beside them.
#include "clRestore/objects/SyncConflictRules.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "platform/files/FileCalls.h"
#include "platform/files/LongPathHandler.h"
#include "platform/files/RecordLocks.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrJobRecords.h"

namespace fclsync {

namespace {

constexpr size_t kLongestMachineName = 64;

bool plain(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

}  // namespace

bool hasConflictTag(const std::string& path) {
    return path.find(kConflictTag) != std::string::npos;
}

std::string safeMachineName(const char* name) {
    std::string safe;
    for (const char* p = name; p != nullptr && *p != '\0' && safe.size() < kLongestMachineName; ++p) {
        const bool dot = *p == '.' && (safe.empty() || safe.back() != '.');
        safe += plain(*p) || dot ? *p : '_';
    }
    return safe;
}

bool conflictName(const std::string& path, const std::string& machine, std::string* out) {
    if (path.size() > kLongestConflictSource) {
        return false;
    }
    const size_t slash = path.rfind('/');
    const size_t componentStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < componentStart) {
        *out = path + ".[" + machine + "]." + kConflictTag;
    } else {
        *out = path.substr(0, dot) + ".[" + machine + "]." + kConflictTag + "." + path.substr(dot + 1);
    }
    return true;
}

}  // namespace fclsync

namespace {

// The source machine of the first job of the process that met a conflict; kept for the process.
const std::string& sourceMachineName(FsRestoreUnixObjectsFactory& factory) {
    static std::string name;
    static bool read = false;
    if (!read) {
        read = true;
        FclRestore* job = factory.getJob();
        FSRInitData* init = job != nullptr ? job->getInitData() : nullptr;
        if (init != nullptr) {
            name = fclsync::safeMachineName(init->sourceMachine);
        }
    }
    return name;
}

// What the link at `path` names, its links followed: through the destination when it stays there, else, for an
// absolute target elsewhere, at that target. False when it names nothing that can be looked at.
bool linkTargetOf(const std::string& path, struct stat* target) {
    if (stat_utf(path.c_str(), target) == 0) {
        return true;
    }
    char text[PATH_MAX];
    const ssize_t length = readlink_utf(path.c_str(), text, sizeof text - 1);
    if (length <= 0 || text[0] != '/') {
        return false;
    }
    text[length] = '\0';
    return stat_utf(text, target) == 0;
}

}  // namespace

int FsRestoreUnixObject::ShouldRestoreSyncItem(bool isDirectory) {
    if (StatFile(_filename) != 0) {
        return 1;
    }
    const bool destinationIsDirectory = S_ISDIR(_statBuf.st_mode);
    if (isDirectory && !destinationIsDirectory) {
        FCL_LOG(0, "Restoring Directory and Exists as File, skipping restore of %s", _filename.c_str());
        return 0;
    }
    const bool tagged = fclsync::hasConflictTag(_filename);
    if (!isDirectory && destinationIsDirectory) {
        if (tagged) {
            return 0;
        }
        FCL_LOG(7, "Restoring File %s, and it exists as Directory, will be restored as 'wzconflict'",
                _filename.c_str());
    } else if (!tagged && !isDirectory && _ownerFactory->ShouldPreserveModifiedFilesForSync() && isSyncObjectOlder()) {
        FCL_LOG(0, "File[%s] is not backed up yet, will be restored as wzconflict", _filename.c_str());
    } else if (IsFileLocked() == 0) {
        return 1;
    } else if (tagged) {
        return 0;
    } else {
        FCL_LOG(0, "[%s] is locked, will be restored as wzconflict", _filename.c_str());
    }
    const std::string kept = _filename;
    if (CanCreateWzConflictFile() == 0) {
        return 0;
    }
    _statReturn = kStatNotDone;
    if (StatFile(_filename) != 0 && errno == ENAMETOOLONG) {
        // The item goes on to fail at its creation; this says why.
        FCL_ERROR(
            "[%s] is kept, and the item cannot go beside it: its conflict name [%s] is longer than the file "
            "system allows (%s)",
            kept.c_str(), _filename.c_str(), strerror(ENAMETOOLONG));
    }
    return ShouldRestoreSyncItem(isDirectory);
}

int FsRestoreUnixObject::CanCreateWzConflictFile() {
    const std::string& machine = sourceMachineName(*_ownerFactory);
    std::string renamed;
    if (!fclsync::conflictName(_filename, machine, &renamed)) {
        return 0;
    }
    FCL_LOG(0, "[%s] is being restored as [%s]", _filename.c_str(), renamed.c_str());
    _filename = renamed;
    return 1;
}

int FsRestoreUnixObject::IsFileLocked() {
    if (StatFile(_filename) != 0) {
        return 0;
    }
    if (S_ISLNK(_statBuf.st_mode)) {
        // A link to a locked file is kept as the file would be. What it names is looked up, never opened: an open
        // through the link could block on a FIFO or take a terminal, and would reach beyond the destination.
        struct stat target;
        if (!linkTargetOf(_filename, &target) || !S_ISREG(target.st_mode) ||
            !wzfiles::recordLockHeldElsewhere(target)) {
            return 0;
        }
        FCL_LOG(7, "%s is locked", _filename.c_str());
        return 1;
    }
    // Only a regular file can hold a record lock worth keeping; opening anything else could block on a FIFO or take
    // a terminal.
    if (!S_ISREG(_statBuf.st_mode)) {
        return 0;
    }
    const int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const int fd = _longPathHandler != nullptr ? _longPathHandler->open_long(_filename.c_str(), flags)
                                               : open_utf(_filename.c_str(), flags);
    if (fd < 0) {
        return 0;
    }
    const int tested = lockf(fd, F_TEST, 0);
    const int error = errno;
    close(fd);
    if (tested != 0 && (error == EACCES || error == EAGAIN)) {
        FCL_LOG(7, "%s is locked", _filename.c_str());
        return 1;
    }
    return 0;
}

bool FsRestoreUnixObject::isSyncObjectOlder() {
    _statReturn = StatFile(_filename);
    return _statReturn == 0 &&
           static_cast<uint64_t>(_ownerFactory->GetLastSyncBackupTime()) <= static_cast<uint64_t>(_statBuf.st_mtime);
}
