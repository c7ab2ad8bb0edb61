// The handler's calls that create a path's missing directories.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/files/FileCalls.h"
#include "platform/files/ItemFileOpen.h"
#include "platform/files/LongPathHandler.h"

namespace {

constexpr mode_t kNewDirectoryMode = 0700;

// Ends the text at `end` for as long as it lives, so that a prefix can be handed to a path call without a copy.
class Cut {
public:
    Cut(char* path, size_t end) : at_(path + end), saved_(*at_) { *at_ = '\0'; }
    ~Cut() { *at_ = saved_; }
    Cut(const Cut&) = delete;
    Cut& operator=(const Cut&) = delete;

private:
    char* at_;
    char saved_;
};

void enter(std::map<std::string, bool>* created, const char* path) {
    if (created != nullptr) {
        created->emplace(path, true);
    }
}

bool isDirectory(const char* path) {
    struct stat st;
    return stat_utf(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool onlySlashesFrom(const char* path, size_t from) {
    return path[from + std::strspn(path + from, "/")] == '\0';
}

}  // namespace

int WzLongPathHandler::CreateDirsIteratively_Long(char* path, std::map<std::string, bool>* created) {
    if (path == nullptr || *path == '\0') {
        errno = ENOENT;
        return 0;
    }
    const size_t len = std::strlen(path);
    // Nearly every call names a directory made for an earlier item: one look settles it, and none at all for the
    // directory the thread holds. The look is at the name without its trailing '/' (which would follow a link): a
    // real directory there is what the walk below would accept, and anything else takes the walk.
    size_t named = len;
    while (named > 1 && path[named - 1] == '/') {
        --named;
    }
    {
        Cut cut(path, named);
        if (isDirectoryEntry(path)) {
            return 1;
        }
    }
    size_t end = len;
    // Walk back to the longest prefix that exists as a directory or can be made.
    for (;;) {
        Cut cut(path, end);
        if (mkdir_utf(path, kNewDirectoryMode) == 0) {
            enter(created, path);
            break;
        }
        const int err = errno;
        if (err != ENOENT) {
            // The stat only tells whether the prefix is there anyway; the caller needs the mkdir's reason.
            struct stat st;
            if (stat_utf(path, &st) != 0 || !S_ISDIR(st.st_mode)) {
                errno = err;
                return 0;
            }
            break;
        }
        size_t slash = end;
        while (slash > 0 && path[slash - 1] != '/') {
            --slash;
        }
        // A '/' at the very start does not count: the path names nothing that could be made.
        if (slash <= 1) {
            return 0;
        }
        end = slash - 1;
    }
    // Walk forward, one component at a time.
    while (!onlySlashesFrom(path, end)) {
        end += std::strspn(path + end, "/");
        end += std::strcspn(path + end, "/");
        Cut cut(path, end);
        if (mkdir_utf(path, kNewDirectoryMode) == 0) {
            enter(created, path);
            continue;
        }
        if (errno != EEXIST) {
            return 0;
        }
        // Something else may have appeared there meanwhile; the answer promises a directory.
        if (!isDirectory(path)) {
            errno = EEXIST;
            return 0;
        }
    }
    return 1;
}

int WzLongPathHandler::openRestoreFile_long(const char* path, std::map<std::string, bool>* created, bool truncate,
                                            const wzfiles::ItemCheck* check) {
    // A link planted where the file goes is never written through: the open fails (ELOOP) instead.
    const int flags = O_WRONLY | O_CREAT | O_NOCTTY | O_LARGEFILE | (truncate ? O_TRUNC : 0);
    int fd = wzfiles::openItemFile(path, flags, 0600, check);
    if (fd >= 0 || errno != ENOENT) {
        return fd;
    }
    std::string parent(path);
    size_t slash = parent.rfind('/');
    if (slash == std::string::npos) {
        return -1;
    }
    parent.resize(slash);
    CreateDirsIteratively_Long(&parent[0], created);
    return wzfiles::openItemFile(path, flags, 0600, check);
}
