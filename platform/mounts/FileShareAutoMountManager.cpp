#include "platform/mounts/FileShareAutoMountManager.h"

#include <cerrno>

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

CQiError FileShareAutoMountManager::translatePath(const std::string& scanFormat, std::string& mounted) {
    (void)mounted;
    return FXErrorUtil::ErrorErrNo(FX_HERE, ENOENT, "Share [%s] is not mounted", scanFormat.c_str());
}

CQiError FileShareAutoMountManager::unTranslatePath(std::string& source, const std::string& mounted) {
    (void)source;
    return FXErrorUtil::ErrorErrNo(FX_HERE, ENOENT, "[%s] lies under no mounted share", mounted.c_str());
}
