// The source paths of the job, one FSR_MSG_SRC_PATH each: rewritten as the job kind requires and stored at their
// index; the last index completes the set (SourcePathsCompletion.cpp).
//
// What comes from the wire is checked before it is stored: an index outside the parameters' count, a message without
// a path, an index that came before in the same round and a last index that finds positions still empty each stop
// the job with a failure reason. Nothing is written outside the array and no set completes with an empty entry.
#include <strings.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/messages/SourcePathSteps.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/log/LogWriter.h"
#include "platform/support/FXPath.h"
#include "platform/sync/CSyncRestorePathMapper.h"

namespace {

const char kCacheDbMoniker[] = "/%CACHEDB%";
const char kCacheDbPrefix[] = "/%CACHEDB%/";
const char kSiloMarker[] = "\\WZ_SIDB\\";
const size_t kStrdupSlack = 20;

int compareTexts(const void* a, const void* b, int (*compare)(const char*, const char*)) {
    const char* left = static_cast<const FSRSrcPath*>(a)->path;
    const char* right = static_cast<const FSRSrcPath*>(b)->path;
    if (left == nullptr || right == nullptr) {
        return (left != nullptr) - (right != nullptr);
    }
    return compare(left, right);
}

void noteCacheDbRestore(FclRestoreUNIX& unix, const char* path) {
    if (unix._cacheDbRestore) {
        return;
    }
    if (FXPath::IsSamePathAs(path, kCacheDbMoniker)) {
        unix._cacheDbRestore = true;
        FCL_LOG(0, "srcPath matches Cache DB Moniker, this IS FULL Cache DB Restore");
    } else if (strncasecmp(path, kCacheDbPrefix, sizeof kCacheDbPrefix - 1) == 0) {
        unix._cacheDbRestore = true;
        FCL_LOG(0, "Found CACHEDB MONIKER in srcPath, this IS PARTIAL Cache DB Restore");
    }
}

}  // namespace

char* myStrdup(const char* s) {
    if (s == nullptr) {
        return nullptr;
    }
    const size_t length = std::strlen(s);
    char* copy = new (std::nothrow) char[length + kStrdupSlack];
    if (copy == nullptr) {
        FCL_ERROR("not enough memory for %d bytes", static_cast<int>(length));
        return nullptr;
    }
    std::memcpy(copy, s, length + 1);
    return copy;
}

int FclRestore::cmpFunc(const void* a, const void* b) {
    return compareTexts(a, b, std::strcmp);
}

int FclRestore::cmpFuncCase(const void* a, const void* b) {
    return compareTexts(a, b, strcasecmp);
}

void FclRestore::sortPathnames(FSRSrcPath* paths) {
    _caseSensitive = true;
    if (paths != nullptr && _setParams != nullptr) {
        qsort(paths, static_cast<size_t>(_setParams->numSrcPaths), sizeof(FSRSrcPath), cmpFunc);
    }
}

void FclRestore::sortPathnamesCase(FSRSrcPath* paths) {
    _caseSensitive = false;
    if (paths != nullptr && _setParams != nullptr) {
        qsort(paths, static_cast<size_t>(_setParams->numSrcPaths), sizeof(FSRSrcPath), cmpFuncCase);
    }
}

void FclRestore::parseUserName(char* fullName, char* domain, char* user) {
    if (fullName == nullptr || domain == nullptr || user == nullptr) {
        return;
    }
    char* separator = std::strrchr(fullName, '\\');
    if (separator == nullptr) {
        std::strcpy(domain, ".");
        std::strcpy(user, fullName);
        return;
    }
    *separator = '\0';
    std::strcpy(domain, fullName);
    std::strcpy(user, separator + 1);
}

void FclRestore::releaseSourcePaths() {
    if (_srcPaths != nullptr) {
        const size_t count = _setParams != nullptr ? static_cast<size_t>(_setParams->numSrcPaths) : 0;
        for (size_t k = 0; k < count; ++k) {
            delete[] _srcPaths[k].path;
        }
        delete[] _srcPaths;
        _srcPaths = nullptr;
    }
    _srcPathsStored.clear();
}

