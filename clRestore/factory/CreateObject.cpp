// The restore object of each file header: its class by the item's file type, the destination walk that finds the
// raw device receiving a device item's contents, the check of links that may lead into raw devices, and the item's
// special data handler.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/FsRestoreDirectory.h"
#include "clRestore/objects/FsRestoreFile.h"
#include "clRestore/objects/FsRestoreSpecial.h"
#include "clRestore/objects/FsRestoreSymlink.h"
#include "clRestore/objects/FsRestoreWindowsFile.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/apps/OracleRestoreHandler.h"
#include "platform/files/FileCalls.h"
#include "platform/files/UniqueFd.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"

namespace {

const int kMaxLinksFollowed = 11;
const char kProbeName[] = "/.tempfile0.";
const int kProbeAttempts = 8;

// What the destination walk of a device item found.
enum class DeviceWalk { kNoDevice, kDeviceObject, kRegularFileAllowed, kRegularFileRefused };

// The path up to its last '/', "" when it has none.
std::string withoutLastSegment(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool isDevice(const struct stat& st) {
    return S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode);
}

// The whole target of the link at `path`, however long: the buffer starts at the size lstat gave and grows while a
// read fills it. False when the link cannot be read.
bool readLinkContents(const std::string& path, off_t sizeHint, std::string& out) {
    std::vector<char> buffer(static_cast<size_t>(sizeHint > 0 ? sizeHint : 0) + 64);
    for (;;) {
        const ssize_t length = readlink_utf(path.c_str(), buffer.data(), buffer.size());
        if (length < 0) {
            return false;
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            out.assign(buffer.data(), static_cast<size_t>(length));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// True when a file can be created in the directory `dir` leads to. The probe is a file of our own, made with a
// random name that must not exist yet and removed again only while it is still the one we made: a file the user
// keeps there is never opened, truncated or removed.
bool canCreateFileIn(const std::string& dir) {
    std::random_device random;
    for (int attempt = 0; attempt < kProbeAttempts; ++attempt) {
        const unsigned long long tag = (static_cast<unsigned long long>(random()) << 32) | random();
        char suffix[17];
        snprintf(suffix, sizeof suffix, "%016llx", tag);
        const std::string probe = dir + kProbeName + suffix;
        wzfiles::UniqueFd fd(open_utf(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd.valid()) {
            if (errno == EEXIST) {
                continue;
            }
            return false;
        }
        struct stat made;
        struct stat named;
        if (fstat(fd.get(), &made) == 0 && lstat_utf(probe.c_str(), &named) == 0 && made.st_dev == named.st_dev &&
            made.st_ino == named.st_ino) {
            unlink_utf(probe.c_str());
        }
        return true;
    }
    return false;
}

// The relative target `contents` (ending in '/') taken from the directory `dir` of the link: each leading "../"
// climbs one level, a leading "./" is dropped.
std::string resolveAgainst(std::string dir, std::string contents) {
    for (;;) {
        while (contents.compare(0, 3, "../") == 0) {
            contents.erase(0, 3);
            dir = withoutLastSegment(dir);
        }
        if (contents.compare(0, 2, "./") != 0) {
            break;
        }
        contents.erase(0, 2);
    }
    if (!contents.empty() && contents[0] == '/') {
        return contents;
    }
    std::string resolved = dir + "/" + contents;
    FCL_LOG(3, "INFO: Link Absolute Contents=[%s]", resolved.c_str());
    return resolved;
}

// Walks from the item's destination name towards "/", following links by hand, to the device that receives a
// device item's contents. On a device `itemFilename` becomes its path.
DeviceWalk walkToRawDevice(FsRestoreUnixObjectsFactory* factory, FclRestore& job, unsigned long options,
                           std::string& itemFilename, CXFileHeader* header, FsRestoreObject*& object) {
    std::string path = itemFilename;
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    path += '/';
    int followed = 0;
    for (;;) {
        if (path.find('/') == std::string::npos) {
            return DeviceWalk::kNoDevice;
        }
        path = withoutLastSegment(path);
        if (path.empty() || path == "/") {
            return DeviceWalk::kNoDevice;
        }
        struct stat st = {};
        if (lstat_utf(path.c_str(), &st) != 0) {
            continue;
        }
        if (isDevice(st)) {
            itemFilename = path;
            const int destRdev = static_cast<int>(st.st_rdev);
            const int srcRdev = static_cast<int>(header->rdev);
            if (job._rawDevAsRegularFile == 0) {
                FCL_LOG(2, "INFO: Raw Device File [%s] is being restored; destRdev=%d srcRdev=%d", path.c_str(),
                        destRdev, srcRdev);
                header->rdev = static_cast<uint32_t>(st.st_rdev);
                job._rawDevFound = 1;
                object = new (std::nothrow) FsRestoreSpecial(header, factory);
                FsRestoreUnixObject::createHoles(0);
                return DeviceWalk::kDeviceObject;
            }
            if ((options & FSR_OPT_OVERWRITE) != 0) {
                FCL_LOG(2, "INFO: Raw Device File [%s] is being restored as a Regular file; destRdev=%d srcRdev=%d",
                        path.c_str(), destRdev, srcRdev);
                return DeviceWalk::kRegularFileAllowed;
            }
            FCL_LOG(0, "INFO: Raw Device File [%s] cannot be restored as a Regular file; destRdev=%d srcRdev=%d",
                    path.c_str(), destRdev, srcRdev);
            return DeviceWalk::kRegularFileRefused;
        }
        if (S_ISLNK(st.st_mode)) {
            FCL_LOG(2, "INFO: Link=[%s] to a Raw Device found.", path.c_str());
            if (followed == kMaxLinksFollowed) {
                FCL_LOG(0, "INFO: Link=[%s] May be a circular link", path.c_str());
                return DeviceWalk::kNoDevice;
            }
            ++followed;
            std::string contents;
            if (!readLinkContents(path, st.st_size, contents)) {
                return DeviceWalk::kNoDevice;
            }
            contents += '/';
            FCL_LOG(3, "INFO: Link=[%s] Contents=[%s]", path.c_str(), contents.c_str());
            // The next round drops the appended '/', so the link's target itself is looked at first.
            path = resolveAgainst(withoutLastSegment(path), contents);
        }
    }
}

}  // namespace

FsRestoreObject* FsRestoreUnixObjectsFactory::createRestoreObject(CXFileHeader* header, unsigned long version) {
    setErrCode(0);
    _dataHandler.reset();
    if (header == nullptr) {
        FCL_ERROR("No file header to create a restore object from");
        throw ClExceptError(static_cast<int>(fclitem::kInvalidFileType));
    }
    if ((header->flags & CXHDR_F_ORACLE) != 0) {
        FCL_LOG(2, "Creating OracleRestoreHandler object");
        _dataHandler.reset(new (std::nothrow) OracleRestoreHandler(_factoryEvent.get()));
        if (!_dataHandler) {
            return nullptr;
        }
        _dataHandler->setFileHeader(header);
        const std::string& actual = _dataHandler->getActualFileName();
        // A name cut to fit would name another file.
        if (actual.size() >= CXHDR_NAME_SIZE) {
            FCL_ERROR("The actual file name of [%s] does not fit the header (%zu characters)", header->name,
                      actual.size());
            throw ClExceptError(static_cast<int>(fclitem::kPathTooLong));
        }
        memcpy(header->name, actual.c_str(), actual.size() + 1);
        header->nameLength = static_cast<uint32_t>(actual.size() + 1);
        FCL_LOG(2, "Actual Filename is %s", header->name);
    } else {
        FCL_LOG(2, "Not Creating OracleRestoreHandler object");
    }

    setVersion(version);
    unsigned int fileType = static_cast<unsigned int>(header->mode) & S_IFMT;
    _openSpecialFileFlag = 0;

    const bool named = preapreFileName(header->name, _itemFilename, _itemFilenameA, header);
    FCL_LOG(3, "F00 Filename is [%s][%s]", _itemFilename.c_str(), _itemFilenameA.c_str());
    // An empty name would be resolved against whatever directory the process is in.
    if (!named || _itemFilename.empty()) {
        FCL_ERROR("No destination name for [%s]", header->name);
        throw ClExceptError(static_cast<int>(fclitem::kNoDestination));
    }

    FclRestore* job = _fclRestore;
    if (job != nullptr && job->isDBRestoreFromMultiplexedBackup()) {
        // Naming made such items regular files.
        fileType = static_cast<unsigned int>(header->mode) & S_IFMT;
    }
    if (job != nullptr && (job->IsSolrDBRestore() || job->IsSolrCloudRestore())) {
        CQiError error = processSolrDBFileHeader(*header);
        if (error.IsError()) {
            FCL_ERROR(" processSolrDBFileHeader Failed. Error : %s", error.AsString().c_str());
            return nullptr;
        }
        FCL_LOG(0, " Hdr File Name : %s, Solr File Name : %s", header->name, _itemFilenameA.c_str());
    }

    switch (fileType) {
        case S_IFSOCK:
        case S_IFIFO:
            return new (std::nothrow) FsRestoreSpecial(header, this);
        case S_IFLNK:
            if ((_options & FSR_OPT_OUT_OF_PLACE) != 0 && job != nullptr && job->restoreDataInRawDev == 1 &&
                job->_rawDevAsRegularFile == 0) {
                keepLinkAtSourceIfNeeded(header);
            }
            return new (std::nothrow) FsRestoreSymlink(header, this);
        case S_IFREG: {
            FsRestoreObject* object = new (std::nothrow) FsRestoreFile(header, this);
            if (job != nullptr && job->GetMinHoleSize() > 0) {
                FsRestoreUnixObject::createHoles(1);
                FsRestoreUnixObject::setMinHoleSize(job->GetMinHoleSize());
            }
            return object;
        }
        case S_IFDIR:
            if (job != nullptr && job->IsCacheDBRestore()) {
                return new (std::nothrow) FsRestoreUnixCacheDirectory(header, this);
            }
            return new (std::nothrow) FsRestoreDirectory(header, this);
        case S_IFCHR:
        case S_IFBLK:
            return createDeviceObject(header, fileType);
        default:
            FCL_LOG(0, "Invalid mode [%d] for file [%s]", static_cast<int>(fileType), header->name);
            throw ClExceptError(static_cast<int>(fclitem::kInvalidFileType));
    }
}

// A link whose destination directory is reached through a device, or through a link that does not lead to a
// directory we can write, is restored at its source path.
void FsRestoreUnixObjectsFactory::keepLinkAtSourceIfNeeded(CXFileHeader* header) {
    enum { kNothing, kDevice, kPossiblyDevice } found = kNothing;
    std::string path = _itemFilename;
    while (found == kNothing && path.find('/') != std::string::npos) {
        path = withoutLastSegment(path);
        if (path.empty() || path == "/") {
            break;
        }
        struct stat st = {};
        if (lstat_utf(path.c_str(), &st) != 0) {
            continue;
        }
        if (isDevice(st)) {
            found = kDevice;
        } else if (S_ISLNK(st.st_mode) && !canCreateFileIn(path)) {
            found = kPossiblyDevice;
        }
    }
    if (found == kNothing) {
        return;
    }
    if (found == kDevice) {
        FCL_LOG(2, "INFO: Link=[%s] to Raw Device File is being restored in place.", header->name);
    } else {
        FCL_LOG(0, "INFO: Link=[%s] possibly leading to a Raw Device File is being restored in place.", header->name);
    }
    _itemFilename = header->name;
    _itemFilenameA = header->name;
}

FsRestoreObject* FsRestoreUnixObjectsFactory::createDeviceObject(CXFileHeader* header, unsigned int fileType) {
    FclRestore* job = _fclRestore;
    const short mode = static_cast<short>(fileType);
    if ((_options & FSR_OPT_OUT_OF_PLACE) == 0 || (job != nullptr && job->restoreDataInRawDev == 0)) {
        FCL_LOG(2, "INFO: Raw Device File [%s] is being restored. mode=%hd", _itemFilename.c_str(), mode);
        FsRestoreObject* object = new (std::nothrow) FsRestoreSpecial(header, this);
        FsRestoreUnixObject::createHoles(0);
        return object;
    }

    DeviceWalk walk = DeviceWalk::kNoDevice;
    FsRestoreObject* object = nullptr;
    if (job != nullptr && job->restoreDataInRawDev == 1) {
        walk = walkToRawDevice(this, *job, _options, _itemFilename, header, object);
    }
    if (walk == DeviceWalk::kDeviceObject) {
        return object;
    }
    if (job != nullptr && job->_rawDevAsRegularFile == 0) {
        FCL_LOG(0, "INFO: Destination Raw Device does not exist. [%s]", withoutLastSegment(_itemFilename).c_str());
        throw ClExceptError(static_cast<int>(fclitem::kRawDeviceNotRestorable));
    }
    if (job == nullptr) {
        FCL_LOG(2, "INFO:-> Raw Device File=[%s] is being Restored. mode=%hd", _itemFilename.c_str(), mode);
        object = new (std::nothrow) FsRestoreSpecial(header, this);
        FsRestoreUnixObject::createHoles(0);
        return object;
    }
    if (walk == DeviceWalk::kRegularFileRefused) {
        throw ClExceptError(static_cast<int>(fclitem::kRawDeviceNotRestorable));
    }
    FCL_LOG(2, "INFO: Contents of a Raw Device restored to a Regular File [%s]; mode=%hd", _itemFilename.c_str(), mode);
    if (isWindowsCrossRestore(header->sourcePlatform)) {
        return new (std::nothrow) FsRestoreWindowsFile(header, this);
    }
    return new (std::nothrow) FsRestoreFile(header, this);
}

// ---- the special data handler of the current item ----

long long FsRestoreUnixObjectsFactory::writeToDataHandler(const int& fd, void** buffer, long long& length) {
    return _dataHandler ? _dataHandler->writeData(fd, buffer, length) : 0;
}

int FsRestoreUnixObjectsFactory::finalizeData(const int& fd, void** buffer, long long& length) {
    if (!_dataHandler) {
        return 0;
    }
    const int result = _dataHandler->finalizeData(fd, buffer, length);
    if (result < 0) {
        FCL_ERROR("finalizeData failed, error=%d", result);
    }
    return result;
}

bool FsRestoreUnixObjectsFactory::finalizeFile(bool result) {
    return _dataHandler ? _dataHandler->finalizeFile(result) : result;
}
