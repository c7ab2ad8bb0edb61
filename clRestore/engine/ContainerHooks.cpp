// The job's hooks into the container-file table of its Unix companion.
#include <utime.h>

#include <cerrno>
#include <cstring>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/log/LogWriter.h"
#include "platform/support/FXErrorUtil.h"

CQiError FclRestore::UpdateFileTimes(const std::string& path) {
    if (_ro == nullptr) {
        return CQiError();
    }
    CContainerConfig record;
    CQiError error = _fclRestoreUnix->GetFileExtentContainerConfigs()->Query(path, record);
    if (error.IsError()) {
        error.Push(FX_HERE);
        return error;
    }
    auto* object = dynamic_cast<FsRestoreUnixObject*>(_ro);
    if (object == nullptr) {
        // Only a Unix object sets times by path; nothing else restores a container's extents.
        return CQiError();
    }
    std::string mapped;
    record.GetMappedPath(mapped);
    utimbuf times;
    times.actime = static_cast<time_t>(record.GetATime());
    times.modtime = static_cast<time_t>(record.GetMTime());
    if (object->SetFileExtentUtime(mapped, &times) < 0) {
        const int errnum = errno;
        FCL_ERROR("Error=%s while updating file times for item=%s", strerror(errnum), mapped.c_str());
        return FXErrorUtil::ErrorErrNo(FX_HERE, errnum, "Error=%s while updating file times for item=%s",
                                       strerror(errnum), mapped.c_str());
    }
    return CQiError();
}

bool FclRestore::ShouldRestoreCurrFileExtent(const std::string& path) {
    return _fclRestoreUnix->ShouldRestoreCurrFileExtent(path);
}

bool FclRestore::GetMappedPathForHdrPath(const std::string& path, std::string& out) {
    return _fclRestoreUnix->GetMappedPathForHdrPath(path, out);
}

void FclRestore::UpdateTotalProcExtents(unsigned long long n) {
    _fclRestoreUnix->UpdateTotalProcExtents(n);
}
