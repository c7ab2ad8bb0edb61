#pragma once
// Who the job restores files as: set at start-up, read by the parameters handler and the pipeline reader.
#include <pwd.h>
#include <sys/types.h>

#include <string>

// The run-as user of a database job ("" when none).
extern std::string uName;
// pw_uid and pw_gid: the ids files are restored as.
extern struct passwd uPwd;
// The process's ids before the job took a user's identity.
extern uid_t uid_orig;
extern gid_t gid_orig;
// Set when the job runs as another user.
extern bool g_impersonated;
// The process's ids before the job took a user's identity, and the file-creation mask before start-up cleared it.
extern uid_t uid_orig;
extern gid_t gid_orig;
extern mode_t orig_mask;
// The file-creation mask in force before start-up cleared it; the reader thread puts it back.
extern mode_t orig_mask;
