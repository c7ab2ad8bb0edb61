#include "tests/common/TestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fcltest {

ScratchDir::ScratchDir(const std::string& tag) {
    const char* base = getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/" + tag + ".XXXXXX";
    if (mkdtemp(&templ[0]) == nullptr) {
        throw std::runtime_error("mkdtemp failed for " + templ);
    }
    path_ = templ;
}

ScratchDir::~ScratchDir() {
    removeTree(path_);
}

namespace {
// Descriptor by descriptor, so trees deeper than PATH_MAX go too; directories are made writable first so that a
// test that leaves a directory at mode 0000 still cleans up.
void removeBelow(int dirfd) {
    for (const std::string& name : entryNames(dirfd)) {
        struct stat st;
        if (::fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            ::fchmodat(dirfd, name.c_str(), 0700, 0);
            int sub = ::openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) {
                removeBelow(sub);
                ::close(sub);
            }
            ::unlinkat(dirfd, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(dirfd, name.c_str(), 0);
        }
    }
}
}  // namespace

std::vector<std::string> entryNames(int dirfd) {
    std::vector<std::string> out;
    int copy = ::dup(dirfd);
    DIR* dir = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (dir == nullptr) {
        if (copy >= 0) {
            ::close(copy);
        }
        return out;
    }
    while (struct dirent* entry = ::readdir(dir)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) {
            out.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> entryNames(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::vector<std::string> names = entryNames(fd);
    ::close(fd);
    return names;
}

void removeTree(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        return;
    }
    if (!S_ISDIR(st.st_mode)) {
        ::unlink(path.c_str());
        return;
    }
    ::chmod(path.c_str(), 0700);
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        removeBelow(fd);
        ::close(fd);
    }
    ::rmdir(path.c_str());
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
    out << content;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool isRoot() {
    return geteuid() == 0;
}

std::string toolsDirectory() {
    const char* tools = getenv("FCL_TOOLS_DIR");
    if (tools != nullptr && tools[0] != '\0') {
        return tools;
    }
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string exe(self, length > 0 ? static_cast<size_t>(length) : 0);
    return exe.substr(0, exe.rfind("/tests/")) + "/tools";
}

std::string nameFromText(const std::string& text) {
    std::string name;
    bool gap = false;
    auto append = [&](const std::string& word) {
        if (gap && !name.empty()) {
            name += '_';
        }
        gap = false;
        name += word;
    };
    auto isDigit = [&](size_t at) { return at < text.size() && text[at] >= '0' && text[at] <= '9'; };
    auto isLetter = [&](size_t at) {
        return at < text.size() && ((text[at] >= 'A' && text[at] <= 'Z') || (text[at] >= 'a' && text[at] <= 'z'));
    };
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        bool wordStart = i == 0 || !(isDigit(i - 1) || isLetter(i - 1));
        if (wordStart && c == '0' && i + 2 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            // A hexadecimal number would read like an address in a test's name.
            append("Hex");
            ++i;
        } else if (isDigit(i) || isLetter(i)) {
            append(std::string(1, c));
        } else if (c == '-' && isDigit(i + 1)) {
            append("Minus");
        } else {
            gap = true;
        }
    }
    return name.empty() ? "Empty" : name;
}

}  // namespace fcltest
