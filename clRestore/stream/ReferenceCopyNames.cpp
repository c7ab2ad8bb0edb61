#include "clRestore/stream/ReferenceCopyNames.h"

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/options/FclRestoreUNIX.h"

bool fclstream::referenceCopyName(FclRestore& job, const std::string& name, std::string& mapped) {
    FclRestoreUNIX& unix = *job._fclRestoreUnix;
    if (name.empty() || !unix.IsRefCopyRestore() || job._setParams == nullptr || job._setParams->destDir == nullptr) {
        return false;
    }
    std::string source = name;
    if (source[0] != '/') {
        windowsPathToUnixPath(name.c_str(), source, job._setParams->options);
    }
    std::string out;
    if (unix.GetRefCopyPath(source.c_str(), out) != 0) {
        return false;
    }
    mapped = out;
    return true;
}
