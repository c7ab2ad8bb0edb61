#pragma once
// Static operations that create what a restore writes: a file opened for restore with its missing parents, a
// directory path, an extent staging file opened without truncation, and the test whether a destination can be
// written. 1 on success, 0 on failure with errno from the failing call.
//
// Every path goes through the file-call layer, so the destination gate holds for each component. A file is never
// written through a symbolic link in its final component. A directory reached through a link is a directory, as
// the user laid it out: a link on the way to an item, or one where a directory goes, that names a directory (beneath
// the root, while a destination root is set) is used as that directory.
#include <cstdint>

#include "platform/files/ItemFileOpen.h"

class StaticUtils {
public:
    // Opens `path` write-only for a restored file, created with mode 0600 and truncated. When the file-system agent's
    // remove-before-open setting is on, the path is unlinked first. The caller has applied the overwrite rules before
    // it calls, so an existing regular file is truncated and an existing symbolic link is removed and replaced by a
    // new file, never written through. Missing parents are created once (createDirsIteratively) after ENOENT.
    // 1 with `*fd` the descriptor, 0 with `*fd` negative.
    // With `check` (what the overwrite rules found at the name), only that very file is rewritten in place.
    static int openRestoreFile(const char* path, int* fd, const wzfiles::ItemCheck* check = nullptr);
    // Creates `path` and its missing ancestors with mode 0700; each directory made is entered in g_dirMap when
    // owners are preserved and given to the restore user when the job restores as one. 1 when the whole path is a
    // directory afterwards, a link to one included; a link to anything else, a dangling one or one the gate refuses
    // gives 0. `path` is cut in place while the call runs and whole again when it returns.
    static int createDirsIteratively(char* path);
    // The same as createDirsIteratively.
    static int openRestoreDirectory(char* path);
    // Opens an extent staging file write-only without truncation (extents are written at their offsets), created
    // with mode 0600, with O_DSYNC when `sync`; missing parents as openRestoreFile. An existing link is replaced as
    // there. 1 or 0 as openRestoreFile.
    static int openImageRestoreFile(char* path, int* fd, bool sync);
    // True when the process (real ids) may not create or write at `path`: tested on the path when it exists, else on
    // its nearest existing ancestor. A null or empty path is denied.
    static bool isAccessDenied(char* path);
};

// The remove-before-open setting as last read: 0 not read yet, 1 files are unlinked before they are opened for
// restore, -1 they are not. Read once per process.
extern int unlinkFlag;

// A Lustre file identifier.
struct lu_fid {
    uint64_t f_seq;
    uint32_t f_oid;
    uint32_t f_ver;
};

// The Lustre open-by-identifier path of `fid` below `mount` into `buf` (at most `size` bytes, always terminated when
// `size` is not 0): the length the whole path needs, or -1 without a mount or identifier.
int path_lustre(char* buf, int size, const char* mount, const lu_fid* fid);
