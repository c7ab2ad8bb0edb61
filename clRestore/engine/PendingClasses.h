#pragma once
// Classes the job object owns whose behaviour a later piece of work builds: only what the job needs of them now
// (their destruction, and the few answers it reads), answering as a job that does not use them would see.
#include <string>

#include "clRestore/support/CXFileHeader.h"

// The restore object of one item.
class FsRestoreObject {
public:
    virtual ~FsRestoreObject() = default;
    virtual int openObject() { return 0; }
    virtual int writeData(void*, int) { return 0; }
    virtual int makeHole(int) { return 1; }
    virtual int writeOptHeader(void*, int) { return 0; }
    virtual int closeObject() { return 1; }
    virtual std::string getTranslatedPathname() { return std::string(); }
    virtual const char* getDependantPath() { return nullptr; }
    virtual void setArchFileAppType(unsigned long) {}
    virtual void setDocRestore(bool) {}
    virtual std::string GetRestoredItemType() { return std::string(); }
    virtual void resetFilePath(const std::string&, CXFileHeader*, int) {}
    virtual void ResetLongPathRestore() {}
};

// The factory of restore objects, built at the last source path.
class FsRestoreObjectsFactory {
public:
    virtual ~FsRestoreObjectsFactory() = default;
    unsigned long getOptions() const { return options_; }

protected:
    unsigned long options_ = 0;
};

// The job's restart file.
class FsRestoreRestart {
public:
    virtual ~FsRestoreRestart() = default;
};

// The results store.
class StoreResults {
public:
    virtual ~StoreResults() = default;
};

// The seek optimiser's decision object.
class SeekDecision {
public:
    virtual ~SeekDecision() = default;
};
