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
// back at once, so the process is never left with half an identity.
bool takeRestoreUserIdentity();

// Gives the original group and user back and restores the file-creation mask. A refusal is logged; the user is
// still asked back after a refused group, so the process does not stay the restore-as user.
void giveBackOriginalIdentity();

}  // namespace fclreader
