#pragma once
// The storage-management object of one managed file system.
#include <sys/types.h>

#include <cstddef>
#include <string>

class CXHSMLowLevel {
  public:
    CXHSMLowLevel() : lastErrno_(0) {}
    virtual ~CXHSMLowLevel() {}

    int getLastErrno() const { return lastErrno_; }
    std::string getLastError() const { return lastError_; }
    // 1 when `path` is a stub. No stub files exist on this machine: every path is "not a stub" (0).
    virtual int isStub(const char* path) const;

    // What the restore objects ask of a managed file system. No object exists on this machine, so these are never
    // reached; each answers that the operation is not available (-1, ENOSYS in the last error) or "no".
    // Positive when the directory is already watched for migrations.
    virtual int isDirWatched(const char* directory);
    // Negative on failure.
    virtual int startWatching(const char* directory);
    // The new offset in the item opened transparently, or negative.
    virtual long long seekFileTrans(long long offset, int whence);
    // Bytes written into the item opened transparently, or negative.
    virtual long long writeFileTrans(const void* buffer, size_t length);
    // Access, modification and change times of `path`; negative on failure.
    virtual int setAMCTime(const char* path, time_t atime, time_t mtime, time_t ctime);

  protected:
    void setLastError(int errnum, const std::string& text) {
        lastErrno_ = errnum;
        lastError_ = text;
    }

  private:
    int lastErrno_;
    std::string lastError_;
};
