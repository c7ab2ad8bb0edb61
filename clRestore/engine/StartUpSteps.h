#pragma once
// Steps of the job's start-up kept beside the identity rules they apply (StartUpIdentity.cpp).
#include <sys/types.h>

#include <string>

class FclRestore;

namespace fclstartup {

// The hole threshold of the setting's text. Empty: -1, holes are written as zeros. Otherwise the decimal value: below
// 1024 (a text that is no number reads as 0) becomes 1024, larger values round up to a multiple of 1024 (at most the
// largest that fits), negative values stay.
int holeThresholdFrom(const std::string& text);

// The impersonation check of Unix file-system jobs; false fails the start-up (the job is then fatal).
bool checkImpersonation(FclRestore& job);
// Loosens the agent's shared locations for the restore user and clears the file-creation mask.
void fixPermissionsForRestoreUser(FclRestore& job);
// The run-as user of database jobs; false fails the start-up.
bool takeRunAsUser(FclRestore& job);
// Adds `dirBits` to every directory and `fileBits` to every other entry below `root` (not to `root` itself). Never
// follows a symbolic link, neither an entry nor a directory on the way: the trees may be writable by anyone.
void addPermissionsBeneath(const std::string& root, mode_t dirBits, mode_t fileBits);

}  // namespace fclstartup
