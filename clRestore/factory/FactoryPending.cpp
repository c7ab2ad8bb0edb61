// Operations of the Unix factory whose behaviour is not built yet: naming and translating paths, the mapping, silo
// paths and search-index items. Each says so once and answers as a job that does not use it sees: no mapping, no
// translation. Where an item or the job needs the work, the answer is a failure, never a made-up success: an item
// that needs translating cannot be named, a job that asks for a mapping does not start.
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
#include "clRestore/support/FsrMessages.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/tasks/EvTask.h"
#include "platform/tasks/SchedularInterfaceNet.h"

namespace {

const unsigned long kAdmOptMapEntries = 0x5e93ea78;

CQiError searchIndexNotBuilt(const FXCodeLocation& where) {
    return FXErrorUtil::ErrorErrNo(where, ENOSYS, "Search-index restores are not built yet");
}

// Records without a text sort first; the rest by their texts.
int compareSourcePaths(const void* a, const void* b, int (*compare)(const char*, const char*)) {
    const char* left = static_cast<const FSRSrcPath*>(a)->path;
    const char* right = static_cast<const FSRSrcPath*>(b)->path;
    if (left == nullptr || right == nullptr) {
        return (left != nullptr) - (right != nullptr);
    }
    return compare(left, right);
}

}  // namespace

// ---- naming and path translation: only names that need no translation ----

bool FsRestoreUnixObjectsFactory::preapreFileName(const char* hdrName, std::string& translated, std::string& real,
                                                  CXFileHeader* /*header*/) {
    FCL_NOT_BUILT_YET();
    fileRange = fileRange_t();
    _currentItemMapped = 0;
    // Only the names that need no translation: the one file the destination names, and an item restored in place.
    const bool translate =
        (_options & FSR_OPT_SYNTHETIC_FULL) == 0 &&
        ((_options & FSR_OPT_OUT_OF_PLACE) != 0 || (_fclRestore != nullptr && _fclRestore->GetSiloJobFlag()));
    if ((_options & FSR_OPT_DEST_IS_FILE) != 0) {
        real = _destDir;
    } else if (translate) {
        real.clear();
    } else {
        real = hdrName != nullptr ? hdrName : "";
    }
    translated = real;
    return !real.empty();
}

void FsRestoreUnixObjectsFactory::translatePathname(std::string& to, const std::string& /*from*/,
                                                    CXFileHeader* /*header*/, unsigned short /*mode*/) {
    FCL_NOT_BUILT_YET();
    to.clear();
}

int FsRestoreUnixObjectsFactory::cmpFunc(const void* a, const void* b) {
    FCL_NOT_BUILT_YET();
    return compareSourcePaths(a, b, strcmp);
}

int FsRestoreUnixObjectsFactory::cmpFuncCase(const void* a, const void* b) {
    FCL_NOT_BUILT_YET();
    return compareSourcePaths(a, b, strcasecmp);
}

std::string FsRestoreUnixObjectsFactory::getBasename(const std::string& /*path*/) {
    FCL_NOT_BUILT_YET();
    return std::string();
}

bool FsRestoreUnixObjectsFactory::translateSiloPathname(std::string& /*to*/, const std::string& /*from*/) {
    FCL_NOT_BUILT_YET();
    return false;
}

// ---- mapped restores: a job that asks for a mapping does not start ----

bool FsRestoreUnixObjectsFactory::InsertInToMap() {
    FCL_NOT_BUILT_YET();
    return false;
}

int FsRestoreUnixObjectsFactory::InitializeForMappedRestores(long long jobId,
                                                             const std::map<unsigned long, std::string>& /*map*/) {
    FCL_NOT_BUILT_YET();
    mappingFile[0] = '\0';
    SchedularInterfaceNet().GetTaskOptionString(jobId, wzTaskOptions(1), mappingFile, sizeof(mappingFile));
    std::list<std::string> entries;
    const bool xmlEntries =
        EvAdmTask(static_cast<unsigned long long>(jobId), 0, nullptr).getOptionString(kAdmOptMapEntries, entries) ==
            0 &&
        !entries.empty();
    if (mappingFile[0] != '\0' || xmlEntries || IsSyncRestore()) {
        FCL_ERROR("The job asks for a mapped restore, and mapped restores are not built yet");
        return -1;
    }
    return 0;
}

bool FsRestoreUnixObjectsFactory::getMappingPath(std::string& /*to*/, std::string& /*from*/) {
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
