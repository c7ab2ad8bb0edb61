#include "platform/hsm/CXHSMLowLevelCtx.h"

CXHSMLowLevelCtx::~CXHSMLowLevelCtx() {
    for (auto& entry : objects_) {
        delete entry.second;
    }
}

CXHSMLowLevel* CXHSMLowLevelCtx::getByFileName(const char*) {
    return nullptr;
}
