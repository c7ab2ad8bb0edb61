#include "platform/hsm/CXHSMLowLevelCtx.h"

CXHSMLowLevelCtx::~CXHSMLowLevelCtx() {
    for (auto& entry : objects_) {
        delete entry.second;
    }
}
