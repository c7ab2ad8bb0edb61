#pragma once
// Whole-file operations by path, through the file-call layer (FileCalls.h).
#include <string>

#include "platform/support/CQiError.h"

class FXFile {
public:
    // Removes the file (a link itself, never what it leads to); the error carries the errno.
    static CQiError RemoveFile(const std::string& path);
};
