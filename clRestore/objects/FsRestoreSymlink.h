#pragma once
// Symbolic links: the target is the item's data; the link is made at close.
#include <memory>
#include <string>

#include "clRestore/objects/FsRestoreUnixObject.h"

class FsRestoreSymlink : public FsRestoreUnixObject {
public:
    FsRestoreSymlink(CXFileHeader* header, FsRestoreUnixObjectsFactory* factory)
        : FsRestoreUnixObject(header, factory), _savedOptHeaderLen(0) {}
    ~FsRestoreSymlink() override {}
    int openObject() override;
    int writeData(void* buffer, int length) override;
    int writeOptHeader(void* buffer, int length) override;
    int closeObject() override;

    std::string _linkTarget;
    std::unique_ptr<char[]> _savedOptHeader;  // the item's optional header, kept for the close
    int _savedOptHeaderLen;
};
