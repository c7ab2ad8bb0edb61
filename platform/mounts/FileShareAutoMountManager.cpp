#include "platform/mounts/FileShareAutoMountManager.h"

#include <cerrno>

#include "platform/log/LogWriter.h"
#include "platform/settings/PlatformPaths.h"
#include "platform/support/FXErrorUtil.h"

std::string FileShareAutoMount::getMountFolder() {
    return wzplatform::resultsDirectory() + "/automount";
}

CQiError FileShareAutoMount::convertMountToScanFormat(const std::string& destination, std::string& scanFormat) {
    (void)scanFormat;
    return FXErrorUtil::ErrorErrNo(FX_HERE, ENOTSUP, "[%s] names no share that can be mounted here",
                                   destination.c_str());
}

CQiError FileShareAutoMountManager::translatePath(std::string& out, const std::string& in) {
    FCL_LOG(1, "Share translation is not built yet: [%s] lies under no mounted share", in.c_str());
    out = in;
    return CQiError::Success();
}

CQiError FileShareAutoMountManager::unTranslatePath(std::string& source, const std::string& mounted) {
    (void)source;
    return FXErrorUtil::ErrorErrNo(FX_HERE, ENOENT, "[%s] lies under no mounted share", mounted.c_str());
}
