// The pre-header: the optional buffer in front of a file header that gives the next item's version and a name. The
// name is a Ruvo item, a reference-copy name, a photo-library name, or a name of a hard-link or stub group.
//
// A name longer than the record holds is refused, never cut: a cut name is another file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/StaticUtils.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/stream/HardLinks.h"
#include "clRestore/stream/ReferenceCopyNames.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/files/FileCalls.h"
#include "platform/files/UniqueFd.h"
#include "platform/log/LogWriter.h"
#include "platform/support/ByteOrder.h"
#include "platform/support/FXString.h"
#include "protocol/FsrMessages.h"
#include "protocol/PipelineBuffer.h"

namespace {

constexpr size_t kNameOffset = offsetof(FSRPreHeader, linkName);
const char kResultSuffix[] = " DATA";

void record(FclRestore& job, const std::string& name, unsigned long code) {
    job.HandleRestoreFileUpdate(name.c_str(), static_cast<int>(code), nullptr, kResultSuffix);
}

unsigned long setParamsOptions(const FclRestore& job) {
    return job._setParams != nullptr ? job._setParams->options : 0;
}

// Copies the file at `from` to `to` (both destination paths), replacing what stands at `to`. False with errno.
bool copyFile(const std::string& from, const std::string& to) {
    wzfiles::UniqueFd in(open_utf(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (in.get() < 0) {
        return false;
    }
    struct stat st;
    if (fstat(in.get(), &st) != 0) {
        return false;
    }
    unlink_utf(to.c_str());
    wzfiles::UniqueFd out(
        open_utf(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, st.st_mode & 07777));
    if (out.get() < 0) {
        return false;
    }
    char chunk[65536];
    for (;;) {
        const ssize_t n = read(in.get(), chunk, sizeof chunk);
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(out.get(), chunk + done, static_cast<size_t>(n - done));
            if (w <= 0) {
                return false;
            }
            done += w;
        }
    }
}

void ruvoSyncItem(FclRestore& job, const std::string& name, uint32_t flags) {
    std::vector<std::string> parts;
    FXString::Split(name, "|", parts);
    const char* missing = nullptr;
    if (parts.empty() || parts[0].empty()) {
        missing = "Empty GUID";
    } else if (parts.size() < 2 || parts[1].empty()) {
        missing = "Empty RealPath";
    } else if (parts.size() < 3 || parts[2].empty()) {
        missing = "Empty VTag";
    }
    if (missing != nullptr) {
        FCL_ERROR("Invalid preHdr recieved for Ruvo Sync restore '%s'", missing);
        return;
    }
    job._fclRestoreUnix->SetRuvoSyncObjects(parts[0], parts[1], parts[2], (flags & FSR_PREHDR_SYNC_LAST_FILE) != 0);
}

// False when the name's reference copy does not fit a name: the name then fails.
bool referenceCopyName(FclRestore& job, std::string& name) {
    std::string mapped;
    if (!fclstream::referenceCopyName(job, name, mapped)) {
        return true;
    }
    if (mapped.size() > FSR_PREHDR_NAME_MAX) {
        FCL_ERROR("The reference copy [%s] of [%s] is longer than a name may be; it is not restored", mapped.c_str(),
                  name.c_str());
        return false;
    }
    name = mapped;
    return true;
}

// A further name of the last photo-library image: a copy of the image under a free name. A name that cannot be
// placed, or a copy that was not made, fails as an item of its own.
void iphotoCopy(FclRestore& job, const std::string& name) {
    FclRestoreUNIX& unix = *job._fclRestoreUnix;
    unix._iphotoFileRestore = false;
    std::string destination;
    const std::string destDir =
        job._setParams != nullptr && job._setParams->destDir != nullptr ? job._setParams->destDir : "";
    CQiError error = job.TranslateIphotoPath(destination, name, destDir);
    if (error.IsError()) {
        FCL_LOG(0, "TranslateIphotoPath failed %s", name.c_str());
        record(job, name, fclitem::kNoDestination);
        return;
    }
    const size_t slash = destination.rfind('/');
    std::string parent = slash == std::string::npos ? std::string() : destination.substr(0, slash);
    if (!parent.empty() && access_utf(parent.c_str(), F_OK) != 0 &&
        StaticUtils::createDirsIteratively(&parent[0]) == 0) {
        FCL_ERROR("Create directory failed %s, error %s", parent.c_str(), strerror(errno));
    }
    FCL_LOG(3, "Copy file %s, %s", unix._iphotoPreviousImagePath.c_str(), destination.c_str());
    if (!copyFile(unix._iphotoPreviousImagePath, destination)) {
        FCL_ERROR("WZCopyFile(%s, %s) failed, error='%s'", unix._iphotoPreviousImagePath.c_str(), destination.c_str(),
                  strerror(errno));
        record(job, destination, fclitem::kCreateFailed);
        return;
    }
    record(job, destination, 0);
}

// True when the photo-library step took the pre-header.
bool iphotoName(FclRestore& job, const std::string& name, uint32_t flags) {
    FclRestoreUNIX& unix = *job._fclRestoreUnix;
    std::string modified;
    bool smartContent = false;
    if (!unix.IsIphotoSmartContent(name, modified, smartContent)) {
        return false;
    }
    FCL_LOG(7, "Iphoto preHeader %s, modified linkname %s", name.c_str(), modified.c_str());
    if ((setParamsOptions(job) & FSR_OPT_OUT_OF_PLACE) == 0) {
        FCL_LOG(7, "Ignore Iphoto PreHeader for inplace restore");
        return true;
    }
    unix.IphotoCurrentLinkName = modified;
    if ((flags & FSR_PREHDR_FIRST_NAME) != 0) {
        unix._iphotoFileRestore = true;
        return true;
    }
    iphotoCopy(job, name);
    return true;
}

// A copy of the stub that opened the current group: the stub's restored file copied to the copy's destination.
void stubCopy(FclRestore& job, const std::string& copy) {
    const std::string stub = job.previousName;
    FCL_LOG(3, "A copy '%s' of stub '%s' receieved", copy.c_str(), stub.c_str());
    if (stub.empty()) {
        FCL_ERROR("A copy [%s] of a stub arrived while no stub group is open; it is not restored", copy.c_str());
        record(job, copy, fclitem::kCreateFailed);
        return;
    }
    FclRestoreUNIX& unix = *job._fclRestoreUnix;
    std::string stubDest;
    int code = unix.TranslatePath(job._factory, stub, false, stubDest);
    if (code != 0) {
        FCL_LOG(2, "Failed to translate %s to a destination path, reason_code=%d", stub.c_str(), code);
        record(job, copy, static_cast<unsigned long>(code));
        return;
    }
    std::string copyDest;
    code = unix.TranslatePath(job._factory, copy, false, copyDest);
    if (code != 0) {
        FCL_LOG(2, "Failed to translate %s to destination path, reason_code=%d", copy.c_str(), code);
        record(job, copy, static_cast<unsigned long>(code));
        return;
    }
    struct stat stubSt;
    struct stat copySt;
    if (lstat_utf(stubDest.c_str(), &stubSt) == 0 && lstat_utf(copyDest.c_str(), &copySt) == 0 &&
        stubSt.st_ino == copySt.st_ino && stubSt.st_dev == copySt.st_dev) {
        FCL_LOG(2, "Stub copy [%s][%lu:%lu] already exists on disk, and appears to be linked to [%s][%lu:%lu]",
                copyDest.c_str(), static_cast<unsigned long>(copySt.st_ino), static_cast<unsigned long>(copySt.st_dev),
                stubDest.c_str(), static_cast<unsigned long>(stubSt.st_ino), static_cast<unsigned long>(stubSt.st_dev));
        record(job, copyDest, 0);
        return;
    }
    // What stands at the copy's name is replaced only when the job overwrites whatever it finds.
    FsRestoreObjectsFactory* factory = job._factory;
    const bool keptByOption = factory != nullptr && factory->getDoNotOverwriteOption();
    const bool overwrites = factory != nullptr && (factory->getOptions() & FSR_OPT_OVERWRITE) != 0 && !keptByOption;
    if (!overwrites && lstat_utf(copyDest.c_str(), &copySt) == 0) {
        FCL_LOG(2, "Stub copy [%s] exists and is not overwritten", copyDest.c_str());
        record(job, copyDest, keptByOption ? fclitem::kSkippedNotOverwritten : fclitem::kSkippedExisting);
        return;
    }
    if (!copyFile(stubDest, copyDest)) {
        const int error = errno;
        FCL_ERROR("WZCopyFile(%s, %s) failed, error='%s'", stubDest.c_str(), copyDest.c_str(), strerror(error));
        // A copy that was not made is not restored.
        record(job, copyDest, fclitem::kCreateFailed);
        return;
    }
    record(job, copyDest, 0);
}

}  // namespace

void FclRestore::initializePreHdr(FSRPreHeader* record) {
    memset(record, 0, sizeof *record);
}

void FclRestore::OnBufferPlFsPreHdr(void* buf, FSRPreHeader* preHeader) {
    const auto* bufferHeader = static_cast<const PipelineBufHeader_t*>(buf);
    const size_t held = ntohl(bufferHeader->payloadLength);
    if (held < kNameOffset) {
        FCL_ERROR("A PL_FS_PREHDR buffer of %zu bytes holds no pre-header; it is ignored", held);
        return;
    }
    const unsigned char* payload = PipelineBufPayload(buf);
    uint32_t wireFlags;
    uint32_t wireVersion;
    memcpy(&wireFlags, payload, sizeof wireFlags);
    memcpy(&wireVersion, payload + sizeof wireFlags, sizeof wireVersion);
    const uint32_t flags = ntohl(wireFlags);
    const auto* text = reinterpret_cast<const char*>(payload + kNameOffset);
    std::string name(text, strnlen(text, std::min(held - kNameOffset, FSR_PREHDR_NAME_SIZE)));
    FclRestoreUNIX& unix = *_fclRestoreUnix;

    if (IsRuvoRestore()) {
        std::string path = name;
        std::replace(path.begin(), path.end(), '\\', '/');
        FCL_LOG(4, "PreHdr path [%s] normalized to [%s]", name.c_str(), path.c_str());
        unix._ruvoPath = path;
        return;
    }
    if (unix.IsRuvoSyncRestore()) {
        ruvoSyncItem(*this, name, flags);
        return;
    }
    // A name longer than the record holds is refused, never cut; the version and flags still go with the next item.
    const bool nameFits = referenceCopyName(*this, name) && name.size() <= FSR_PREHDR_NAME_MAX;
    if (nameFits) {
        FCL_LOG(2, "link name [%s]", name.c_str());
        memcpy(preHeader->linkName, name.data(), name.size());
    } else {
        FCL_ERROR("The pre-header's name [%s] is longer than %zu bytes; it is refused", name.c_str(),
                  FSR_PREHDR_NAME_MAX);
    }
    preHeader->version = ntohl(wireVersion);
    preHeader->flags = flags;
    if (_factory == nullptr || (_factory->getOptions() & FSR_OPT_SYNTHETIC_FULL) != 0) {
        return;
    }
    if (nameFits && iphotoName(*this, name, flags)) {
        return;
    }
    if ((flags & FSR_PREHDR_STUB_NO_DATA) != 0) {
        g_bStubWithNoData = true;
        FCL_LOG(5, "Found a stub with no data");
        return;
    }
    if (!nameFits) {
        // A further name of a group or a copy of a stub is an item of its own, and fails here. A first name belongs
        // to the item that follows, whose header records it.
        if ((flags & (FSR_PREHDR_HARD_LINK | FSR_PREHDR_STUB)) != 0 && (flags & FSR_PREHDR_FIRST_NAME) == 0) {
            record(*this, name, fclitem::kPathTooLong);
        }
        return;
    }
    FCL_LOG(3, "Received link name in preheader %s flag:0x%x", name.c_str(), flags);
    if (!name.empty() && name.back() == '/') {
        name.pop_back();
    }
    if ((flags & FSR_PREHDR_FIRST_NAME) != 0 && (flags & (FSR_PREHDR_HARD_LINK | FSR_PREHDR_STUB)) != 0) {
        fclstream::startLinkGroup(*this, name, (flags & FSR_PREHDR_STUB) != 0);
    } else if ((flags & FSR_PREHDR_STUB) != 0) {
        stubCopy(*this, name);
    } else if ((flags & FSR_PREHDR_HARD_LINK) != 0) {
        fclstream::addFurtherLinkName(*this, name);
    }
}
