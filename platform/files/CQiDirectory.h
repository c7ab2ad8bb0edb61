#pragma once
// Directory operations of the file library.
#include "clRestore/support/CQiError.h"

class CQiDirectory {
public:
    // Removes the directory `path`; with `recursive`, everything beneath it first. Never follows a symbolic link,
    // neither `path` itself nor anything beneath it (`followLinks` is accepted and ignored): a link is removed as a
    // link. Success when the path is gone (a missing path included); otherwise the first failure.
    static CQiError Remove(const char* path, bool recursive, bool followLinks);
};
