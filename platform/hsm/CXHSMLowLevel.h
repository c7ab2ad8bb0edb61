#pragma once
// The storage-management object of one managed file system.
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

class CXHSMLowLevel {
public:
    CXHSMLowLevel() : lastErrno_(0) {}
    virtual ~CXHSMLowLevel() {}
    // The watch on a directory tree whose files the layer migrates: positive when `directory` is watched already;
    // starting it answers negative on failure, as it does on this machine, where no file system is managed.
    virtual int isDirWatched(const char* directory);
    virtual int startWatching(const char* directory);

    int getLastErrno() const { return lastErrno_; }
    std::string getLastError() const { return lastError_; }
    // 1 when `path` is a stub. No stub files exist on this machine: every path is "not a stub" (0).
    virtual int isStub(const char* path) const;
    // 1 or more when the directory is managed by the layer; no directory of this machine is (0).
    virtual int isManagedDir(const char* dir) const;

    // Transparent access to a file of the layer: open, write and seek through the layer, close. The writes and seeks
    // answer as write and lseek do; the others 0 on success. Each fails (-1, last errno ENOTSUP) on this machine,
    // where no file system is managed.
    virtual int openFileTrans(const char* path, int flags, mode_t mode);
    virtual ssize_t writeFileTrans(const void* buffer, size_t length, int flags);
    virtual off64_t seekFileTrans(off64_t offset, int whence);
    virtual int closeFileTrans();
    // Ends the restore of a file written transparently: 0 on success.
    virtual int completeFile(const char* path, bool success, const std::vector<uint64_t>& extents);
    // Makes `path` a stub from the stub's data: 0 or more on success.
    virtual int createStub(const char* path, const std::vector<char>& stubData);
    virtual int setAMCTime(const char* path, time_t accessTime, time_t modifyTime, time_t changeTime);

protected:
    void setLastError(int errnum, const std::string& text) {
        lastErrno_ = errnum;
        lastError_ = text;
    }

private:
    int notManaged();

    int lastErrno_;
    std::string lastError_;
};
