// Silo items: the source path names a storage mount path by number, and the item goes under the place where that
// mount path is found today, as the mount-path library of the installation reports it. The library is loaded by name
// at the first item that needs it, and each mount path is asked for once per job.
#include "clRestore/factory/SiloPaths.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "platform/clients/ClientDirectory.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrRecords.h"

namespace {

const char kMountPathLibrary[] = "libWZMMclientAPI.so";
const char kMountPathFunction[] = "getMMClientApiMountPathInfo22";
const char kMagneticFolder[] = "WZ_MAGNETIC";

typedef int (*MountPathLookup)(uint64_t mountPathId, uint64_t clientId, uint64_t volumeId, const char* guid,
                               char** mountPath);

const char* const kMountPathMarkers[] = {"MPATHID_"};
const char* const kVolumeMarkers[] = {"V_"};
const char* const kZendrelMarkers[] = {"ZENDREL_"};

// The text after the first of `markers` found in `path`, up to the next '/' (or the end of the path when
// `toEnd` allows it): its start and length; false when no marker is found, or no '/' ends it and `toEnd` is false.
template <size_t N>
bool findPiece(char* path, const char* const (&markers)[N], bool toEnd, char** start, size_t* length) {
    for (const char* marker : markers) {
        char* found = strstr(path, marker);
        if (found == nullptr) {
            continue;
        }
        char* begin = found + strlen(marker);
        char* slash = strchr(begin, '/');
        if (slash == nullptr && !toEnd) {
            return false;
        }
        *start = begin;
        *length = slash != nullptr ? static_cast<size_t>(slash - begin) : strlen(begin);
        return true;
    }
    return false;
}

// The piece read as strtoul reads it in base 10.
unsigned long pieceNumber(char* start, size_t length) {
    char* piece = nullptr;
    AllocAndSet(&piece, start, length);
    if (piece == nullptr) {
        return 0;
    }
    const unsigned long value = strtoul(piece, nullptr, 10);
    free(piece);
    return value;
}

void slashesOnly(std::string& path) {
    std::replace(path.begin(), path.end(), '\\', '/');
}

}  // namespace

void AllocAndSet(char** slot, char* text, unsigned long length) {
    char* copy = static_cast<char*>(malloc(length + 1));
    if (copy == nullptr) {
        *slot = nullptr;
        return;
    }
    memcpy(copy, text, length);
    copy[length] = '\0';
    *slot = copy;
}

unsigned long atoul2(char* text) {
    unsigned long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + static_cast<unsigned long>(*text - '0');
    }
    return value;
}

unsigned long getMountPathId(char* path, char** rest) {
    char* start = nullptr;
    size_t length = 0;
    if (!findPiece(path, kMountPathMarkers, false, &start, &length)) {
        return 0;
    }
    AllocAndSet(rest, start + length + 1, strlen(start + length + 1));
    return pieceNumber(start, length);
}

unsigned long getVolumeId(char* path) {
    char* start = nullptr;
    size_t length = 0;
    return findPiece(path, kVolumeMarkers, true, &start, &length) ? pieceNumber(start, length) : 0;
}

std::string getZendrelGUID(char* path) {
    char* start = nullptr;
    size_t length = 0;
    return findPiece(path, kZendrelMarkers, true, &start, &length) ? std::string(start, length) : std::string();
}

bool FsRestoreUnixObjectsFactory::translateSiloPathname(std::string& to, const std::string& from) {
    std::string base;
    return translateSiloPathname(to, from, &base);
}

bool FsRestoreUnixObjectsFactory::translateSiloPathname(std::string& to, const std::string& from,
                                                        std::string* mountBase) {
    FSRInitData* init = _fclRestore != nullptr ? _fclRestore->getInitData() : nullptr;
    const std::string machine = init != nullptr && init->destMachine != nullptr ? init->destMachine : "";
    unsigned long clientId = 0;
    if (WZClient(machine, true, 0).getClientId(clientId, nullptr) != 0) {
        FCL_ERROR("Error in getting the client id");
        return false;
    }

    std::string copy = from;
    slashesOnly(copy);
    char* rest = nullptr;
    const unsigned long mountPathId = getMountPathId(&copy[0], &rest);
    const std::string remainder = rest != nullptr ? rest : "";
    free(rest);
    FCL_LOG(0, "Silo restore: fileHdr path [%s], mountPathId = %ld,vol = [%s]", copy.c_str(),
            static_cast<long>(mountPathId), remainder.c_str());

    if (!_siloMountPaths) {
        _siloMountPaths.reset(new (std::nothrow) std::map<unsigned long, CpMMSMountpathInfo>);
        if (!_siloMountPaths) {
            FCL_ERROR("Silo restore: no memory for the mount-path cache");
            return false;
        }
    }
    CpMMSMountpathInfo record;
    auto cached = _siloMountPaths->find(mountPathId);
    if (cached != _siloMountPaths->end()) {
        record = cached->second;
        FCL_LOG(0, "Silo restore: cached mountPathId %lu", mountPathId);
    } else {
        // Loading by name again yields the library already loaded; the earlier reference is given back so that the
        // destructor's one release balances the loads.
        void* library = dlopen(kMountPathLibrary, RTLD_LAZY);
        if (library == nullptr) {
            FCL_ERROR("Silo restore: Unable to load the library libWZMMclientAPI.so");
            return false;
        }
        if (_mmClientLib != nullptr) {
            dlclose(_mmClientLib);
        }
        _mmClientLib = library;
        MountPathLookup lookup = reinterpret_cast<MountPathLookup>(dlsym(library, kMountPathFunction));
        if (lookup == nullptr) {
            FCL_ERROR("Silo restore: Unable to get address for the function getMMClientApiMountPathInfo22");
            return false;
        }
        const unsigned long volumeId = getVolumeId(&copy[0]);
        const std::string guid = getZendrelGUID(&copy[0]);
        FCL_LOG(0, "Silo restore: getZendrelGUID [%s]", guid.c_str());
        char* mountPath = nullptr;
        const int rc = lookup(mountPathId, clientId, volumeId, guid.c_str(), &mountPath);
        if (rc == 1 || mountPath == nullptr || mountPath[0] == '\0') {
            FCL_ERROR("Silo restore: getMMClientApiMountPathInfo22 failed for path [%s]", copy.c_str());
            return false;
        }
        // A relative mount path would put the item wherever the process happens to run.
        std::string location = mountPath;
        slashesOnly(location);
        if (location[0] != '/') {
            FCL_ERROR("Silo restore: mount path [%s] of mountPathId %lu is not absolute", mountPath, mountPathId);
            return false;
        }
        record.id = static_cast<int>(mountPathId);
        record.path = std::string(mountPath) + "/" + kMagneticFolder;
        (*_siloMountPaths)[mountPathId] = record;
    }

    to = record.path + "/" + remainder;
    slashesOnly(to);
    *mountBase = record.path;
    slashesOnly(*mountBase);
    FCL_LOG(2, "Silo restore: cpminfo.path [%s] translated to path [%s]", record.path.c_str(), to.c_str());
    return true;
}
