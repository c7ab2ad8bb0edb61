#pragma once
// The long-path handler: the file calls for paths of any length, and a current directory per thread.
//
// chdir_long never changes the process's working directory (a library inside a threaded host must not): it opens the
// directory and keeps its descriptor and path text as the calling thread's current directory. From then on, every
// relative path given on that thread to these calls and to the `_utf` calls (FileCalls.h) resolves against it, and
// the destination gate judges it by that text joined with the relative path. Code that acts on a relative name by
// itself (the ACL helper, after chdir_long to an item's parent) takes the descriptor from currentDirectory() for its
// *at calls, or opens the name with open_utf. The directory stays the thread's until the next chdir_long,
// resetCurrentDirectory() or the thread's end.
#include <sys/stat.h>
#include <sys/types.h>
#include <utime.h>

#include <map>
#include <string>

#include "platform/files/ItemFileOpen.h"

class WzLongPathHandler {
public:
    // The process-wide handler. Nothing it needs can be missing here, so it is never null.
    static WzLongPathHandler* GetHandler();

    // Results and errno as the `_utf` calls of the same names.
    int lstat_long(const char* path, struct stat* st);
    int chmod_long(const char* path, mode_t mode);
    int chown_long(const char* path, uid_t uid, gid_t gid);
    int lchown_long(const char* path, uid_t uid, gid_t gid);
    int utime_long(const char* path, const struct utimbuf* times);
    int open_long(const char* path, int flags);
    int open_long(const char* path, int flags, mode_t mode);
    // 0, or -1 with errno (ENOTDIR, ENOENT, ...) and the thread's directory unchanged.
    int chdir_long(const char* path);

    // Opens `path` write-only, creating it with mode 0600 and truncating it when `truncate` is set; a link at `path`
    // is not followed (ELOOP). When that finds
    // an ancestor missing, creates the ancestors as CreateDirsIteratively_Long does and opens once more. A descriptor,
    // or -1 with errno from the last call.
    int openRestoreFile_long(const char* path, std::map<std::string, bool>* created, bool truncate,
                             const wzfiles::ItemCheck* check = nullptr);
    // Creates `path` and its missing ancestors with mode 0700, existing directories accepted, entering each directory
    // it creates in `created` (when given; an entry already there keeps its value). 1 when the whole path is a
    // directory afterwards, else 0 with errno from the failing call. `path` is cut in place while the call runs and
    // holds its text again on every return.
    int CreateDirsIteratively_Long(char* path, std::map<std::string, bool>* created);

    // The calling thread's current directory: its descriptor (AT_FDCWD when chdir_long set none) and its path text
    // ("" when none).
    static int currentDirectory();
    static std::string currentDirectoryPath();
    static void resetCurrentDirectory();
};
