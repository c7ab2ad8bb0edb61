// Directories that a restore has to create above each source's top-level destination get the mode and owner of the
// first item restored directly beneath them, instead of the defaults they were created with. Which directories
// existed is recorded when the factory is built; only the others are ever changed, each reached without following a
// link.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/support/ClExceptError.h"
#include "platform/files/FileCalls.h"
#include "platform/files/UniqueFd.h"
#include "platform/log/LogWriter.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"
#include "protocol/ApplicationTypes.h"
#include "protocol/FsrMessages.h"

namespace {

const uint64_t kCacheForcedMatchStripLimit = 4;
const char kPhotoSource[] = "/%Photo%/";

enum ItemKind { kFileItem = 1, kDirectoryItem = 2 };

// Trailing '/' removed; a text of nothing but '/' keeps one.
std::string withoutTrailingSlashes(std::string path) {
    const size_t last = path.find_last_not_of('/');
    if (last == std::string::npos) {
        return path.empty() ? path : std::string("/");
    }
    path.erase(last + 1);
    return path;
}

// `tail` (which begins with '/') after `dest` without doubling the separator of the root.
std::string joined(const std::string& dest, const std::string& tail) {
    return dest == "/" ? tail : dest + tail;
}

// Where the part of `src` (ending in '/') below its first `level` components begins: the last '/' found walking
// `level` separators after position 0. `whole` when the path has fewer components.
size_t stripPosition(const std::string& src, uint64_t level, bool& whole) {
    size_t pos = 0;
    whole = false;
    for (uint64_t i = 0; i < level; ++i) {
        const size_t next = src.find('/', pos + 1);
        if (next == std::string::npos) {
            whole = true;
            return pos;
        }
        pos = next;
    }
    return pos;
}

// Repeated '/' made one, trailing '/' dropped: the form in which directories are recorded and looked up.
std::string directoryKey(const std::string& path) {
    std::string key;
    key.reserve(path.size());
    for (char c : path) {
        if (c != '/' || key.empty() || key.back() != '/') {
            key += c;
        }
    }
    return withoutTrailingSlashes(key);
}

// Leading directories of `top` ('/'-terminated) that exist.
int existingLevels(const std::string& top) {
    int level = 0;
    for (size_t j = 1; j < top.size(); ++j) {
        if (top[j] != '/') {
            continue;
        }
        if (access_utf(top.substr(0, j).c_str(), F_OK) != 0) {
            break;
        }
        ++level;
    }
    return level;
}

// Opens the directory `key` for a change of mode and owner: its part that existed before the job as a path, every
// later component with O_NOFOLLOW beneath the one before, so no link planted on the way is followed.
int openCreatedDirectory(const std::string& key, const std::set<std::string>& absent) {
    std::vector<std::string> names;
    FXString::Split(key, "/", names, 0);
    const bool absolute = !key.empty() && key[0] == '/';
    size_t existing = 0;
    std::string prefix = absolute ? "/" : "";
    while (existing < names.size()) {
        std::string next = prefix;
        if (!next.empty() && next.back() != '/') {
            next += '/';
        }
        next += names[existing];
        if (absent.count(next) != 0) {
            break;
        }
        prefix = next;
        ++existing;
    }
    wzfiles::UniqueFd fd(open_utf(prefix.empty() ? "." : prefix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (size_t i = existing; fd.valid() && i < names.size(); ++i) {
        if (names[i] == "." || names[i] == "..") {
            errno = EINVAL;
            return -1;
        }
        fd.reset(openat(fd.get(), names[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    return fd.valid() ? fd.release() : -1;
}

}  // namespace

void FsRestoreUnixObjectsFactory::calculateMkdirLevel() {
    if ((_options & FSR_OPT_NDMP) != 0) {
        FCL_LOG(0, "Skipping calculateMkdirLevel for NDMP restores");
        return;
    }
    const std::string dest = withoutTrailingSlashes(_destDir);
    const size_t count = _srcPaths != nullptr && _numSrcPaths > 0 ? static_cast<size_t>(_numSrcPaths) : 0;
    _mkdirLevels.assign(count, 0);
    FclRestore* job = _fclRestore;
    for (size_t i = 0; i < count; ++i) {
        _pathPermissions[static_cast<int>(i)] = PathPermissions_info();
        const FSRSrcPath& record = _srcPaths[i];
        if (record.path == nullptr) {
            // An index that never got its path: nothing lands under it.
            _topLevelDestPaths.push_back(std::string());
            continue;
        }
        std::string src;
        convertWindowsPathToUnixPath(record.path, src);
        if (src.empty() || src.back() != '/') {
            src += '/';
        }
        bool whole = false;
        size_t pos = stripPosition(src, record.stripLevel, whole);
        if (whole) {
            pos = src[0] == '/' ? 1 : src.size();
        }

        std::string top;
        if (dest.empty()) {
            top = src.substr(0, pos);
        } else if (!whole && pos < src.size()) {
            if (src == kPhotoSource) {
                top = dest;
                FXPath::Append(top, src, 0);
            } else {
                top = joined(dest, src.substr(pos));
            }
        } else {
            top = joined(dest, "/");
        }
        if (top.size() > 1) {
            top = withoutTrailingSlashes(top);
            if (top != "/") {
                top += '/';
            }
        }

        const int level = existingLevels(top);
        _mkdirLevels[i] = level;
        FCL_LOG(2, "dest path :%s: srcPath :%s: topLevelDestPath :%s: mkdirLevel=%d, srcPathIdx =%d", dest.c_str(),
                record.path, top.c_str(), level, static_cast<int>(i));
        _topLevelDestPaths.push_back(top);

        noteDirectoriesAbsent(top);
        if (dest.empty()) {
            // In place the item paths are matched against the whole source path.
            std::string matched;
            if (matchingSourcePath(static_cast<int>(i), matched)) {
                noteDirectoriesAbsent(matched);
            }
        }

        if (job != nullptr && job->isRunningOnPersonalWorstationClient() && (_options & FSR_OPT_OUT_OF_PLACE) == 0 &&
            job->isCrossMachineRestore()) {
            unsigned long long uid = 0;
            unsigned long long gid = 0;
            job->GetUIDGIDForDestDir(top, uid, gid);
        }
    }
}

void FsRestoreUnixObjectsFactory::noteDirectoriesAbsent(const std::string& path) {
    const std::string key = directoryKey(path);
    bool absent = false;
    for (size_t j = 1; j <= key.size(); ++j) {
        if (j < key.size() && key[j] != '/') {
            continue;
        }
        const std::string dir = key.substr(0, j);
        struct stat st;
        if (!absent && lstat_utf(dir.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
            absent = true;
        }
        if (absent) {
            _dirsAbsentAtStart.insert(dir);
        }
    }
}

bool FsRestoreUnixObjectsFactory::matchingSourcePath(int index, std::string& src) {
    const char* path = _srcPaths[index].path;
    if (path == nullptr) {
        return false;
    }
    try {
        convertWindowsPathToUnixPath(path, src);
    } catch (const ClExceptError&) {
        return false;
    }
    if (_fclRestore != nullptr && _fclRestore->getAppType() == fclapps::kVirtualServerAppType) {
        const size_t slash = src.find('/', 1);
        if (slash != std::string::npos) {
            src.erase(0, slash);
        }
    }
    return true;
}

bool FsRestoreUnixObjectsFactory::isDirectChildDir(const char* toPath, std::string& topLevelDestPath, int& srcIdx) {
    return isDirectChildDir(toPath, topLevelDestPath, srcIdx, toPath);
}

bool FsRestoreUnixObjectsFactory::isDirectChildDir(const char* toPath, std::string& topLevelDestPath, int& srcIdx,
                                                   const char* toPathPhys) {
    // A file (named with a trailing '/') is passed over by every source path whose missing directories are settled,
    // which soon is all of them: then nothing is looked at, and nothing need be copied for every file of the job.
    const size_t length = toPath != nullptr ? std::strlen(toPath) : 0;
    const bool plainFile = length >= 2 && toPath[length - 1] == '/' && !(toPath[0] == '/' && toPath[1] == '/');
    if (plainFile && !wzlog::wants(5) && (_fclRestore == nullptr || !_fclRestore->IsIphotoFileRestore())) {
        bool settled = true;
        for (int index = 0; settled && index < _numSrcPaths && _srcPaths != nullptr; ++index) {
            const auto record = _pathPermissions.find(index);
            settled = record != _pathPermissions.end() && record->second.processed;
        }
        if (settled) {
            srcIdx = _srcPaths != nullptr ? std::max(_numSrcPaths, 0) : 0;
            return false;
        }
    }
    const std::string dest = withoutTrailingSlashes(_destDir);
    std::string p = toPath != nullptr ? toPath : "";
    std::string q = toPathPhys != nullptr ? toPathPhys : "";
    FCL_LOG(5, "isDirectChildDir called with csToPath [%s] csToPathPhys [%s] topLevelDestPath [%s]", p.c_str(),
            q.c_str(), topLevelDestPath.c_str());
    while (p.compare(0, 2, "//") == 0) {
        p.erase(0, 1);
    }
    int kind = kDirectoryItem;
    if (p.size() >= 2 && p.back() == '/') {
        p.pop_back();
        kind = kFileItem;
    }
    if (q.size() >= 2 && q.back() == '/') {
        q.pop_back();
    }

    FclRestore* job = _fclRestore;
    if (job != nullptr && job->IsIphotoFileRestore()) {
        std::string parent;
        std::string name;
        FXPath::SplitParentPath(p, parent, name);
        FCL_LOG(7, "strParentOfToPath %s, strNameofToPath %s", parent.c_str(), name.c_str());
        topLevelDestPath = parent;
        srcIdx = 0;
        return true;
    }

    const bool virtualServer = job != nullptr && job->getAppType() == fclapps::kVirtualServerAppType;
    const bool cacheDb = job != nullptr && job->IsCacheDBRestore();
    std::string top;
    for (srcIdx = 0; srcIdx < _numSrcPaths && _srcPaths != nullptr; ++srcIdx) {
        PathPermissions_info& record = _pathPermissions[srcIdx];
        std::string src;
        if ((kind == kFileItem && record.processed) || !matchingSourcePath(srcIdx, src)) {
            continue;
        }
        if (record.strippedPath.empty()) {
            if (src.empty() || src.back() != '/') {
                src += '/';
            }
            bool whole = false;
            const size_t pos = stripPosition(src, _srcPaths[srcIdx].stripLevel, whole);
            record.strippedPath = whole ? std::string("/") : src.substr(pos);
        }
        const std::string& stripped = record.strippedPath;
        if (dest.empty()) {
            top = src;
        } else if (dest == "/") {
            top = stripped[0] == '/' ? stripped : "/" + stripped;
        } else {
            top = dest + (stripped[0] == '/' ? "" : "/") + stripped;
        }
        if (stripped != "/" && top != "/") {
            top = withoutTrailingSlashes(top);
        }
        if (top.find('/', 1) != std::string::npos) {
            top.erase(top.rfind('/'));
        }
        topLevelDestPath = top;
        FCL_LOG(30, "dest path :%s:%d srcPath :%s: strippedPath:%s: topLevelDestPath:%s: toPath:%s: toPathPhys:%s:",
                dest.c_str(), kind, src.c_str(), stripped.c_str(), top.c_str(), p.c_str(), q.c_str());

        bool qualified = src == "/";
        if (!qualified) {
            std::string srcParent, srcName, toParent, toName;
            if (!FXPath::SplitParentPath(src, srcParent, srcName).IsError() &&
                !FXPath::SplitParentPath(p, toParent, toName).IsError()) {
                if (srcName == toName) {
                    qualified = true;
                } else if (cacheDb && _srcPaths[srcIdx].stripLevel < kCacheForcedMatchStripLimit &&
                           FXPath::IsAncestorOf(src, p, false)) {
                    qualified = true;
                    FCL_LOG(4, "Cache FORCING FAKE MATCH source [%s] ToPath [%s] striplevel %d", src.c_str(), p.c_str(),
                            static_cast<int>(_srcPaths[srcIdx].stripLevel));
                }
                FCL_LOG(4, "strNameOfSrc = %s, strNameofToPath = %s", srcName.c_str(), toName.c_str());
            }
        }
        FCL_LOG(4, "checkSourceQualified = %d", qualified ? 1 : 0);
        if (virtualServer) {
            FXString::ReplaceAll(p, "//", "/");
        }

        if (q.size() > top.size() && q.compare(0, top.size(), top) == 0 && qualified) {
            if (q.find('/', top.size() + 1) != std::string::npos) {
                break;
            }
            FCL_LOG(2, "target path :%s: belongs to :%s: and it is direct child, set processed=%d", q.c_str(),
                    top.c_str(), kind);
            record.processed = true;
            return true;
        }
        if (q == top && kind == kFileItem) {
            const size_t slash = topLevelDestPath.rfind('/');
            if (slash != std::string::npos && slash > 1) {
                topLevelDestPath.erase(slash);
            }
            FCL_LOG(30, "target path :%s: is file and belongs to :%s: and as direct child, set processed=%d", q.c_str(),
                    top.c_str(), kind);
            record.processed = true;
            return true;
        }
    }
    FCL_LOG(30, "target path :%s: belongs to :%s: but not a direct child", q.c_str(), top.c_str());
    return false;
}

void FsRestoreUnixObjectsFactory::resetMkdirPermOwnerGroup(const std::string& path, int srcIdx, mode_t mode, uid_t uid,
                                                           gid_t gid) {
    if (srcIdx < 0 || static_cast<size_t>(srcIdx) >= _mkdirLevels.size()) {
        return;
    }
    int level = _mkdirLevels[srcIdx];
    unsigned long long ownerUid = uid;
    unsigned long long ownerGid = gid;
    if (IsRuvoRestore()) {
        GetRestoreDestinationUIDGID(ownerUid, ownerGid);
    }
    if (ShouldResetOwnershipForLaptop()) {
        ownerUid = 0;
        ownerGid = 0;
        if ((_options & FSR_OPT_OUT_OF_PLACE) == 0) {
            if (_fclRestore->isCrossMachineRestore()) {
                _fclRestore->GetUIDGIDForDestDir(path, ownerUid, ownerGid);
            } else if (_currentItemMapped != 0) {
                _fclRestore->PickUIDGIDFromDestDir(path);
                GetRestoreDestinationUIDGID(ownerUid, ownerGid);
            }
        } else {
            GetRestoreDestinationUIDGID(ownerUid, ownerGid);
        }
    }
    const uid_t newUid = static_cast<uid_t>(static_cast<uint32_t>(ownerUid));
    const gid_t newGid = static_cast<gid_t>(static_cast<uint32_t>(ownerGid));
    FCL_LOG(4, "getMkdirLevel=%d reset path :%s:, srcPathIdx = %d", level, path.c_str(), srcIdx);
    if (path.empty() || path == "/") {
        return;
    }
    std::string walked = path;
    if (walked.back() != '/') {
        walked += '/';
    }
    for (size_t j = 1; j < walked.size(); ++j) {
        if (walked[j] != '/') {
            continue;
        }
        if (level > 0) {
            --level;
            continue;
        }
        if (j == 1) {
            continue;
        }
        const std::string dir = walked.substr(0, j + 1);
        const std::string key = directoryKey(dir);
        if (_dirsAbsentAtStart.count(key) == 0) {
            FCL_LOG(4, "%s existed before the job: left as it was", dir.c_str());
            continue;
        }
        wzfiles::UniqueFd fd(openCreatedDirectory(key, _dirsAbsentAtStart));
        if (!fd.valid()) {
            FCL_LOG(2, "%s cannot be opened without following a link: left as it is (%s)", dir.c_str(),
                    strerror(errno));
            continue;
        }
        if (fchmod(fd.get(), mode & 07777) != 0 || fchown(fd.get(), newUid, newGid) != 0) {
            FCL_LOG(2, "%s: mode or owner not changed (%s)", dir.c_str(), strerror(errno));
            continue;
        }
        FCL_LOG(0, "changed %s to mode 0%o owner %d group %d", dir.c_str(), static_cast<unsigned int>(mode),
                static_cast<int>(newUid), static_cast<int>(newGid));
    }
    FCL_LOG(4, "complete for reset path :%s:", path.c_str());
}
