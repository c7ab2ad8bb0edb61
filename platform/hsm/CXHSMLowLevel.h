#pragma once
// The storage-management object of one managed file system.
#include <string>

class CXHSMLowLevel {
  public:
    CXHSMLowLevel() : lastErrno_(0) {}
    virtual ~CXHSMLowLevel() {}

    int getLastErrno() const { return lastErrno_; }
    std::string getLastError() const { return lastError_; }
    // 1 when `path` is a stub. No stub files exist on this machine: every path is "not a stub" (0).
    virtual int isStub(const char* path) const;

  protected:
    void setLastError(int errnum, const std::string& text) {
        lastErrno_ = errnum;
        lastError_ = text;
    }

  private:
    int lastErrno_;
    std::string lastError_;
};
