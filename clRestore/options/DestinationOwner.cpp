// Restoring as another user: the ACL pass-through switch, and the owner that items take from the destination.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "clRestore/engine/RestoreIdentity.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/files/FileCalls.h"
#include "platform/log/LogWriter.h"

bool FclRestoreUNIX::IsDisableACLPassthroughFeatureConfigured() {
    return g_impersonated && _aclPassthroughOff;
}

bool FclRestoreUNIX::ProcessDisableACLPassthroughFeature(FsRestoreObject* object, void* aclData, int length) {
    if (!IsDisableACLPassthroughFeatureConfigured() || object == nullptr) {
        return true;
    }
    FsRestoreUnixObject* unixObject = dynamic_cast<FsRestoreUnixObject*>(object);
    if (unixObject != nullptr && !unixObject->ShouldRestoreFileBasedOnACL(aclData, length)) {
        return false;
    }
    if (object->openObject() == 0) {
        FCL_LOG(1, "openObject() failed for '%s'", object->getTranslatedPathname().c_str());
        return false;
    }
    return true;
}

// The owner of the nearest existing entry at or above `path`; the walk ends at "/" (a path without one ends where the
// name itself is missing), and any failure but a missing entry leaves the ids as they were.
void FclRestoreUNIX::PickUIDGIDFromDestDir(const std::string& path, unsigned long long& uid, unsigned long long& gid) {
    std::string at = path;
    for (;;) {
        struct stat st;
        if (lstat_utf(at.c_str(), &st) == 0) {
            uid = st.st_uid;
            gid = st.st_gid;
            FCL_LOG(0, "This restored will restore files/folders with uid=%d, gid=%d, as collected from '%s'",
                    static_cast<int>(uid), static_cast<int>(gid), at.c_str());
            return;
        }
        const int err = errno;
        if (err != ENOENT) {
            FCL_ERROR("stat(%s) failed, error=%s, restored files/folders will have uid=0, gid=0", at.c_str(),
                      strerror(err));
            return;
        }
        const size_t slash = at.rfind('/');
        if (at == "/" || slash == std::string::npos) {
            FCL_ERROR("stat(%s) failed, error=%s, restored files/folders will have uid=0, gid=0", path.c_str(),
                      strerror(err));
            return;
        }
        at.resize(slash);
        if (at.empty()) {
            at = "/";
        }
    }
}

void FclRestoreUNIX::GetUIDGIDForDestDir(const std::string& path, unsigned long long& uid, unsigned long long& gid) {
    uid = 0;
    gid = 0;
    auto known = _destOwnerCache.find(path);
    if (known != _destOwnerCache.end()) {
        uid = known->second.first;
        gid = known->second.second;
        return;
    }
    PickUIDGIDFromDestDir(path, uid, gid);
    _destOwnerCache.emplace(path, std::make_pair(uid, gid));
}
