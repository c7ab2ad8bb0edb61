#pragma once
// The pipeline reader restores files as the restore-as user: it takes that user's identity when it starts and gives
// the process's own back when it ends. The identity calls go through a table so that tests can refuse one of them,
// which a privileged process cannot otherwise arrange.
#include <sys/types.h>

namespace fclreader {

struct IdentityCalls {
    int (*setregid)(gid_t real, gid_t effective);
    int (*setreuid)(uid_t real, uid_t effective);
    int (*setgid)(gid_t id);
    int (*setuid)(uid_t id);
};

// Test hook: the calls used from now on; null puts the system's back.
void setIdentityCalls(const IdentityCalls* calls);

// Takes the restore-as user's group and user (uPwd) as effective ids, the original ids (gid_orig, uid_orig) as real
// ones. False, with errno set by the refused call, when either is refused; a group already taken is then given
// back at once, so the process is never left with half an identity. The ids are the whole process's: each reader
// takes them, and only the first to take them switches.
bool takeRestoreUserIdentity();

// Gives the original group and user back and restores the file-creation mask once the last reader that took the
// user's identity gives it back. A refusal is logged; the user is still asked back after a refused group, so the
// process does not stay the restore-as user.
void giveBackOriginalIdentity();

// A step made with the identity the process had before it took the user's: enter() switches back to it while a reader
// holds the user's identity, and the scope's end takes the user's again, whatever way the step leaves.
class OriginalIdentityScope {
public:
    OriginalIdentityScope() = default;
    ~OriginalIdentityScope();
    OriginalIdentityScope(const OriginalIdentityScope&) = delete;
    OriginalIdentityScope& operator=(const OriginalIdentityScope&) = delete;
    // False, with errno, when the switch was refused.
    bool enter();
    // Takes the user's identity again now; false, with errno, when that was refused.
    bool leave();

private:
    bool entered_ = false;
};

}  // namespace fclreader
