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
#include "clRestore/support/ItemErrorIds.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/tasks/EvTask.h"
#include "platform/tasks/SchedularInterfaceNet.h"
#include "protocol/FsrMessages.h"

namespace {

CQiError searchIndexNotBuilt(const FXCodeLocation& where) {
    return FXErrorUtil::ErrorErrNo(where, ENOSYS, "Search-index restores are not built yet");
}

}  // namespace

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
