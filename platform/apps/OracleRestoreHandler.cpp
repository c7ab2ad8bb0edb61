#include "platform/apps/OracleRestoreHandler.h"

#include <cstring>
#include <mutex>

#include "platform/events/Journal.h"

namespace {

const char kComponent[] = "oracle";

std::mutex g_hookLock;
std::string g_actualName;
int g_finalizeDataResult = 0;

}  // namespace

namespace wzapps {

void setOracleActualFileName(const std::string& name) {
    std::lock_guard<std::mutex> lock(g_hookLock);
    g_actualName = name;
}

void setOracleFinalizeDataResult(int result) {
    std::lock_guard<std::mutex> lock(g_hookLock);
    g_finalizeDataResult = result;
}

}  // namespace wzapps

OracleRestoreHandler::OracleRestoreHandler(EvEvent* event) : event_(event), status_(0) {
    wzplatform::journal(kComponent, "handler made");
}

OracleRestoreHandler::~OracleRestoreHandler() {
    wzplatform::journal(kComponent, "handler released");
}

void OracleRestoreHandler::setFileHeader(CXFileHeader* header) {
    const std::string name(header->name, strnlen(header->name, CXHDR_NAME_SIZE));
    wzplatform::journal(kComponent, "header " + name);
    std::lock_guard<std::mutex> lock(g_hookLock);
    actualName_ = g_actualName.empty() ? name : g_actualName;
}

long long& OracleRestoreHandler::writeData(const int& /*fd*/, void** /*buffer*/, long long& length) {
    wzplatform::journal(kComponent, "data " + std::to_string(length));
    status_ = 0;
    return status_;
}

int OracleRestoreHandler::finalizeData(const int& /*fd*/, void** /*buffer*/, long long& /*length*/) {
    std::lock_guard<std::mutex> lock(g_hookLock);
    wzplatform::journal(kComponent, "finalize data " + std::to_string(g_finalizeDataResult));
    return g_finalizeDataResult;
}

bool OracleRestoreHandler::finalizeFile(bool resultSoFar) {
    wzplatform::journal(kComponent, std::string("finalize file ") + (resultSoFar ? "1" : "0"));
    return resultSoFar;
}

const std::string& OracleRestoreHandler::getActualFileName() {
    return actualName_;
}
