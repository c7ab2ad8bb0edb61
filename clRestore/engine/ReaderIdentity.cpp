#include "clRestore/engine/ReaderIdentity.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "clRestore/engine/RestoreIdentity.h"
#include "platform/log/LogWriter.h"

namespace fclreader {
namespace {

const IdentityCalls kSystemCalls = {::setregid, ::setreuid, ::setgid, ::setuid};
std::atomic<const IdentityCalls*> g_calls{&kSystemCalls};
// The identity is the whole process's: it is taken by the first reader to start and given back by the last to end.
std::mutex g_holdersLock;
int g_holders = 0;

bool switchToUser(const IdentityCalls& calls) {
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

bool switchToOriginal(const IdentityCalls& calls) {
    if (calls.setgid(gid_orig) == 0 && calls.setuid(uid_orig) == 0) {
        return true;
    }
    FCL_ERROR("error [%d] impersonating to root user uid [%d] gid [%d]", errno, static_cast<int>(uid_orig),
              static_cast<int>(gid_orig));
    // The user first: once it is back, the group can be set whatever the restore-as user was allowed.
    if (calls.setuid(uid_orig) == 0) {
        calls.setgid(gid_orig);
        return true;
    }
    return false;
}

}  // namespace

void setIdentityCalls(const IdentityCalls* calls) {
    g_calls.store(calls != nullptr ? calls : &kSystemCalls);
}

bool takeRestoreUserIdentity() {
    std::lock_guard<std::mutex> hold(g_holdersLock);
    if (g_holders > 0 || switchToUser(*g_calls.load())) {
        ++g_holders;
        return true;
    }
    return false;
}

void giveBackOriginalIdentity() {
    std::lock_guard<std::mutex> hold(g_holdersLock);
    if (g_holders > 1) {
        --g_holders;
        return;
    }
    g_holders = 0;
    const IdentityCalls& calls = *g_calls.load();
    if (switchToOriginal(calls) && geteuid() == 0) {
        // Privileged again: the saved ids the switch left at the user's go back too.
        calls.setgid(gid_orig);
        calls.setuid(uid_orig);
    }
    umask(orig_mask);
}

OriginalIdentityScope::~OriginalIdentityScope() {
    if (!leave()) {
        FCL_ERROR("error [%d] taking back the identity of user uid [%d] gid [%d]", errno, static_cast<int>(uPwd.pw_uid),
                  static_cast<int>(uPwd.pw_gid));
    }
}

bool OriginalIdentityScope::leave() {
    if (!entered_) {
        return true;
    }
    entered_ = false;
    std::lock_guard<std::mutex> hold(g_holdersLock);
    return g_holders == 0 || switchToUser(*g_calls.load());
}

bool OriginalIdentityScope::enter() {
    std::lock_guard<std::mutex> hold(g_holdersLock);
    if (entered_ || g_holders == 0) {
        return true;
    }
    entered_ = true;
    return switchToOriginal(*g_calls.load());
}

}  // namespace fclreader
