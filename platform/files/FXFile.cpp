#include "platform/files/FXFile.h"

#include <cerrno>

#include "platform/files/FileCalls.h"
#include "platform/support/FXErrorUtil.h"

CQiError FXFile::RemoveFile(const std::string& path) {
    if (unlink_utf(path.c_str()) != 0) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, errno, "Failed to remove [%s]", path.c_str());
    }
    return CQiError::Success();
}
