#pragma once
// Static operations that create what a restore writes: a file opened for restore with its missing parents, a
// directory path, an extent staging file opened without truncation. 1 on success, 0 on failure with errno set.
class StaticUtils {
public:
    // 1 with `*fd` the descriptor, 0 with `*fd` negative.
    static int openRestoreFile(const char* path, int* fd);
    // `path` is cut in place while the call runs and whole again when it returns.
    static int createDirsIteratively(char* path);
    static int openImageRestoreFile(char* path, int* fd, bool sync);
    // True when the process may not create or write at `path` (the path itself when it exists, else its nearest
    // existing ancestor), tested with the process's real ids.
    static bool isAccessDenied(char* path);
};
