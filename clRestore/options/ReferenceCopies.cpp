// Restores of a reference copy: every item is stored under a first component that is the GUID of the client it
// belongs to, and is restored under that client's short name instead. Names come from the client directory, once per
// GUID and job.
#include <cstring>
#include <mutex>
#include <string>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/clients/ClientDirectory.h"
#include "platform/log/LogWriter.h"

namespace {

const int kNoPath = -1;
const int kEmptyGuid = -1;
const int kLookupFailed = -2;
const int kKnownFailure = -3;

// A client name replaces one path component: anything that is not exactly one ordinary component would put the
// client's items somewhere else.
bool isComponentName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

}  // namespace

int FclRestoreUNIX::CheckIfRefCopyRestore(const FSRInitData* initData) {
    const char* source = initData != nullptr && initData->sourceMachine != nullptr ? initData->sourceMachine : "";
    if (WZClient(std::string(source), true, 0).isReferenceCopyClient(_refCopyRestore, nullptr) != 0) {
        FCL_ERROR("error checking reference copy restore");
        return -1;
    }
    FCL_LOG(0, "reference copy restore [%d]", _refCopyRestore ? 1 : 0);
    return 0;
}

int FclRestoreUNIX::GetClientNameFromGuid(std::string& guid, std::string& name) {
    if (guid.empty()) {
        return kEmptyGuid;
    }
    // Held over the lookup too, so that each GUID is asked of the directory once.
    std::lock_guard<std::mutex> guard(_guidCacheLock);
    auto cached = _guidCache.find(guid);
    if (cached != _guidCache.end()) {
        name = cached->second;
        return name.empty() ? kKnownFailure : 0;
    }
    std::string found;
    const int rc = WZClient(guid, WZ_NAME_GUID, 0, nullptr).getShortName(found, nullptr);
    if (rc != 0) {
        FCL_ERROR("error [%d] mapping guid [%s]", rc, guid.c_str());
        _guidCache[guid] = std::string();
        return kLookupFailed;
    }
    // A name is used whole or not at all: a shortened one may well be another client's.
    if (!isComponentName(found)) {
        FCL_ERROR("error mapping guid [%s]: its client name [%s] (%zu bytes) is not a single path component",
                  guid.c_str(), found.c_str(), found.size());
        _guidCache[guid] = std::string();
        return kLookupFailed;
    }
    _guidCache[guid] = found;
    name = found;
    FCL_LOG(0, "mapped guid [%s] to [%s]", guid.c_str(), name.c_str());
    return 0;
}

int FclRestoreUNIX::GetRefCopyPath(const char* path, std::string& out) {
    if (path == nullptr || *path == '\0') {
        return kNoPath;
    }
    // Only an absolute path starts with the GUID component.
    if (path[0] != '/') {
        out = path;
        return kNoPath;
    }
    const char* guidEnd = std::strchr(path + 1, '/');
    std::string guid = guidEnd != nullptr ? std::string(path + 1, guidEnd) : std::string(path + 1);
    std::string name;
    const int rc = GetClientNameFromGuid(guid, name);
    if (rc != 0) {
        out = path;
        return rc;
    }
    out = "/" + name + (guidEnd != nullptr ? guidEnd : "");
    return 0;
}
