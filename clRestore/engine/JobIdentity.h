#pragma once
// The identity a job that restores as another user changes for the whole process, and its return.
#include <sys/types.h>

#include <string>

namespace fclstartup {

enum class UserIdText {
    kUser,      // a user id
    kNegative,  // a negative number: no user is enforced
    kBad,       // anything else: not a whole decimal number, or too large for a user id
};

// Reads the enforced user id: the text before the first ':' as a whole decimal number.
UserIdText parseUserId(const std::string& text, uid_t* uid);

// Gives back the supplementary groups and the file-creation mask that the job's start-up changed. Called when the job
// ends, after the readers gave back the process's user and group.
void giveBackJobIdentity();

}  // namespace fclstartup
