#pragma once
// The data handler of Oracle items. No database client exists on this machine: the handler records its making and
// each call in the job journal (component "oracle") and passes the item through as it is: the actual file name is
// the header's name, data is left unchanged, every step succeeds. Tests may give it another name or a failing
// finalize step.
#include <string>

#include "protocol/RestoreDataHandler.h"

class EvEvent;

class OracleRestoreHandler : public RestoreDataHandler {
public:
    explicit OracleRestoreHandler(EvEvent* event);
    ~OracleRestoreHandler() override;

    void setFileHeader(CXFileHeader* header) override;
    long long& writeData(const int& fd, void** buffer, long long& length) override;
    int finalizeData(const int& fd, void** buffer, long long& length) override;
    bool finalizeFile(bool resultSoFar) override;
    const std::string& getActualFileName() override;

private:
    EvEvent* event_;  // not owned
    std::string actualName_;
    long long status_;
};

namespace wzapps {

// Test hooks: the name every later handler gives its item ("" keeps the header's), and the result of their
// finalize-data step (0 by default).
void setOracleActualFileName(const std::string& name);
void setOracleFinalizeDataResult(int result);

}  // namespace wzapps
