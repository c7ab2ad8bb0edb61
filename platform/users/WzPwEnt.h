#pragma once
// Users of this system as a job sees them: found by name or by id in the system's user database, and a password
// check. The check is a stand-in: the passwords it accepts are kept, enciphered as WZPassword writes them, in the
// settings file's section [UserPasswords], one key per user name.
#include <pwd.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

#include "platform/support/CQiError.h"

class WzPwEnt {
public:
    explicit WzPwEnt(const std::string& name);
    explicit WzPwEnt(uid_t uid);

    // False when no such user exists; uid() is then (uid_t)-1.
    bool found() const { return found_; }
    const std::string& name() const { return name_; }
    uid_t uid() const { return uid_; }
    gid_t gid() const { return gid_; }

    // Success when `password` is the user's; an error whose text never holds the password otherwise.
    CQiError checkPassword(const char* password) const;

private:
    void take(const struct passwd* entry);

    bool found_ = false;
    std::string name_;
    uid_t uid_ = static_cast<uid_t>(-1);
    gid_t gid_ = static_cast<gid_t>(-1);
};

// getpwnam_r into the caller's buffer: 0 when the user exists, -1 otherwise.
int WZ_getpwnam(const char* name, struct passwd* entry, char* buffer, size_t size);
