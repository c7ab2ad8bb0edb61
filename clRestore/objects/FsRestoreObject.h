#pragma once
// One item (file, directory, link, device node, socket or pipe) while it is restored. The factory creates it from the
// item's header; the pipeline reader drives it in stream order (openObject, writeOptHeader, writeData and makeHole,
// closeObject), then asks for its paths and deletes it.
//
// Every operation has a harmless default here. Result convention of the Unix objects: 1 go on; 0 the item failed,
// with its message id in the factory's error code; a skipped item answers 1 with its skip flag set.
#include <string>

#include "protocol/CXFileHeader.h"

class FsRestoreObject {
public:
    // ---- virtual operations, in slot order ----
    virtual ~FsRestoreObject() {}
    virtual int openObject() { return 1; }
    virtual int writeData(void* /*buffer*/, int /*length*/) { return 1; }
    // The length is a 32-bit count: holes of 2 GiB and more are not negative.
    virtual int makeHole(unsigned int /*length*/) { return 1; }
    virtual int writeOptHeader(void* /*buffer*/, int /*length*/) { return 1; }
    virtual int writeOptHeader2(void* /*buffer*/, int /*length*/) { return 1; }
    virtual int writeOptHeader3(void* /*buffer*/, int /*length*/) { return 1; }
    virtual int writeOptHeaderHLs(void* /*buffer*/, int /*length*/) { return 1; }
    virtual int writeOptHeaderSparseAllocRanges(void* /*buffer*/, int /*length*/) { return 1; }
    virtual int closeObject() { return 1; }
    virtual std::string getTranslatedPathname() { return std::string(); }
    virtual char* getOrigPathname() { return nullptr; }
    virtual char* getDependantPath() { return nullptr; }
    virtual int setFileTimes(unsigned long long /*atime*/, unsigned long long /*mtime*/) { return 0; }
    virtual void setArchFileAppType(unsigned long /*appType*/) {}
    virtual void setDocRestore(bool /*docRestore*/) {}
    virtual bool isFileProcessed() { return true; }
    virtual std::string GetRestoredItemType() { return std::string(); }
    virtual void resetFilePath(const std::string& /*name*/, CXFileHeader* /*header*/, int /*version*/) {}
    virtual void SetLongPathRestore() {}
    virtual void ResetLongPathRestore() {}
    virtual void SetCreationDispositionOption(unsigned int /*disposition*/) {}

protected:
    FsRestoreObject() = default;
    FsRestoreObject(const FsRestoreObject&) = default;
    FsRestoreObject& operator=(const FsRestoreObject&) = default;
};
