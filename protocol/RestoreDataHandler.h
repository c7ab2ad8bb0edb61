#pragma once
// The special data handler of one item (an item whose header flags ask for it): it may rename the item and sees its
// data and its end. The factory owns the handler of the current item. Operations in slot order.
#include <string>

#include "protocol/CXFileHeader.h"

class RestoreDataHandler {
public:
    virtual ~RestoreDataHandler() = default;
    virtual void setFileHeader(CXFileHeader* header) = 0;
    // A reference to the handler's signed 64-bit status.
    virtual long long& writeData(const int& fd, void** buffer, long long& length) = 0;
    // Negative on failure.
    virtual int finalizeData(const int& fd, void** buffer, long long& length) = 0;
    virtual bool finalizeFile(bool resultSoFar) = 0;
    virtual const std::string& getActualFileName() = 0;
};
