#include "platform/files/DfmfName.h"

#include <cerrno>
#include <cstring>

int WZ_DFMF_NAME(const char* path, char* out) {
    out[0] = '\0';
    const size_t length = path != nullptr ? std::strlen(path) : 0;
    if (length == 0 || path[length - 1] == '/') {
        errno = EINVAL;
        return -1;
    }
    if (length + 2 >= static_cast<size_t>(WZ_DFMF_NAME_MAX)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const char* slash = std::strrchr(path, '/');
    const size_t directory = slash != nullptr ? static_cast<size_t>(slash - path) + 1 : 0;
    std::memcpy(out, path, directory);
    out[directory] = '.';
    out[directory + 1] = '_';
    std::memcpy(out + directory + 2, path + directory, length - directory + 1);
    return 0;
}
