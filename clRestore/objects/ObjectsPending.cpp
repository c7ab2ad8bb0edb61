// Operations of the restore objects whose behaviour is not built yet: the conflict rules of synchronised restores,
// and other kinds' own steps. Each says so once and answers as a job that does not need it sees: not a synchronised
// restore.
#include <cerrno>

#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/FsRestoreFile.h"
#include "clRestore/objects/ProcessRestoreState.h"
#include "clRestore/options/PendingLog.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/support/FXErrorUtil.h"

// ---- synchronised-restore conflict rules: not a synchronised restore ----

int FsRestoreUnixObject::ShouldRestoreSyncItem(bool /*isDirectory*/) {
    FCL_NOT_BUILT_YET();
    return 1;
}

int FsRestoreUnixObject::CanCreateWzConflictFile() {
    FCL_NOT_BUILT_YET();
    return 0;
}

int FsRestoreUnixObject::IsFileLocked() {
    FCL_NOT_BUILT_YET();
    return 0;
}

bool FsRestoreUnixObject::isSyncObjectOlder() {
    FCL_NOT_BUILT_YET();
    return false;
}

