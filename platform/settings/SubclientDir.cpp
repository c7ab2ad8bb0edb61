#include "platform/settings/SubclientDir.h"

#include "platform/settings/PlatformPaths.h"

int CreateSubclientDir(const char* path) {
    if (path == nullptr || *path == '\0') {
        return -1;
    }
    return wzplatform::makeDirectories(path) ? 0 : -1;
}
