#include "platform/hsm/CXHSMLowLevel.h"

int CXHSMLowLevel::isDirWatched(const char*) {
    return 0;
}

int CXHSMLowLevel::startWatching(const char*) {
    return notManaged();
}
