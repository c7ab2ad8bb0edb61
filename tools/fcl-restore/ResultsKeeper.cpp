#include "tools/fcl-restore/ResultsKeeper.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace fclhost {
namespace {

const char kLockName[] = "host.lock";

// The lock of this process's own results directory; it lives as long as the process.
int g_heldLock = -1;

int removeEntry(const char* path, const struct stat*, int kind, struct FTW*) {
    // Depth first: a directory comes after what it holds. Errors are left: what cannot go stays for the next prune.
    if (kind == FTW_DP) {
        rmdir(path);
    } else {
        unlink(path);
    }
    return 0;
}

// The directory's lock taken for the removal, so that no host starts in it meanwhile: an open descriptor, -2 when the
// directory has no lock file, -1 when another process holds it.
int lockForRemoval(const std::string& dir) {
    const std::string lock = dir + "/" + kLockName;
    int fd = open(lock.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return -2;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool isJobDirectoryName(const std::string& name) {
    return name.compare(0, 4, "job-") == 0 && name.find('/') == std::string::npos;
}

}  // namespace

bool holdResultsDirectory(const std::string& dir, std::string* why) {
    const std::string lock = dir + "/" + kLockName;
    int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *why = "cannot lock the results directory " + dir + ": " + strerror(errno);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        *why = error == EWOULDBLOCK ? "another fcl-restore is using the results directory " + dir
                                    : "cannot lock the results directory " + dir + ": " + strerror(error);
        return false;
    }
    if (g_heldLock >= 0) {
        close(g_heldLock);
    }
    g_heldLock = fd;
    return true;
}

bool resultsDirectoryHeld(const std::string& dir) {
    const int lock = lockForRemoval(dir);
    if (lock >= 0) {
        close(lock);
    }
    return lock == -1;
}

std::vector<std::string> pruneResultsDirectories(const std::string& base, unsigned long keep) {
    // Newest first by when each was last written to: a resumed job counts as recent.
    std::vector<std::pair<timespec, std::string>> found;
    {
        std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(base.c_str()), closedir);
        if (!dir) {
            return {};
        }
        while (const dirent* entry = readdir(dir.get())) {
            const std::string name = entry->d_name;
            struct stat st;
            if (isJobDirectoryName(name) && lstat((base + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                found.emplace_back(st.st_mtim, name);
            }
        }
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        if (a.first.tv_sec != b.first.tv_sec) {
            return a.first.tv_sec > b.first.tv_sec;
        }
        return a.first.tv_nsec != b.first.tv_nsec ? a.first.tv_nsec > b.first.tv_nsec : a.second > b.second;
    });
    std::vector<std::string> removed;
    for (size_t i = std::min<size_t>(keep, found.size()); i < found.size(); ++i) {
        const std::string path = base + "/" + found[i].second;
        const int lock = lockForRemoval(path);
        if (lock == -1) {
            continue;
        }
        nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
        if (lock >= 0) {
            close(lock);
        }
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) {
            removed.push_back(path);
        }
    }
    return removed;
}

}  // namespace fclhost
