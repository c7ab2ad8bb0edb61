#include "clRestore/objects/StaticUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/objects/RestoreUserGlobals.h"
#include "platform/files/FileCalls.h"
#include "platform/files/ItemFileOpen.h"
#include "platform/files/LongPathHandler.h"
#include "platform/settings/WZPlatformAgents.h"

int unlinkFlag = 0;

namespace {

// The wrapper drops what Linux does not know (O_ASYNC and the bit 0x1000000) at open time.
constexpr int kRestoreFileFlags = O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_LARGEFILE | O_ASYNC | 0x1000000;
constexpr int kImageFileFlags = O_WRONLY | O_CREAT | O_LARGEFILE;
constexpr mode_t kNewFileMode = 0600;

bool isSymlink(const char* path) {
    struct stat st;
    return lstat_utf(path, &st) == 0 && S_ISLNK(st.st_mode);
}

// Opens through the item-file open (never through a final link, never truncating a file with another name or a
// special file, never opening a FIFO or device), and replaces a final link too: the caller's overwrite rules chose to
// put the item here. A name made with O_EXCL cannot be a FIFO, so only the item-file open's own open of an existing
// name is non-blocking.
int openNoFollow(const char* path, int flags, const wzfiles::ItemCheck* check) {
    int fd = wzfiles::openItemFile(path, flags, kNewFileMode, check);
    if (fd < 0 && errno == ELOOP) {
        // ELOOP also comes from a link the gate refuses on the way; only a final link is replaced.
        if (!isSymlink(path)) {
            errno = ELOOP;
            return -1;
        }
        if (unlink_utf(path) != 0) {
            return -1;
        }
        fd = open_utf(path, (flags & ~O_TRUNC) | O_CREAT | O_EXCL | O_NOFOLLOW, kNewFileMode);
    }
    return fd;
}

// False, with errno set, for arguments no open can use; `*fd` is negative until an open succeeds.
bool acceptOpen(const char* path, int* fd) {
    if (fd == nullptr) {
        errno = EINVAL;
        return false;
    }
    *fd = -1;
    if (path == nullptr || *path == '\0') {
        errno = ENOENT;
        return false;
    }
    return true;
}

// Two attempts at most: the second only after ENOENT, once the parent directories were made.
int openWithParents(const char* path, int* fd, int flags, const wzfiles::ItemCheck* check) {
    *fd = openNoFollow(path, flags, check);
    if (*fd >= 0) {
        return 1;
    }
    if (errno != ENOENT) {
        return 0;
    }
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) {
        return 0;
    }
    std::string parent(path, static_cast<size_t>(slash - path));
    // Its result is not looked at: the second open tells.
    StaticUtils::createDirsIteratively(&parent[0]);
    *fd = openNoFollow(path, flags, check);
    return *fd >= 0 ? 1 : 0;
}

void registerCreatedDirectory(const std::string& path) {
    if (g_preserveOwnership) {
        g_dirMap.emplace(path, true);
    }
    if (!uName.empty()) {
        // A directory this call just made; lchown, so a link swapped in meanwhile gives nothing away.
        lchown_utf(path.c_str(), uPwd.pw_uid, uPwd.pw_gid);
    }
}

}  // namespace

int StaticUtils::openRestoreFile(const char* path, int* fd, const wzfiles::ItemCheck* check) {
    if (!acceptOpen(path, fd)) {
        return 0;
    }
    if (unlinkFlag == 0) {
        unlinkFlag = WZPI_FileSystemAgent().getRemoveBeforeOpen() != 0 ? 1 : -1;
    }
    if (unlinkFlag == 1) {
        unlink_utf(path);
    }
    return openWithParents(path, fd, kRestoreFileFlags, check);
}

int StaticUtils::openImageRestoreFile(char* path, int* fd, bool sync) {
    if (!acceptOpen(path, fd)) {
        return 0;
    }
    return openWithParents(path, fd, kImageFileFlags | (sync ? O_DSYNC : 0), nullptr);
}

int StaticUtils::createDirsIteratively(char* path) {
    if (path == nullptr || *path == '\0') {
        errno = ENOENT;
        return 0;
    }
    // The walk back to the deepest existing ancestor and forward again is the long-path handler's, which makes every
    // call through the file-call layer and restores the text on each return.
    std::map<std::string, bool> created;
    const int made = WzLongPathHandler::GetHandler()->CreateDirsIteratively_Long(path, &created);
    const int err = errno;
    for (const auto& entry : created) {
        registerCreatedDirectory(entry.first);
    }
    errno = err;
    return made != 0 ? 1 : 0;
}

int StaticUtils::openRestoreDirectory(char* path) {
    return createDirsIteratively(path);
}

bool StaticUtils::isAccessDenied(char* path) {
    if (path == nullptr || *path == '\0') {
        return true;
    }
    std::string probe(path);
    if (probe.size() > 1 && probe.back() == '/') {
        probe.pop_back();
    }
    while (access_utf(probe.c_str(), F_OK) != 0) {
        const size_t slash = probe.rfind('/');
        if (slash == std::string::npos) {
            break;
        }
        if (slash == 0) {
            probe = "/";
            break;
        }
        probe.resize(slash);
    }
    struct stat st;
    if (stat_utf(probe.c_str(), &st) != 0) {
        return true;
    }
    const int wanted = S_ISDIR(st.st_mode) ? (W_OK | X_OK) : W_OK;
    return access_utf(probe.c_str(), wanted) != 0;
}

int path_lustre(char* buf, int size, const char* mount, const lu_fid* fid) {
    if (mount == nullptr || fid == nullptr || size < 0 || (buf == nullptr && size != 0)) {
        return -1;
    }
    return snprintf(buf, static_cast<size_t>(size), "%s/%s/fid/%#llx:0x%x:0x%x", mount, ".lustre",
                    static_cast<unsigned long long>(fid->f_seq), static_cast<unsigned int>(fid->f_oid),
                    static_cast<unsigned int>(fid->f_ver));
}
