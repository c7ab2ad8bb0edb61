// Operations of the Unix factory whose behaviour is not built yet: creating the object of a header, naming and
// translating paths, the mapping, missing directories, cross-platform sources, silo paths, destination checks and
// search-index items. Each says so once and answers as a job that does not use it sees: not a synchronised restore,
// not a cross-platform source, no mapping, no special mounts. Where an item or the job needs the work, the answer is
// a failure, never a made-up success: an item cannot be named, a job that asks for a mapping does not start.
#include <strings.h>

#include <cerrno>
#include <cstring>
#include <list>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/FSRestoreSolrDBFile.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/options/PendingLog.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/tasks/EvTask.h"
#include "platform/tasks/SchedularInterfaceNet.h"

namespace {

const long long kNotSyncBackupTime = 65535;

CQiError searchIndexNotBuilt(const FXCodeLocation& where) {
    return FXErrorUtil::ErrorErrNo(where, ENOSYS, "Search-index restores are not built yet");
}

}  // namespace

// ---- creating the object of a header: no item can be named yet ----

FsRestoreObject* FsRestoreUnixObjectsFactory::createRestoreObject(CXFileHeader* /*header*/, unsigned long version) {
    FCL_NOT_BUILT_YET();
    setErrCode(0);
    _dataHandler.reset();
    setVersion(version);
    _openSpecialFileFlag = 0;
    throw ClExceptError(static_cast<int>(fclitem::kNoDestination));
}

long long FsRestoreUnixObjectsFactory::writeToDataHandler(const int& /*fd*/, void** /*buffer*/, long long& /*length*/) {
    FCL_NOT_BUILT_YET();
    return 0;
}

int FsRestoreUnixObjectsFactory::finalizeData(const int& /*fd*/, void** /*buffer*/, long long& /*length*/) {
    FCL_NOT_BUILT_YET();
    return 0;
}

bool FsRestoreUnixObjectsFactory::finalizeFile(bool result) {
    FCL_NOT_BUILT_YET();
    return result;
}

// ---- job-state queries of synchronised restores: no job is one yet ----

bool FsRestoreUnixObjectsFactory::ShouldPreserveModifiedFilesForSync() {
    FCL_NOT_BUILT_YET();
    return false;
}

long long FsRestoreUnixObjectsFactory::GetLastSyncBackupTime() {
    FCL_NOT_BUILT_YET();
    return kNotSyncBackupTime;
}

void FsRestoreUnixObjectsFactory::GetCurrentUserAndGroup(UserGroupID* ids) {
    FCL_NOT_BUILT_YET();
    UserGroupID none;
    if (ids != nullptr) {
        *ids = none;
    }
    FCL_LOG(30, "Using uid=[%d] gid=[%d] for currentMappedPath=[%s]", static_cast<int>(none.uid),
            static_cast<int>(none.gid), currentMappedPath.c_str());
}

// ---- missing directories: none of the top-level destination existed ----

void FsRestoreUnixObjectsFactory::calculateMkdirLevel() {
    FCL_NOT_BUILT_YET();
    const size_t count = _numSrcPaths > 0 ? static_cast<size_t>(_numSrcPaths) : 0;
    _mkdirLevels.assign(count, 0);
    _topLevelDestPaths.assign(count, std::string());
    for (size_t i = 0; i < count; ++i) {
        _pathPermissions[static_cast<int>(i)] = PathPermissions_info();
    }
}

bool FsRestoreUnixObjectsFactory::isDirectChildDir(const char* toPath, std::string& topLevelDestPath, int& srcIdx) {
    return isDirectChildDir(toPath, topLevelDestPath, srcIdx, toPath);
}

bool FsRestoreUnixObjectsFactory::isDirectChildDir(const char* /*toPath*/, std::string& /*topLevelDestPath*/,
                                                   int& /*srcIdx*/, const char* /*toPathPhys*/) {
    FCL_NOT_BUILT_YET();
    return false;
}

void FsRestoreUnixObjectsFactory::resetMkdirPermOwnerGroup(const std::string& /*path*/, int /*srcIdx*/, mode_t /*mode*/,
                                                           uid_t /*uid*/, gid_t /*gid*/) {
    FCL_NOT_BUILT_YET();
}

// ---- cross-platform sources: every source is a Unix one ----

bool FsRestoreUnixObjectsFactory::isWindowsCrossRestore(int /*platform*/) {
    FCL_NOT_BUILT_YET();
    _caseSensitivePaths = true;
    return false;
}

bool FsRestoreUnixObjectsFactory::isNovellCrossRestore(int /*platform*/) {
    FCL_NOT_BUILT_YET();
    return false;
}

void FsRestoreUnixObjectsFactory::convertWindowsSourcePaths() {
    FCL_NOT_BUILT_YET();
}

// ---- silo paths: no mount path is known ----

bool FsRestoreUnixObjectsFactory::translateSiloPathname(std::string& /*to*/, const std::string& /*from*/) {
    FCL_NOT_BUILT_YET();
    return false;
}

// ---- destination file-system checks: no special mounts ----

void FsRestoreUnixObjectsFactory::getLogicalVolumeList() {
    FCL_NOT_BUILT_YET();
}

bool FsRestoreUnixObjectsFactory::CheckIfDestinationPathIsInLustre(const std::string& /*path*/) {
    FCL_NOT_BUILT_YET();
    return false;
}

bool FsRestoreUnixObjectsFactory::CheckIfDestinationPathIsNFS(const std::string& /*path*/) {
    FCL_NOT_BUILT_YET();
    return false;
}

bool FsRestoreUnixObjectsFactory::ShouldResetOwnershipForLaptop() {
    FCL_NOT_BUILT_YET();
    return false;
}

// ---- search-index database items ----

CQiError FsRestoreUnixObjectsFactory::processSolrDBFileHeader(CXFileHeader /*header*/) {
    FCL_NOT_BUILT_YET();
    return searchIndexNotBuilt(FX_HERE);
}

CQiError FsRestoreUnixObjectsFactory::processSolrOutOfplaceRestore(CXFileHeader& /*header*/) {
    FCL_NOT_BUILT_YET();
    return searchIndexNotBuilt(FX_HERE);
}

CQiError FsRestoreUnixObjectsFactory::processSolrInplaceRestore(CXFileHeader& /*header*/) {
    FCL_NOT_BUILT_YET();
    return searchIndexNotBuilt(FX_HERE);
}

CQiError FsRestoreUnixObjectsFactory::processSolrInplaceRestore_HandleSolrCloud(CXFileHeader& /*header*/,
                                                                                std::string& /*actualPath*/,
                                                                                bool& /*unmapped*/) {
    FCL_NOT_BUILT_YET();
    return searchIndexNotBuilt(FX_HERE);
}

CQiError FsRestoreUnixObjectsFactory::processSolrInplaceRestore_HandleSolrIndex(CXFileHeader& /*header*/,
                                                                                std::string& /*actualPath*/,
                                                                                bool& /*unmapped*/) {
    FCL_NOT_BUILT_YET();
    return searchIndexNotBuilt(FX_HERE);
}

FsRestoreUnixObject* FsRestoreUnixObjectsFactory::CreateSolrDBRestoreFileObject(CXFileHeader* header) {
    return new FSRestoreSolrDBFile(header, this);
}
