#include "clRestore/engine/ReaderIdentity.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "clRestore/engine/RestoreIdentity.h"
#include "platform/log/LogWriter.h"

namespace fclreader {
namespace {

const IdentityCalls kSystemCalls = {::setregid, ::setreuid, ::setgid, ::setuid};
std::atomic<const IdentityCalls*> g_calls{&kSystemCalls};

}  // namespace

void setIdentityCalls(const IdentityCalls* calls) {
    g_calls.store(calls != nullptr ? calls : &kSystemCalls);
}

bool takeRestoreUserIdentity() {
    const IdentityCalls& calls = *g_calls.load();
    const gid_t realGroup = getgid();
    const gid_t effectiveGroup = getegid();
    if (calls.setregid(gid_orig, uPwd.pw_gid) != 0) {
        return false;
    }
    if (calls.setreuid(uid_orig, uPwd.pw_uid) == 0) {
        return true;
    }
    const int refused = errno;
    if (calls.setregid(realGroup, effectiveGroup) != 0) {
        FCL_ERROR("error [%d] giving back group [%d] after a refused user switch", errno,
                  static_cast<int>(effectiveGroup));
    }
    errno = refused;
    return false;
}

void giveBackOriginalIdentity() {
    const IdentityCalls& calls = *g_calls.load();
    if (calls.setgid(gid_orig) != 0 || calls.setuid(uid_orig) != 0) {
        FCL_ERROR("error [%d] impersonating to root user uid [%d] gid [%d]", errno, static_cast<int>(uid_orig),
                  static_cast<int>(gid_orig));
        // The user first: once it is back, the group can be set whatever the restore-as user was allowed.
        if (calls.setuid(uid_orig) == 0) {
            calls.setgid(gid_orig);
        }
    }
    umask(orig_mask);
}

}  // namespace fclreader
