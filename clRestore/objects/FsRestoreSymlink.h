#pragma once
// Symbolic links: the target is the item's data; the link is made at close.
//
// Every call on the item's path acts on the link itself: owner with lchown only, times with the no-follow form, and
// no mode at all (a link has none of its own). Nothing reaches the file the link points at.
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

    using FsRestoreUnixObject::ChownFile;
    int ChownFile(const std::string& path, unsigned int uid, unsigned int gid) override;
    int ChmodFile(const std::string& path, int mode) override;
    int Utime(const std::string& path, utimbuf* times) override;

    std::string _linkTarget;
    std::unique_ptr<char[]> _savedOptHeader;  // the item's optional header, kept for the close
    int _savedOptHeaderLen;
};
