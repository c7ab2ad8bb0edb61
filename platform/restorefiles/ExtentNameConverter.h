#pragma once
// Names of the extents of an extent-based file. Extent n of a file is named "Extent<n>": a staging file of that name,
// or the last segment of an extent item's path beneath its file's path ("<file path>/Extent<n>").
#include <string>

class ExtentNameConverter {
public:
    // The name of extent `extentNumber`. 0.
    int GetFilePath(unsigned long long extentNumber, std::string& name);
    // Splits an extent item's path into its file's path (ending in '/') and the extent number. A path whose last
    // segment names no extent is a file's path itself: `name` is the whole path and `extentNumber` 0; answers 1 then,
    // else 0.
    int GetFileNameAndExtentNumber(const std::string& path, std::string& name, unsigned long long& extentNumber);
};
