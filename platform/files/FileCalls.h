#pragma once
// The path calls through which the engine reaches the destination file system.
//
// Each behaves as its POSIX namesake on the same arguments: 0 (or a descriptor, or a length) on success, -1 with
// errno set exactly as the kernel reports it on failure. Beyond the namesake:
// - paths of any length work (longer ones are walked in pieces with descriptors; the working directory is never
//   changed);
// - a relative path resolves against the calling thread's current directory when
//   WzLongPathHandler::chdir_long set one, else against the process's;
// - while a destination root is set (DestinationGate.h), a path at or under it is resolved beneath it.
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <utime.h>

// Unknown bits and O_ASYNC are dropped: neither means anything to Linux at open time. Without a mode, O_CREAT uses
// 0600.
int open_utf(const char* path, int flags);
int open_utf(const char* path, int flags, mode_t mode);
int stat_utf(const char* path, struct stat* st);
int lstat_utf(const char* path, struct stat* st);
// Whether `path` names a directory, its final link not followed (lstat and S_ISDIR). A directory found is held for
// the thread's looks that follow (those of the items made in it), so asking again answers without a call: its
// descriptor cannot stop being a directory, and should it have been removed, the next call that resolves a path
// through it fails with ENOENT and lets it go.
bool isDirectoryEntry(const char* path);
int access_utf(const char* path, int mode);
int chmod_utf(const char* path, mode_t mode);
// Never follows a final link: on a link nothing changes and the answer is -1 with EOPNOTSUPP, as Linux gives.
int lchmod_utf(const char* path, mode_t mode);
int chown_utf(const char* path, uid_t uid, gid_t gid);
int lchown_utf(const char* path, uid_t uid, gid_t gid);
// Null times set both times to now.
int utime_utf(const char* path, const struct utimbuf* times);
int link_utf(const char* existing, const char* path);
int symlink_utf(const char* target, const char* path);
// The length read, without a terminator.
ssize_t readlink_utf(const char* path, char* buffer, size_t size);
int unlink_utf(const char* path);
int rename_utf(const char* from, const char* to);
int mkdir_utf(const char* path, mode_t mode);
// Makes a FIFO, socket or device node; an existing entry, a link included, is never followed (EEXIST).
int mknod_utf(const char* path, mode_t mode, dev_t device);
// Opens through open_utf, so the gate and long paths hold for streams too.
FILE* fopen_utf(const char* path, const char* mode);

class TempFsUTF {
public:
    static int stat_utf(const char* path, struct stat* st) { return ::stat_utf(path, st); }
};
