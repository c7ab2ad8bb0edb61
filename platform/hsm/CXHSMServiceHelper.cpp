#include "platform/hsm/CXHSMServiceHelper.h"

#include <atomic>

namespace {
std::atomic<bool> g_useCache(false);
}

void CXHSMServiceHelper::setUseCache(bool useCache) {
    g_useCache.store(useCache);
}

bool CXHSMServiceHelper::getUseCache() {
    return g_useCache.load();
}

bool CXHSMServiceHelper::IsFSFDriverLoaded() {
    return false;
}

int IsFSDMInstalled() {
    return 0;
}
