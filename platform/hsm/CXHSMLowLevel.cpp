#include "platform/hsm/CXHSMLowLevel.h"

int CXHSMLowLevel::isStub(const char*) const {
    return 0;
}
