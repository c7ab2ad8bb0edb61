#pragma once
// Files of Windows clients: their data is a Windows backup stream, parsed into the file's data and its stub data.
// Windows owners and permissions mean nothing here: the file gets owner 0, group 0 and a fixed mode.
#include "clRestore/objects/FsRestoreFile.h"
#include "clRestore/objects/WinStreamParser.h"

class FsRestoreWindowsFile : public FsRestoreFile {
public:
    // For a stub, the job's source stub type and the header's attribute word choose the stream of the stub data.
    FsRestoreWindowsFile(CXFileHeader* header, FsRestoreUnixObjectsFactory* factory);
    ~FsRestoreWindowsFile() override {}
    int openObject() override;
    int writeData(void* buffer, int length) override;
    // A hole of the item is part of its backup stream: its zeros go through the parser like any other bytes.
    int makeHole(unsigned int length) override;
    int closeObject() override;

    WinStreamRestore _winStreamRestore;

private:
    // A skipped item, a hard link to a name already restored, or a stub left as it is: its data goes nowhere.
    bool dropsData() const { return _dontRestore != 0 || _hardLink != 0 || _dontRestoreStubWithGUID; }
    int parseData(const char* data, unsigned int length);
};