bool FclRestore::OnMsgSrcPath(FSRSrcPath* rec) {
    const unsigned long long count = _setParams != nullptr ? _setParams->numSrcPaths : 0;
    if (rec == nullptr) {
        FCL_ERROR("A source path message came without its record");
        return fclsrcpaths::refuse(*this);
    }
    if (_srcPaths == nullptr || rec->index < 0 || static_cast<unsigned long long>(rec->index) >= count ||
        count > static_cast<unsigned long long>(INT_MAX)) {
        FCL_ERROR("Source path index %lld is outside the %llu source paths of the job",
                  static_cast<long long>(rec->index), _srcPaths != nullptr ? count : 0ULL);
        return fclsrcpaths::refuse(*this);
    }
    const int i = static_cast<int>(rec->index);
    if (rec->path == nullptr) {
        FCL_ERROR("Source path %d came without a path", i);
        return fclsrcpaths::refuse(*this);
    }
    if (_srcPathsStored.size() != count) {
        _srcPathsStored.assign(static_cast<size_t>(count), false);
    }
    if (_srcPathsStored[static_cast<size_t>(i)]) {
        FCL_ERROR("Source path %d came a second time before the last one", i);
        return fclsrcpaths::refuse(*this);
    }

    noteCacheDbRestore(*_fclRestoreUnix, rec->path);
    if (_fclRestoreUnix->isDBRestoreFromMultiplexedBackup()) {
        getDBPathRestoreList().push_back(rec->path);
    }

    const bool sync = IsSyncRestore();
    const unsigned long long options = _setParams->options;
    std::string working(rec->path);
    if (sync && GetSyncPathMapper() != nullptr) {
        working = GetSyncPathMapper()->InitSrcPath(rec->path);
    }
    if (rec->path[0] != '/' && !sync) {
        windowsPathToUnixPath(rec->path, working, static_cast<unsigned long>(options));
    }

    const bool ruvoSync = IsRuvoSyncRestore();
    if (ruvoSync) {
        CQiError error = _fclRestoreUnix->ConnectRuvoSyncProxyApiConnection(working);
        if (error.IsError()) {
            FCL_ERROR("%s", error.AsString().c_str());
            return false;
        }
    }
    if (IsRuvoRestore() || (_personalWorkstation && (options & FSR_OPT_OUT_OF_PLACE) != 0 && !sync && !ruvoSync)) {
        PickUIDGIDFromDestDir(getDestPath());
    }

    std::string stored = working;
    if (_fclRestoreUnix->IsRefCopyRestore()) {
        _fclRestoreUnix->GetRefCopyPath(working.c_str(), stored);
        rec->stripLevel = 0;
    }
    char* copy = myStrdup(stored.c_str());
    if (copy == nullptr) {
        return fclsrcpaths::outOfMemory(*this);
    }
    if (_siloJob && std::strstr(copy, kSiloMarker) != nullptr) {
        for (char* c = copy; *c != '\0'; ++c) {
            if (*c == '\\') {
                *c = '/';
            }
        }
        FCL_LOG(0, "Converted [%s] to [%s]", rec->path, copy);
    }
    unsigned long long stripLevel = rec->stripLevel;
    if (getAppType() == fclapps::kPostgresAppType) {
        FCL_LOG(0, "PostGres src path index %d | path %s", i, copy);
        stripLevel = rec->stripLevel + 1;
    }

    // A later round replaces the text of an earlier one.
    FSRSrcPath& entry = _srcPaths[i];
    delete[] entry.path;
    entry.index = i;
    entry.stripLevel = stripLevel;
    entry.path = copy;
    _srcPathsStored[static_cast<size_t>(i)] = true;
    FCL_LOG(0, "Strip Level = %lu Source Path = %s", static_cast<unsigned long>(rec->stripLevel), copy);

    if (static_cast<unsigned long long>(i) == count - 1) {
        return fclsrcpaths::completeSourcePaths(*this);
    }
    return true;
}
