// Operations of the restore objects whose behaviour is not built yet: other kinds' own steps. Each says so once and
// answers as a job that does not need it sees.
#include <cerrno>

#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/FSRestoreSolrDBFile.h"
#include "clRestore/objects/FsRestoreFile.h"
#include "clRestore/objects/FsRestoreWindowsFile.h"
#include "clRestore/objects/ProcessRestoreState.h"
#include "clRestore/options/PendingLog.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/support/FXErrorUtil.h"

// ---- each kind's own open, data and close: the common step's answer ----

int FsRestoreWindowsFile::openObject() {
    FCL_NOT_BUILT_YET();
    return FsRestoreFile::openObject();
}

int FsRestoreWindowsFile::writeData(void* buffer, int length) {
    FCL_NOT_BUILT_YET();
    return FsRestoreUnixObject::writeData(buffer, length);
}

int FsRestoreWindowsFile::closeObject() {
    FCL_NOT_BUILT_YET();
    return FsRestoreFile::closeObject();
}

int FSRestoreSolrDBFile::closeObject() {
    FCL_NOT_BUILT_YET();
    return FsRestoreFile::closeObject();
}

CQiError FSRestoreSolrDBFile::CheckAndUpdateMetadata() {
    FCL_NOT_BUILT_YET();
    return FXErrorUtil::ErrorErrNo(FX_HERE, ENOSYS, "Search-index metadata updates are not built yet");
}
