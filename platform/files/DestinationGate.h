#pragma once
// The destination gate: while a root is set, every path the file calls get that lies at or under it (compared as
// text, with repeated '/' and "." components ignored, against the root as given and as resolved) is resolved beneath
// the root with openat2(RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS), so that neither "..", nor an absolute link, nor a
// link that climbs out takes a call outside it (EXDEV or ELOOP, as the kernel answers). Paths elsewhere resolve as
// usual, except one that enters the root through ".." from outside, which is refused (EXDEV). Without openat2
// (ENOSYS) the gate walks the path one component at a time and refuses every link (ELOOP).
//
// Calls that act on the final component itself (lstat, lchown, lchmod, readlink, unlink, rename, link, symlink,
// mkdir, open with O_NOFOLLOW or O_CREAT|O_EXCL) never follow it; the others (stat, access, chmod, chown, utime and
// open) follow it only while it stays beneath the root. Beneath the root the kernel refuses every absolute link,
// including one naming a place inside it. Paths beyond PATH_MAX are resolved piece by piece, each piece beneath the
// directory the previous one reached, so a ".." or a link there may not climb above the start of its piece.
#include <string>

namespace wzfiles {

// Opens `path` (a directory; a relative one is taken from the process's working directory) as the root: 0, or -1
// with errno and the previous setting kept. Safe while other threads make file calls: a call sees the old or the new
// root whole.
int setDestinationRoot(const std::string& path);
void clearDestinationRoot();
// The root as given (cleaned), "" when none is set.
std::string destinationRoot();

}  // namespace wzfiles
