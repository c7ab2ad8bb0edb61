#pragma once
// Opening a path relative to a directory descriptor in pieces shorter than PATH_MAX, either as the kernel resolves
// it or confined beneath that directory. Internal to the file-call layer.
#include <fcntl.h>
#include <sys/types.h>

#include <cstddef>

namespace wzfiles {
namespace detail {

enum class Walk { kOrdinary, kBeneath };

// What a directory on the way is opened with.
constexpr int kDirFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// Opens s[0, len) relative to `dirfd` (ignored for an absolute path when ordinary) with `flags` and `mode`: the
// descriptor, or -1 with errno. Beneath, every piece is resolved with openat2 beneath the directory the previous piece
// reached; on a kernel without openat2, component by component refusing every link. s[len] must be readable.
int openPath(int dirfd, const char* s, size_t len, int flags, mode_t mode, Walk walk);

// True while the test hook plays a kernel older than openat2 (FileCallHooks.h).
bool playingOldKernel();

// Splits s[0, len) at its last '/' that has a name after it: returns the name (trailing '/' kept) and sets
// *parentLen to the length of the parent text ("/" counts 1; 0 when there is no '/').
const char* splitLast(const char* s, size_t len, size_t* parentLen);

}  // namespace detail
}  // namespace wzfiles
