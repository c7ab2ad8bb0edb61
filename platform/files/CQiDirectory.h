#pragma once
// Directory operations of the platform.
#include "platform/support/CQiError.h"

class CQiDirectory {
public:
    // Removes the directory at `path`: with `recursive`, everything in it first; with `contentsOnly`, the directory
    // itself stays. Links inside are removed, never followed, and `path` is reached through the file-call layer, so
    // the destination gate holds. Success when the entry (or its contents) is gone; otherwise the errno of the first
    // failure, with what could be removed removed.
    static CQiError Remove(const char* path, bool recursive, bool contentsOnly);
};
