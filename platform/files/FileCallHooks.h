#pragma once
// Test hooks of the file-call layer: failures injected by name, and a kernel without openat2.
#include <string>

namespace wzfiles {

// One value per call family; each covers every entry point that makes that call:
// kOpen: open_utf, fopen_utf, open_long, openRestoreFile_long; kMkdir: mkdir_utf and the directories that
// CreateDirsIteratively_Long and openRestoreFile_long create; kLstat: lstat_utf, lstat_long; kChmod: chmod_utf,
// chmod_long; and so on by name. kChdir is chdir_long.
enum class FileCall {
    kOpen,
    kStat,
    kLstat,
    kAccess,
    kChmod,
    kLchmod,
    kChown,
    kLchown,
    kUtime,
    kLink,
    kSymlink,
    kReadlink,
    kUnlink,
    kRename,
    kMkdir,
    kChdir,
    kMknod,
};

// The next `count` calls of `call` whose path contains `pathPart` (every path when it is empty) fail with `err`
// without touching the file system. Several injections may be armed at once; the oldest matching one is used.
void failNextCalls(FileCall call, int err, int count, const std::string& pathPart = std::string());
void clearInjectedFailures();

// While true, the layer behaves as on a kernel older than openat2: openat2 and fchmodat2 answer ENOSYS and the
// AT_EMPTY_PATH forms of faccessat and utimensat go unused, so the destination gate walks components itself and
// reaches the objects it holds through /proc.
void setOpenat2Disabled(bool disabled);

}  // namespace wzfiles
