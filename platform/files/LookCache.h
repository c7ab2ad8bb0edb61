#pragma once
// The directory the calling thread last looked into beneath the destination root, held open so that the next looks
// there (an item's lstat, the look at its parent before the item is created) take one call each instead of an open, a
// stat and a close. Internal to the file-call layer.
//
// Only looks go through it: every call that writes still resolves its path beneath the root afresh, so a directory
// moved or swapped for a link after it was opened here is never written through. A look may describe the directory
// the thread opened even though someone moved it away since; the held directory is let go when the root or the
// openat2 setting changes, when this process renames anything or removes a directory, when a look finds it removed,
// and when a call of the thread fails to resolve a path (a missing or swapped directory on the way).
#include <cstddef>

#include "platform/files/GateRoot.h"

namespace wzfiles {
namespace detail {

// The held directory whose text after the root is rest[0, len), or -1. `root` is the root in force.
int heldDirectory(const GateRoot& root, const char* rest, size_t len);
// Opens rest[0, len) beneath the root as a directory, its last name not followed, and holds it in place of the one
// held before: the descriptor, or -1 with errno (ENOTDIR or ELOOP when the last name is a link).
int holdDirectory(const GateRoot& root, const char* rest, size_t len);
// Lets go of the calling thread's directory.
void dropHeldDirectory();
// Lets go of every thread's directory (each notices at its next look).
void forgetHeldDirectories();

}  // namespace detail
}  // namespace wzfiles
