// Job operations of the options and platform services whose behaviour is not built yet. Each says so once and
// answers as a job that does not use it sees: no photo-library paths, no name suffixes. Where work is asked for, the
// answer is a failure.
#include <cerrno>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/PendingLog.h"
#include "platform/support/FXErrorUtil.h"

CQiError FclRestore::TranslateIphotoPath(std::string& out, const std::string& fromPath, const std::string& destDir) {
    FCL_NOT_BUILT_YET();
    (void)out, (void)fromPath, (void)destDir;
    return FXErrorUtil::ErrorErrNo(FX_HERE, ENOSYS, "Photo-library paths are not built yet");
}

std::string FclRestore::UpdatePathBasedOnFileVersion(const std::string& path, int version) {
    FCL_NOT_BUILT_YET();
    (void)version;
    return path;
}

std::string FclRestore::UpdatePathBasedOnRestoreSuffix(const std::string& path) {
    FCL_NOT_BUILT_YET();
    return path;
}
