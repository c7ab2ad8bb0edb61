// Source paths of Windows clients in Unix form.
#include <cstring>

#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"

namespace {

const size_t kMaxUnixPath = 1024;

}  // namespace

bool windowsPathToUnixPath(const char* path, std::string& out, unsigned long options) {
    if (path == nullptr) {
        path = "";
    }
    const size_t length = strlen(path);
    out.clear();
    out.reserve(2 * length + 2);
    if ((options & FSR_OPT_SYNTHETIC_FULL) != 0) {
        out = path;
        return true;
    }
    if (path[0] != '/' && path[0] != '\\') {
        out = "/";
    }
    if (length + out.size() > kMaxUnixPath) {
        out = path;
        FCL_LOG(0, "path too long at %d bytes", static_cast<int>(length));
        return false;
    }
    for (const char* p = path; *p != '\0'; ++p) {
        out += *p == '\\' ? '/' : *p;
    }
    return true;
}

void FsRestoreUnixObjectsFactory::convertWindowsPathToUnixPath(const char* path, std::string& out) {
    if (!windowsPathToUnixPath(path, out, _options)) {
        throw ClExceptError(static_cast<int>(fclitem::kPathTooLong));
    }
}
