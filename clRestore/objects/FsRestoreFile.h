#pragma once
// Regular files, and the variant for the restore of an index-cache database, which remembers the path the index
// header gave and resets the directories created for that path.
#include <string>

#include "clRestore/objects/FsRestoreUnixObject.h"

class FsRestoreFile : public FsRestoreUnixObject {
public:
    FsRestoreFile(CXFileHeader* header, FsRestoreUnixObjectsFactory* factory) : FsRestoreUnixObject(header, factory) {}
    ~FsRestoreFile() override {}
    int openObject() override;
    int closeObject() override;
};

class FsRestoreUnixCacheFile : public FsRestoreFile {
public:
    FsRestoreUnixCacheFile(CXFileHeader* header, FsRestoreUnixObjectsFactory* factory)
        : FsRestoreFile(header, factory) {}
    ~FsRestoreUnixCacheFile() override {}
    int openObject() override;
    void resetFilePath(const std::string& name, CXFileHeader* header, int version) override;

    std::string _headerPath;
};
