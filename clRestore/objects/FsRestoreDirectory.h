#pragma once
// Directories, and the variant for the restore of an index-cache database.
#include <string>

#include "clRestore/objects/FsRestoreUnixObject.h"

class FsRestoreDirectory : public FsRestoreUnixObject {
public:
    FsRestoreDirectory(CXFileHeader* header, FsRestoreUnixObjectsFactory* factory)
        : FsRestoreUnixObject(header, factory) {}
    ~FsRestoreDirectory() override {}
    int openObject() override;
    int closeObject() override;
};

class FsRestoreUnixCacheDirectory : public FsRestoreDirectory {
public:
    FsRestoreUnixCacheDirectory(CXFileHeader* header, FsRestoreUnixObjectsFactory* factory)
        : FsRestoreDirectory(header, factory) {}
    ~FsRestoreUnixCacheDirectory() override {}
    int openObject() override;
    void resetFilePath(const std::string& name, CXFileHeader* header, int version) override;

    std::string _headerPath;
};
