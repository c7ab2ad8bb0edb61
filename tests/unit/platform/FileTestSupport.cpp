#include "tests/unit/platform/FileTestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <sstream>
#include <vector>

#include "tests/common/TestSupport.h"

namespace filetest {
namespace {

void describe(int dirfd, const std::string& name, const std::string& shown, std::ostringstream& out) {
    struct stat st;
    if (::fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        out << shown << " missing\n";
        return;
    }
    out << shown << " type=" << (st.st_mode & S_IFMT) << " mode=" << std::oct << (st.st_mode & 07777) << std::dec
        << " owner=" << st.st_uid << ":" << st.st_gid << " links=" << st.st_nlink << " size=" << st.st_size
        << " mtime=" << st.st_mtim.tv_sec << "." << st.st_mtim.tv_nsec << " ctime=" << st.st_ctim.tv_sec << "."
        << st.st_ctim.tv_nsec;
    if (S_ISLNK(st.st_mode)) {
        char target[PATH_MAX];
        ssize_t n = ::readlinkat(dirfd, name.c_str(), target, sizeof target);
        out << " target=" << std::string(target, n > 0 ? n : 0);
    } else if (S_ISREG(st.st_mode)) {
        int fd = ::openat(dirfd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOATIME);
        if (fd < 0) {
            fd = ::openat(dirfd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        }
        out << " content=" << readAll(fd);
    }
    out << "\n";
    if (S_ISDIR(st.st_mode)) {
        int sub = ::openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0) {
            return;
        }
        for (const std::string& child : fcltest::entryNames(sub)) {
            describe(sub, child, shown + "/" + child, out);
        }
        ::close(sub);
    }
}

}  // namespace

std::string snapshot(const std::string& dir) {
    std::ostringstream out;
    describe(AT_FDCWD, dir, ".", out);
    return out.str();
}

std::string deepPath(const std::string& base, size_t length, size_t width) {
    std::string path = base;
    for (int level = 0; path.size() < length; ++level) {
        path += '/';
        path.append(width, static_cast<char>('a' + level % 26));
    }
    return path;
}

std::string readAll(int fd) {
    std::string content;
    char buffer[4096];
    ssize_t n;
    while (fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0) {
        content.append(buffer, n);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return content;
}

int openDescriptorCount() {
    int fd = ::open("/proc/self/fd", O_PATH | O_DIRECTORY | O_CLOEXEC);
    int count = static_cast<int>(fcltest::entryNames(fd).size());
    ::close(fd);
    return count;
}

std::string workingDirectory() {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? buffer : "";
}

}  // namespace filetest
