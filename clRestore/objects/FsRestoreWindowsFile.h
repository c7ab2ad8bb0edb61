#pragma once
// Files of Windows clients: their data is a Windows backup stream, parsed into the file's data and its stub data.
#include "clRestore/objects/FsRestoreFile.h"

class FsRestoreWindowsFile : public FsRestoreFile {
public:
    FsRestoreWindowsFile(CXFileHeader* header, FsRestoreUnixObjectsFactory* factory) : FsRestoreFile(header, factory) {}
    ~FsRestoreWindowsFile() override {}
    int openObject() override;
    int writeData(void* buffer, int length) override;
    int closeObject() override;
};
