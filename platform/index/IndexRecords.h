#pragma once
// Argument records of the index library that the engine sets up before a call.
#include <cstdint>

// Size of each text buffer of subclientFiles.
constexpr unsigned kSubclientTextSize = 1024;

// Directories and files of a subclient, filled by GetSubclientDirAndFiles.
struct subclientFiles {
    subclientFiles();

    std::uint64_t count1;
    std::uint64_t count2;
    char subclientDir[kSubclientTextSize];  // the subclient's directory
    char texts[10][kSubclientTextSize];
};

struct _GetIndexSubclientInfo {
    _GetIndexSubclientInfo() : handle(0), count(0), data(nullptr) {}

    // The library fills this field; it starts at 0 here so that no caller can read an indeterminate value.
    std::uint64_t handle;
    std::int32_t count;
    void* data;
};
