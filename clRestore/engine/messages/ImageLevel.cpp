// Image-level restores: the FIR sends, per file, where its pieces lie in the extents of the archive files, then its
// attributes and its final result. This side queues the pieces, applies the attributes and records the results.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/messages/ImageRecords.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/files/FileCalls.h"
#include "platform/files/NoFollowTimes.h"
#include "platform/files/UniqueFd.h"
#include "platform/log/LogWriter.h"

namespace {

constexpr size_t kImageNameBuffer = 2048;
constexpr size_t kInPlaceNameLimit = 1024;
constexpr uint32_t kAclMarker = 0xffee;

// Whether `path` has a ".." component: no name sent by the FIR may climb out of where it is put.
bool climbs(const std::string& path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        end = end == std::string::npos ? path.size() : end;
        if (path.compare(start, end - start, "..") == 0 && end - start == 2) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// Times without following a final link, as a link item's own times are set.
int setTimesNoFollow(const std::string& path, time_t atime, time_t mtime) {
    const timespec stamps[2] = {{atime, 0}, {mtime, 0}};
    return wzfiles::setTimesNoFollow(path, stamps);
}

// Replaces an existing label of the item itself, never of what a final link names.
int replaceLabel(const std::string& path, const std::string& label) {
    wzfiles::UniqueFd held(open_utf(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!held.valid()) {
        return -1;
    }
    const std::string proc = "/proc/self/fd/" + std::to_string(held.get());
    return setxattr(proc.c_str(), "security.selinux", label.data(), label.size(), XATTR_REPLACE);
}

}  // namespace

bool image::jobKilled(FclRestore& job) {
    if (job._fatalError != 0 || job._stopReceived != 0) {
        FCL_LOG(0, "Quitting restore. Job should have been killed");
        return true;
    }
    return false;
}

bool FclRestore::OnMsgImgInit(FSRImgInit* rec) {
    if (rec == nullptr) {
        return true;
    }
    FCL_LOG(0, "Received Cluster size [%ld], Sector size [%d], Total number of files [%lld] for Image level vornak ",
            static_cast<long>(rec->clusterSize), rec->sectorSize == 0 ? 512 : rec->sectorSize,
            static_cast<long long>(rec->totalFiles));
    _imgClusterSize = static_cast<unsigned long long>(rec->clusterSize);
    _imgSectorSize = static_cast<unsigned long long>(rec->sectorSize == 0 ? 512 : rec->sectorSize);
    _imgTotalFiles = static_cast<unsigned long long>(rec->totalFiles);
    _failedFRNs.clear();
    _skippedFRNs.clear();
    _toRestoreFRNs.clear();
    _reportedFRNs.clear();
    _imgStartedFRNs.clear();

    // The file system's clock, read from a marker of this job's own: a name no one else can have put a link at.
    _restoreStartTime = static_cast<unsigned long long>(time(nullptr));
    if (_jobResultsDir == nullptr || _jobResultsDir[0] == '\0') {
        FCL_LOG(0, "failed to create file %s", "startrestoretime: no job results directory");
        return true;
    }
    std::string marker;
    wzfiles::UniqueFd fd;
    for (int attempt = 0; attempt < 16 && !fd.valid(); ++attempt) {
        marker = std::string(_jobResultsDir) + "/startrestoretime." + std::to_string(getpid()) + "." +
                 std::to_string(static_cast<unsigned long long>(clock())) + "." + std::to_string(attempt);
        fd.reset(::open(marker.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_DSYNC | O_CLOEXEC, 0600));
        if (!fd.valid() && errno != EEXIST) {
            break;
        }
    }
    if (!fd.valid()) {
        FCL_LOG(0, "failed to create file %s", marker.c_str());
        return true;
    }
    struct stat st {};
    if (fstat(fd.get(), &st) != 0) {
        FCL_LOG(0, "failed to stat file %s", marker.c_str());
    } else {
        _restoreStartTime = static_cast<unsigned long long>(st.st_mtime);
        FCL_LOG(0, " got restoremodtime=%lu", static_cast<unsigned long>(_restoreStartTime));
    }
    fd.reset();
    if (unlink(marker.c_str()) != 0) {
        FCL_LOG(0, "failed to unlink temporary file %s", marker.c_str());
    }
    return true;
}

bool FclRestore::CheckAndProcessNotInPlaceFiles(unsigned long long frn, char* name, char* out, unsigned int mode) {
    if (_failedFRNs.count(frn) != 0) {
        return false;
    }
    out[0] = '\0';
    const std::string source = name != nullptr ? name : "";
    std::string translated = source;
    const unsigned long options = _factory != nullptr ? _factory->getOptions() : 0;
    if ((options & FSR_OPT_OUT_OF_PLACE) != 0 && _factory != nullptr) {
        CXFileHeader header;
        const unsigned short kind = (mode & 0xf000) == 0x4000 ? 0x4000 : 0x8000;
        header.h_mode = kind;
        try {
            translated.clear();
            _factory->translatePathname(translated, source, &header, kind);
        } catch (const ClExceptError& error) {
            FCL_LOG(0, "Cannot translate [%s]: error 0x%x", source.c_str(), error.getErrCode());
            translated.clear();
        }
        if (_logImageStreams) {
            FCL_LOG(0, "After translate path name for [%s]  the name is [%s]", source.c_str(), translated.c_str());
        }
    }
    // The byte 0x12 stands for '/' in image names: turned in the name as translated, so a strip level or a
    // destination counts such a name as one component. Only then is it checked, so a climb it spells is refused.
    for (char& c : translated) {
        c = c == '\x12' ? '/' : c;
    }
    const size_t limit = (options & FSR_OPT_OUT_OF_PLACE) != 0 ? kImageNameBuffer : kInPlaceNameLimit;
    if (source.empty() || translated.empty() || translated.size() >= limit || climbs(translated)) {
        // A name that cannot be placed whole fails its file rather than landing somewhere else.
        FCL_LOG(0, "[%s] Error - the name cannot be restored", source.c_str());
        std::vector<char> shown(source.begin(), source.end());
        shown.push_back('\0');
        HandleFailure(0, shown.data(), frn, 0);
        return false;
    }
    std::memcpy(out, translated.c_str(), translated.size() + 1);
    return true;
}

bool FclRestore::CheckIfFileIsToBeRestored(unsigned long long frn, char* name, unsigned long long modTime) {
    if (_toRestoreFRNs.count(frn) != 0) {
        return true;
    }
    struct stat st {};
    if (lstat_utf(name, &st) != 0) {
        return true;
    }
    const unsigned long long mtime = static_cast<unsigned long long>(st.st_mtime);
    if (mtime < modTime) {
        FCL_LOG(0, "Restoring file=%s FRN=%llu mtime=%llu modTime=%llu", name, frn, mtime, modTime);
        return true;
    }
    FCL_LOG(0, "skipping file=%s FRN=%llu mtime=%llu modTime=%llu", name, frn, mtime, modTime);
    return false;
}

namespace {

// Records a file left alone because its copy on disk is not older, once.
void recordSkipped(FclRestore& job, unsigned long long frn, const char* name) {
    job._skippedFRNs.insert(frn);
    job.UpdateStatistics(name, static_cast<int>(fclitem::kSkippedExisting), 0, 0, nullptr);
}

}  // namespace

bool FclRestore::OnMsgImgAfileOffsetsArray(FSRImgAfileOffsetsArray* rec) {
    if (rec == nullptr || rec->entries == nullptr) {
        return true;
    }
    std::vector<char> buffer(kImageNameBuffer, '\0');
    const bool overwrite = _factory != nullptr && (_factory->getOptions() & FSR_OPT_OVERWRITE) != 0;
    for (int32_t i = 0; i < rec->count; ++i) {
        if (image::jobKilled(*this)) {
            return false;
        }
        FSRImgAfileOffsets& piece = rec->entries[i];
        if (!CheckAndProcessNotInPlaceFiles(piece.FRN, piece.name, buffer.data(), piece.mode)) {
            continue;
        }
        if (!overwrite) {
            if (_skippedFRNs.count(piece.FRN) != 0) {
                continue;
            }
            if (!CheckIfFileIsToBeRestored(piece.FRN, buffer.data(), piece.modTime)) {
                recordSkipped(*this, piece.FRN, buffer[0] != '\0' ? buffer.data() : piece.name);
                continue;
            }
            _toRestoreFRNs.insert(piece.FRN);
        }
        FSRImgAfileOffsets* copy = image::copyPiece(piece, buffer.data());
        if (_logImageStreams) {
            FCL_LOG(0,
                    "Offset Array recd is for [%s] - FRN [%llu],  OffsetInFile = %llu"
                    "offsetInAfileId = %llu, offsetinFileExtent = %llu, dataSizeToRestore = %llu,ExtentNumber = %llu",
                    copy->name, static_cast<unsigned long long>(copy->FRN),
                    static_cast<unsigned long long>(copy->OffsetInFile),
                    static_cast<unsigned long long>(copy->offsetInAfileId),
                    static_cast<unsigned long long>(copy->offsetinFileExtent),
                    static_cast<unsigned long long>(copy->dataSizeToRestore),
                    static_cast<unsigned long long>(copy->ExtentNumber));
            FCL_LOG(0,
                    "archiveId {%ld - %ld - %ld} nodenum = %ld, ver = %ld StreamType = 0x%x, StreamName length = %d "
                    "StreamLength = %lld",
                    static_cast<long>(copy->archiveId.archiveFileId), static_cast<long>(copy->archiveId.reserved0),
                    static_cast<long>(copy->archiveId.reserved1), static_cast<long>(copy->nodenum),
                    static_cast<long>(copy->ver), copy->StreamType, static_cast<int>(copy->attrLength),
                    static_cast<long long>(copy->StreamLength));
        }
        _imgAfileOffsets.push_back(copy);
    }
    return true;
}

bool FclRestore::OnMsgImgWinStreamsArray(FSRImgWinStreamsArray* rec) {
    if (rec == nullptr || rec->entries == nullptr) {
        return true;
    }
    std::vector<char> buffer(kImageNameBuffer, '\0');
    const bool overwrite = _factory != nullptr && (_factory->getOptions() & FSR_OPT_OVERWRITE) != 0;
    for (int32_t i = 0; i < rec->count; ++i) {
        if (image::jobKilled(*this)) {
            return false;
        }
        FSRImgWinStreams& entry = rec->entries[i];
        if (_logImageStreams) {
            FCL_LOG(0, "Image Array recd is for [%s] and attribs are [%d] the backupwrite stream length is [%d] ",
                    entry.name != nullptr ? entry.name : "", static_cast<int>(entry.attributes),
                    static_cast<int>(entry.streamLength));
        }
        if (!CheckAndProcessNotInPlaceFiles(entry.FRN, entry.name, buffer.data(), entry.attributes)) {
            continue;
        }
        const std::string path = std::string("/") + buffer.data();
        if (entry.attributes == kAclMarker && entry.modTime == kAclMarker) {
            std::string command;
            std::vector<image::AclEntry> entries;
            if (image::interpret_acl(reinterpret_cast<char*>(entry.stream), static_cast<int>(entry.streamLength),
                                     command) > 0 &&
                image::readExt3Acl(entry.stream, static_cast<int>(entry.streamLength), entries) > 0) {
                const int error = image::mergeAcl(path, entries);
                if (error != 0) {
                    FCL_LOG(0, "failed to set acl of file=%s errno=%d \n", (command + " " + path).c_str(), error);
                }
            }
            continue;
        }
        if (!overwrite) {
            if (_skippedFRNs.count(entry.FRN) != 0) {
                continue;
            }
            if (!CheckIfFileIsToBeRestored(entry.FRN, buffer.data(), entry.modTime)) {
                recordSkipped(*this, entry.FRN, buffer.data());
                continue;
            }
        }
        const image::AttributeRecord attributes(entry.stream, entry.streamLength);
        if (_failedFRNs.count(entry.FRN) != 0 || !attributes.usable()) {
            continue;
        }
        struct stat st {};
        const bool isLink = lstat_utf(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
        if (lchown_utf(path.c_str(), attributes.uid(), attributes.gid()) != 0) {
            FCL_LOG(0, "failed to chown for file=%s errno=%d \n", path.c_str(), errno);
        }
        // A link has no mode of its own to set, and a chmod through it would change what it names.
        if (!isLink && lchmod_utf(path.c_str(), attributes.mode() & 07777) != 0) {
            FCL_LOG(0, "failed to chmod for file=%s errno=%d \n", path.c_str(), errno);
        }
        if (setTimesNoFollow(path, attributes.atime(), attributes.mtime()) != 0) {
            FCL_LOG(0, "failed to set utime for file=%s errno=%d \n", path.c_str(), errno);
        }
        std::string label;
        if (attributes.label(label) && label.size() > 1 && replaceLabel(path, label) != 0) {
            FCL_LOG(0, "failed to set SELinuxLabel for file=%s label=%s errno=%d \n", path.c_str(), label.c_str(),
                    errno);
        }
    }
    return true;
}

bool FclRestore::OnMsgImgTimesArray(FSRImgTimesArray* rec) {
    if (_fatalError != 0 || _stopReceived != 0) {
        return false;
    }
    if (rec == nullptr || rec->entries == nullptr) {
        return true;
    }
    std::vector<char> buffer(kImageNameBuffer, '\0');
    const bool overwrite = _factory != nullptr && (_factory->getOptions() & FSR_OPT_OVERWRITE) != 0;
    for (int32_t i = 0; i < rec->count; ++i) {
        if (image::jobKilled(*this)) {
            return false;
        }
        FSRImgTimes& entry = rec->entries[i];
        if (_logImageStreams) {
            FCL_LOG(0, "Time Array recd is for [%s] ", entry.name != nullptr ? entry.name : "");
        }
        if (!CheckAndProcessNotInPlaceFiles(entry.FRN, entry.name, buffer.data(), entry.mode)) {
            continue;
        }
        if (!overwrite && _skippedFRNs.count(entry.FRN) != 0) {
            continue;
        }
        const std::string path = std::string("/") + buffer.data();
        struct stat st {};
        const bool exists = lstat_utf(path.c_str(), &st) == 0;
        const int err = errno;
        if (!_reportedFRNs.insert(entry.FRN).second) {
            continue;
        }
        if (!exists) {
            // Nothing stands at the name: the file was not restored, whatever came before, and is not reported as
            // if it had been.
            FCL_LOG(0, "stat failed for File [%s]  error no %d", path.c_str(), err);
            HandleFailure(0, buffer.data(), entry.FRN, 0);
            continue;
        }
        const unsigned long long size = entry.fileSize;
        FCL_LOG(0, "FRN=%llu \t filesize=%llu \n", static_cast<unsigned long long>(entry.FRN), size);
        UpdateStatistics(buffer.data(), 0, size, size, nullptr);
    }
    return true;
}

bool FclRestore::OnMsgEndImgAfileOffsetsArray() {
    FCL_LOG(0, "Image archive file restore completed");
    return true;
}
