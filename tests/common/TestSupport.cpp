#include "tests/common/TestSupport.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fcltest {

ScratchDir::ScratchDir(const std::string& tag) {
    const char* base = getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/" + tag + ".XXXXXX";
    if (mkdtemp(&templ[0]) == nullptr) {
        throw std::runtime_error("mkdtemp failed for " + templ);
    }
    path_ = templ;
}

ScratchDir::~ScratchDir() { removeTree(path_); }

namespace {
int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    // Make directories writable first so that a test that chmods 0000 still cleans up.
    ::remove(path);
    return 0;
}
int unlockEntry(const char* path, const struct stat* st, int type, struct FTW*) {
    if (type == FTW_D) {
        ::chmod(path, (st->st_mode & 07777) | 0700);
    }
    return 0;
}
}  // namespace

void removeTree(const std::string& path) {
    nftw(path.c_str(), unlockEntry, 64, FTW_PHYS);
    nftw(path.c_str(), removeEntry, 64, FTW_DEPTH | FTW_PHYS);
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

bool isRoot() { return geteuid() == 0; }

}  // namespace fcltest
