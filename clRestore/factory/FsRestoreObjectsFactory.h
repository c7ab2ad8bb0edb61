#pragma once
// The job's restore-object factory as the engine and the restore objects see it: the job-wide state (source paths,
// destination, options word, job options read from the task), the error code of the item in progress, and a default
// for every operation that a concrete factory may leave alone. The defaults answer "no special case".
//
// Built on the job's message thread at the last source path; used afterwards by one pipeline reader at a time, one
// item at a time, without a lock.
#include <map>
#include <string>

#include "protocol/CXFileHeader.h"
#include "protocol/FsrJobRecords.h"

class FsRestoreObject;

class FsRestoreObjectsFactory {
public:
    // The source-path array and its texts stay the job's (FclRestore::_srcPaths): the factory keeps the pointer for
    // reading and never frees it, so a second round of source paths or a constructor that throws cannot free memory
    // the job still uses. The destination is copied; a null one is taken as "". Throws ClExceptError (no memory)
    // when the copy cannot be made.
    FsRestoreObjectsFactory(FSRSrcPath* paths, int count, char* destDir, unsigned long options);
    FsRestoreObjectsFactory(const FsRestoreObjectsFactory&) = delete;
    FsRestoreObjectsFactory& operator=(const FsRestoreObjectsFactory&) = delete;

    // ---- virtual operations, in slot order ----
    virtual ~FsRestoreObjectsFactory();
    virtual FsRestoreObject* createRestoreObject(CXFileHeader* header, unsigned long version) = 0;
    virtual void InitializeJobOptions(long long jobId);
    virtual int isReboot() const = 0;
    virtual int initializeThread() { return 1; }
    virtual void terminateThread() {}
    virtual bool IsNebrinPathOverWritten(CXFileHeader* /*header*/) { return false; }
    virtual bool IsDummyBrowseFolder(CXFileHeader* /*header*/) { return false; }
    virtual int computeOutOfPlacePathName(char* /*to*/, char* /*from*/, CXFileHeader* /*header*/,
                                          unsigned short /*mode*/, bool /*flag*/) {
        return 0;
    }
    virtual bool isFilePathUnderDC(const char* /*path*/) { return false; }
    virtual bool isFilePathUnderTolveraLogFileFolder(const char* /*path*/) { return false; }
    virtual bool IsFileFromBaseOrGuiFolder(const char* /*path*/) { return false; }
    virtual bool CheckIfSystemPathIsOverWritten(const char* /*path*/) { return false; }
    virtual bool isNebrinOverwriteCheckDisabled() { return false; }
    virtual int enableUnconditionalOverwriteForFile(bool /*enable*/) { return 0; }
    virtual int computeMappedFileName(const char* /*from*/, char* /*to*/) { return 0; }
    virtual bool isFileMappingEnabled() { return false; }
    virtual int fixPossibleFileNameClash(std::string& /*name*/, std::wstring& /*wideName*/) { return 0; }
    virtual void translatePathname(std::string& /*to*/, const std::string& /*from*/, CXFileHeader* /*header*/,
                                   unsigned short /*mode*/) {}
    virtual bool InsertInToMap() { return false; }
    virtual int InsertInToMap(const std::string& /*source*/, const std::string& /*destination*/) { return 0; }
    virtual int InitializeForMappedRestores(long long /*jobId*/) { return 1; }
    virtual int InitializeForMappedRestores(long long /*jobId*/, const std::map<unsigned long, std::string>& /*map*/) {
        return 1;
    }
    virtual void convertWindowsPathToUnixPath(const char* /*path*/, std::string& /*out*/) {}
    virtual bool getMappingPath(std::string& /*to*/, std::string& /*from*/) { return false; }
    virtual void InitializeStubOverwriteOption(long long jobId);
    virtual void InitializeRestoreOnlyIfExistsOption(long long jobId);
    virtual void InitializeDoNotOverwriteOption(long long jobId);
    virtual void InitializeSkipAppleForksOption(long long jobId);
    virtual void InitializeRestoreDataNotStubOption(long long jobId);

    // ---- the item in progress ----
    unsigned long getErrCode() const { return _errCode; }
    void setErrCode(unsigned long code) { _errCode = code; }
    unsigned long getVersion() { return _version; }
    void setVersion(unsigned long version) { _version = version; }

    // ---- job-wide state ----
    unsigned long getOptions() const { return _options; }
    char* getDestDir() { return _destDir; }
    // Null or "": nothing changes. "\\\\x" is kept whole, "\\x" loses its one backslash, anything else is kept whole.
    // 0; -1 when the copy cannot be made (the old destination stays).
    int setDestDir(char* dir);
    FSRSrcPath* getSrcPaths() { return _srcPaths; }
    int getNumSrcPaths() { return _numSrcPaths; }

    // ---- job options (InitializeJobOptions) ----
    bool getOverwriteStubsOnlyOption() { return _overwriteStubsOnlyOption; }
    bool getRestoreOnlyIfExistsOption() { return _restoreOnlyIfExistsOption; }
    bool getDoNotOverwriteOption() { return _doNotOverwriteOption; }
    bool getSkipAppleForkOption() { return _skipAppleForksOption; }
    bool getRestoreDataNotStubOption() { return _restoreDataNotStubOption; }
    bool getValidateOnlyOption() const { return _validateOnlyOption; }
    void InitializeValidateOnlyOption(long long jobId);

    // Container and extent items: validation does not apply to them. False without a header.
    static bool IsValidationSkippedForFile(CXFileHeader* header);

protected:
    unsigned long _errCode;
    unsigned long _version;
    FSRSrcPath* _srcPaths;  // not owned
    int _numSrcPaths;
    char* _destDir;  // owned (malloc)
    unsigned long _options;
    bool _overwriteStubsOnlyOption;
    bool _restoreOnlyIfExistsOption;
    bool _doNotOverwriteOption;
    bool _skipAppleForksOption;
    bool _restoreDataNotStubOption;
    bool _validateOnlyOption;
    int _openSpecialFileFlag;
};
