#include "clRestore/objects/SubclassSteps.h"

#include <cerrno>

#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"

namespace fclobjects {

int baseOpenFailed(FsRestoreUnixObject& item) {
    const int err = errno;
    FCL_LOG(0, "Error [%d] while opening [%s] (base class)", err, item._filename.c_str());
    item._ownerFactory->setErrCode(err == ENOSPC ? fclitem::kDiskFull : fclitem::kCreateFailed);
    return 0;
}

int postOpenFailed(FsRestoreUnixObject& item) {
    FCL_LOG(0, "Error [%d] while post-opening [%s] (base class)", errno, item._filename.c_str());
    if (item._ownerFactory->getErrCode() != fclitem::kUserMayNotRead) {
        item._ownerFactory->setErrCode(fclitem::kCreateFailed);
    }
    return 0;
}

bool resetsCreatedDirectories(FsRestoreUnixObject& item) {
    FsRestoreUnixObjectsFactory& factory = *item._ownerFactory;
    FclRestore* job = factory.getJob();
    return !factory.IsSyncRestore() &&
           (job == nullptr || (job->getAppType() != fclapps::kPostgresAppType && !job->IsCacheDBRestore())) &&
           (factory.getOptions() & FSR_OPT_NDMP) == 0;
}

void resetCreatedDirectories(FsRestoreUnixObject& item, const std::string& path, mode_t mode, const char* physical) {
    FsRestoreUnixObjectsFactory& factory = *item._ownerFactory;
    std::string dir = "/";
    int index = 0;
    const bool child = physical != nullptr ? factory.isDirectChildDir(path.c_str(), dir, index, physical)
                                           : factory.isDirectChildDir(path.c_str(), dir, index);
    if (child) {
        factory.resetMkdirPermOwnerGroup(dir, index, mode, static_cast<uid_t>(item._uid),
                                         static_cast<gid_t>(item._gid));
    }
}

void keepHeaderPath(FsRestoreUnixObject& item, const std::string& name, std::string& headerPath) {
    FclRestore* job = item._ownerFactory->getJob();
    if (job != nullptr && job->IsCacheDBRestore()) {
        headerPath = name;
    }
}

std::string parentDirectory(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

}  // namespace fclobjects
