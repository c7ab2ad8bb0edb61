#pragma once
// Test doubles for driving the stream handlers without the restore objects: an object that records every call it
// gets and answers as its script says, a factory that makes such objects (or declines, or throws) by item name, and
// a job whose result recorder and progress report only record that they were called.
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/objects/FsRestoreObject.h"
#include "clRestore/support/ClExceptError.h"

namespace streamtest {

// Everything the doubles saw, in order.
struct Journal {
    std::vector<std::string> calls;
    std::string bytes;                  // the data written, zeros of holes included
    std::vector<int> writeLengths;      // every writeData length
    std::set<const void*> zeroSources;  // buffers that zero-only writes came from
    std::vector<std::string> results;   // "<path> 0x<code>" per recorded item
    int progressReports = 0;

    void note(const std::string& call) { calls.push_back(call); }
};

std::string hex(unsigned long value);

// How an object answers. `failWriteAt` / `failHoleAt`: the zero-based call that fails with `failCode` (-1: none).
struct ObjectScript {
    std::string path;  // the destination; "" gives "/dst" followed by the item's name
    int openResult = 1;
    unsigned long openCode = 0;  // put into the factory's code by the open
    int failWriteAt = -1;
    int failHoleAt = -1;
    unsigned long failCode = 0x17000012;
    // A failure that leaves the code set but answers 1, as a broken object might.
    bool failAnswersOne = false;
};

class TestObject : public FsRestoreObject {
public:
    TestObject(Journal& journal, FsRestoreObjectsFactory& factory, const ObjectScript& script);
    ~TestObject() override;
    int openObject() override;
    int writeData(void* buffer, int length) override;
    int makeHole(unsigned int length) override;
    int closeObject() override;
    std::string getTranslatedPathname() override { return script_.path; }

private:
    int fail();

    Journal& journal_;
    FsRestoreObjectsFactory& factory_;
    ObjectScript script_;
    int writes_ = 0;
    int holes_ = 0;
};

// What the factory does for one item name.
struct Plan {
    enum Kind { kObject, kDecline, kNullWithoutCode, kThrow } kind = kObject;
    unsigned long code = 0;  // kDecline: the factory's code; kThrow: the exception's
    ObjectScript script;
};

class TestFactory : public FsRestoreObjectsFactory {
public:
    TestFactory(Journal& journal, unsigned long options);
    FsRestoreObject* createRestoreObject(CXFileHeader* header, unsigned long version) override;
    int isReboot() const override { return 0; }
    void setValidateOnly(bool on) { _validateOnlyOption = on; }

    std::map<std::string, Plan> plans;  // by the header's name; absent: an ordinary object

private:
    Journal& journal_;
};

class TestJob : public FclRestore {
public:
    explicit TestJob(Journal& journal) : journal_(journal) {}
    void HandleRestoreFileUpdate(const char* path, int errCode, FsRestoreObject* object,
                                 const std::string& suffix) override;
    void updateRestoreProgress(int) override { ++journal_.progressReports; }

private:
    Journal& journal_;
};

}  // namespace streamtest
