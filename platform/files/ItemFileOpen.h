#pragma once
// The open of a file a restore writes, safe against names changed under it: never through a final link, and never
// truncating or writing a file that has another name (a hard link planted at the item's name would carry the item's
// data, mode and times to a file elsewhere) or that is not a regular file.
#include <sys/types.h>

namespace wzfiles {

// What the caller found at the name when it decided to restore the item there.
struct ItemCheck {
    bool existed = false;  // false: nothing was there, so whatever is there now appeared since
    // false: the caller took the name for free without looking, so an entry found there is refused (EEXIST) for the
    // caller to look at and decide, never replaced.
    bool looked = true;
    dev_t dev = 0;
    ino_t ino = 0;
    nlink_t nlink = 0;
};

// Opens `path` with `flags` (O_NOFOLLOW added; O_TRUNC applied only once the descriptor is known to hold a regular
// file with one name). An existing entry that is not such a file is replaced (unlinked, then created with O_EXCL)
// when `flags` asks to truncate, and refused with EEXIST otherwise; a FIFO without a reader or a socket (ENXIO) is
// replaced likewise. A FIFO, socket or device found at the name is never opened, only replaced or refused. With
// `check`, an existing file is kept only when it is the very file checked and had one name then too: a name swapped
// between the check and the open (even for a file whose other name went meanwhile) is replaced. A final link fails with
// ELOOP, as open does. A descriptor, or -1 with errno.
int openItemFile(const char* path, int flags, mode_t mode, const ItemCheck* check = nullptr);

}  // namespace wzfiles
