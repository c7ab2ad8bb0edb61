#include "platform/files/DirectoryExt.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files/FileCalls.h"

int DirectoryExt::openDirectory(const char* path) {
    close();
    if (path == nullptr) {
        m_lastError = EINVAL;
        return -1;
    }
    int fd = open_utf(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        m_lastError = errno;
        return -1;
    }
    m_dir = fdopendir(fd);
    if (m_dir == nullptr) {
        m_lastError = errno;
        ::close(fd);
        return -1;
    }
    m_lastError = 0;
    return 0;
}

int DirectoryExt::read(std::string& name) {
    if (m_dir == nullptr) {
        m_lastError = EBADF;
        return -1;
    }
    errno = 0;
    struct dirent* entry = readdir(m_dir);
    if (entry == nullptr) {
        if (errno != 0) {
            m_lastError = errno;
            return -1;
        }
        return 0;
    }
    name = entry->d_name;
    return 1;
}

void DirectoryExt::close() {
    if (m_dir != nullptr) {
        closedir(m_dir);
        m_dir = nullptr;
    }
}
