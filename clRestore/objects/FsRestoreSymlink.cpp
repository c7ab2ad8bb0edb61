// Symbolic links. The target arrives as the item's data and the link cannot exist before the target is complete, so
// the object collects the data, keeps the optional header aside, and does everything at close: makes the link
// (creating missing parents, or replacing what is in the way), applies the kept header and the owner, runs the
// common close and sets the link's own times.
#include "clRestore/objects/FsRestoreSymlink.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/ProcessRestoreState.h"
#include "clRestore/objects/StaticUtils.h"
#include "clRestore/objects/SubclassSteps.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/files/CQiDirectory.h"
#include "platform/files/DestinationGate.h"
#include "platform/files/FileCalls.h"
#include "platform/files/NoFollowTimes.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"

namespace {

// True when `path` names the out-of-place destination's root (compared without trailing slashes).
bool isDestinationRoot(const std::string& path) {
    std::string root = wzfiles::destinationRoot();
    std::string name = path;
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    while (name.size() > 1 && name.back() == '/') {
        name.pop_back();
    }
    return !root.empty() && root == name;
}

const char kDevicePrefix[] = "///device/";
const size_t kDevicePrefixLength = sizeof kDevicePrefix - 1;

int linkFailed(FsRestoreSymlink& link) {
    link._ownerFactory->setErrCode(fclitem::kCreateFailed);
    return 0;
}

// Makes the link in at most two attempts: a missing parent is made, an entry in the way removed, between them.
int makeLink(FsRestoreSymlink& link) {
    const std::string& path = link._filename;
    // Longer targets than the system takes, and targets with a NUL inside, would become another link than the one
    // backed up.
    if (link._linkTarget.size() >= PATH_MAX || link._linkTarget.find('\0') != std::string::npos) {
        const int err = link._linkTarget.size() >= PATH_MAX ? ENAMETOOLONG : EINVAL;
        FCL_LOG(0, "Error [%d] while symlink [%s]", err, path.c_str());
        return linkFailed(link);
    }
    for (int attempt = 1;; ++attempt) {
        if (symlink_utf(link._linkTarget.c_str(), path.c_str()) == 0) {
            fclobjects::noteRestoredLink(path);
            return 1;
        }
        const int err = errno;
        if (attempt == 2) {
            FCL_LOG(0, "Error [%d] after creating ancestors of symlink [%s]", err, path.c_str());
            return linkFailed(link);
        }
        if (err == ENOENT) {
            if (path.find('/') == std::string::npos) {
                FCL_LOG(0, "Bad symlink path [%s]", path.c_str());
                return linkFailed(link);
            }
            const std::string parent = fclobjects::parentDirectory(path);
            std::vector<char> text(parent.begin(), parent.end());
            text.push_back('\0');
            if (StaticUtils::createDirsIteratively(text.data()) == 0) {
                FCL_LOG(0, "Error [%d] while creating ancestors of symlink [%s]", errno, path.c_str());
                return linkFailed(link);
            }
        } else if (err == EEXIST) {
            if (unlink_utf(path.c_str()) != 0) {
                if ((link._ownerFactory->getOptions() & FSR_OPT_OVERWRITE) == 0) {
                    FCL_LOG(0, "Error [%d] while unlinking [%s], and Unconditional Overwrite not selected", errno,
                            path.c_str());
                    return linkFailed(link);
                }
                // Only an empty directory gives way to the link: one that holds anything (items this job restored
                // among them) stays, and the destination itself is never removed.
                if (isDestinationRoot(path)) {
                    FCL_LOG(0, "[%s] is the destination itself: the link is not restored over it", path.c_str());
                    return linkFailed(link);
                }
                const CQiError removed = CQiDirectory::Remove(path.c_str(), false, false);
                if (removed.IsError()) {
                    FCL_LOG(0, "Error [%s] while unlinking [%s], even tried rmdir", removed.AsString().c_str(),
                            path.c_str());
                    return linkFailed(link);
                }
            }
        } else {
            FCL_LOG(0, "Error [%d] while symlink [%s]", err, path.c_str());
            return linkFailed(link);
        }
    }
}

}  // namespace

int FsRestoreSymlink::openObject() {
    _linkTarget.clear();
    if (FsRestoreUnixObject::openObject() == 0) {
        return fclobjects::baseOpenFailed(*this);
    }
    return 1;
}

int FsRestoreSymlink::writeData(void* buffer, int length) {
    if (length <= 0) {
        return 1;
    }
    const char* data = static_cast<const char*>(buffer);
    size_t size = static_cast<size_t>(length);
    if (size >= kDevicePrefixLength && std::memcmp(data, kDevicePrefix, kDevicePrefixLength) == 0) {
        data += kDevicePrefixLength;
        size -= kDevicePrefixLength;
    }
    // A target cannot be longer than PATH_MAX - 1: what comes beyond one byte more is never kept.
    const size_t room = PATH_MAX - std::min<size_t>(PATH_MAX, _linkTarget.size());
    _linkTarget.append(data, std::min(room, size));
    return 1;
}

int FsRestoreSymlink::writeOptHeader(void* buffer, int length) {
    if (length <= 0) {
        return 1;
    }
    std::unique_ptr<char[]> copy(new (std::nothrow) char[static_cast<size_t>(length)]);
    if (!copy) {
        FCL_ERROR("memory allocation error (%d bytes)", length);
        _ownerFactory->setErrCode(fclitem::kNoMemory);
        return 0;
    }
    std::memcpy(copy.get(), buffer, static_cast<size_t>(length));
    _savedOptHeader = std::move(copy);
    _savedOptHeaderLen = length;
    return 1;
}

int FsRestoreSymlink::closeObject() {
    FCL_LOG(2, "_dontRestoreStubWithGUID %d", _dontRestoreStubWithGUID ? 1 : 0);
    if (_dontRestore != 0 || _hardLink != 0 || _dontRestoreStubWithGUID) {
        return 1;
    }
    FCL_LOG(2, "creating symlink... %s -> %s", _filename.c_str(), _linkTarget.c_str());
    if (makeLink(*this) == 0) {
        return 0;
    }
    if (_savedOptHeaderLen > 0 && FsRestoreUnixObject::writeOptHeader(_savedOptHeader.get(), _savedOptHeaderLen) == 0) {
        return 0;
    }
    if (postOpenObject(g_preserveOwnership ? IMPERSONATION_PRESERVED_OWNER_DIR : IMPERSONATION_NONE) == 0) {
        return fclobjects::postOpenFailed(*this);
    }
    const int result = FsRestoreUnixObject::closeObject();
    // The link's own times, as the backup has them; a file system that keeps none for links changes nothing.
    utimbuf times = {static_cast<time_t>(_atime), static_cast<time_t>(_mtime)};
    if (Utime(_filename, &times) != 0) {
        FCL_LOG(0, "Error [%d] while updating file times for [%s]", errno, _filename.c_str());
    }
    return result;
}

int FsRestoreSymlink::ChownFile(const std::string& path, unsigned int uid, unsigned int gid) {
    return lChownFile(path, uid, gid);
}

int FsRestoreSymlink::ChmodFile(const std::string& /*path*/, int /*mode*/) {
    return 0;
}

int FsRestoreSymlink::Utime(const std::string& path, utimbuf* times) {
    timespec stamps[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
    if (times != nullptr) {
        stamps[0] = {times->actime, 0};
        stamps[1] = {times->modtime, 0};
    }
    return wzfiles::setTimesNoFollow(path, stamps);
}
