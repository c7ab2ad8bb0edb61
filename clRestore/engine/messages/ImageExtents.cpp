// Image-level restores, second half: the queued pieces are restored extent by extent into a staging file and copied
// from there into their files; a file that fails is recorded once and passed over by everything after.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/messages/ImageRecords.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/objects/StaticUtils.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/FXLockableResource.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/events/EvEvent.h"
#include "platform/files/FileCalls.h"
#include "platform/files/UniqueFd.h"
#include "platform/files/WholeIo.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/restorefiles/ExtentNameConverter.h"
#include "platform/results/StoreResults.h"
#include "platform/settings/WZPlatformAgents.h"

namespace {

constexpr size_t kCopyBuffer = 32768;
constexpr int kDiskFull = 0x17000046;
constexpr int kExtentFailed = 0x1700003e;
constexpr int kFailedStatus = 3;
constexpr unsigned long long kMissingDataExtent = 101;

std::string stagingName(const std::string& directory, unsigned long long extent) {
    return directory + "/Extent" + std::to_string(extent);
}

std::string convertedStagingName(const std::string& directory, unsigned long long extent) {
    std::string name;
    ExtentNameConverter().GetFilePath(extent, name);
    return directory + "/" + name;
}

void removeStaging(const std::string& directory, unsigned long long extent) {
    if (unlink(stagingName(directory, extent).c_str()) != 0) {
        unlink(convertedStagingName(directory, extent).c_str());
    }
}

int openStaging(const std::string& directory, unsigned long long extent, std::string& path) {
    path = stagingName(directory, extent);
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        path = convertedStagingName(directory, extent);
        fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    }
    return fd;
}

bool archiveIdIsZero(const FSRArchiveId& id) {
    return id.reserved0 == 0 && id.reserved1 == 0 && id.archiveFileId == 0;
}

bool sameExtent(const FSRImgAfileOffsets& a, const FSRImgAfileOffsets& b) {
    return a.archiveId.reserved0 == b.archiveId.reserved0 && a.archiveId.reserved1 == b.archiveId.reserved1 &&
           a.archiveId.archiveFileId == b.archiveId.archiveFileId && a.ExtentNumber == b.ExtentNumber;
}

// Reads exactly `length` bytes: false (errno set, EIO for an early end) when the staging file has fewer.
bool readWhole(int fd, char* buffer, size_t length) {
    const ssize_t got = wzfiles::readFully(fd, buffer, length);
    if (got >= 0 && static_cast<size_t>(got) != length) {
        errno = EIO;
    }
    return got >= 0 && static_cast<size_t>(got) == length;
}

bool writeWhole(int fd, const char* buffer, size_t length) {
    return wzfiles::writeFully(fd, buffer, length) == length;
}

}  // namespace

bool AfileOffsetCompare(FSRImgAfileOffsets* a, FSRImgAfileOffsets* b) {
    if (a->archiveId.archiveFileId != b->archiveId.archiveFileId) {
        return a->archiveId.archiveFileId < b->archiveId.archiveFileId;
    }
    if (a->offsetInAfileId != b->offsetInAfileId) {
        return a->offsetInAfileId < b->offsetInAfileId;
    }
    return a->offsetinFileExtent < b->offsetinFileExtent;
}

void FclRestore::releaseImagePieces() {
    for (FSRImgAfileOffsets* piece : _imgAfileOffsets) {
        image::releasePiece(piece);
    }
    _imgAfileOffsets.clear();
}

void FclRestore::HandleFailure(int err, char* name, unsigned long long frn, unsigned long long size) {
    const char* shown = name != nullptr ? name : "";
    if (err == ENOSPC) {
        // A full disk ends the job as every fatal error does; the file still gets its one failed result.
        const char* machine = _initData != nullptr && _initData->destMachine != nullptr ? _initData->destMachine : "";
        char reason[1024];
        snprintf(reason, sizeof reason,
                 "Restore: Not enough space available for the restore to continue path. Restore to path [%s] cannot "
                 "be done. Please check available disk space on machine [%s].",
                 shown, machine);
        setFailureReason(reason);
        if (_rstJobClientReady != 0 && _rstJobClient != nullptr) {
            *_rstJobClient << shown << machine;
            _rstJobClient->setPendingCause(kDiskFull);
        }
        terminateOnFatalError();
        if (_event != nullptr) {
            *_event << shown << machine;
            _event->CriticalEvent(kDiskFull, 0, 0);
        }
    }
    if (!_failedFRNs.insert(frn).second) {
        return;
    }
    auto_lock lock(_fclRestoreUnix != nullptr ? &_fclRestoreUnix->_resultsLock : nullptr, true);
    const std::string line = restoreOutTranslate(shown);
    if (_results != nullptr && _rawResultsMode == 0) {
        if (_results->setRestoreStatusOnObject(line.c_str(), kFailedStatus, false) != 0) {
            FCL_LOG(0, "Failed to save the restore result");
        }
    } else if (_rawResultsMode != 0 && _rawResultsFile != nullptr) {
        fprintf(_rawResultsFile, "%s\n", (line + "  FAILED").c_str());
        fflush(_rawResultsFile);
    }
    if (_factory != nullptr && (_factory->getOptions() & FSR_OPT_REPORT_PROGRESS) != 0 && _statistics != nullptr) {
        _statistics->setCurrFileSize(size);
        _statistics->fileFailed(size);
        if (_statistics->timeToUpdateByTime()) {
            updateRestoreProgress(0);
        }
    }
}

bool FclRestore::ProcessFailureToRestoreExtentFile(unsigned long archiveFile, unsigned long long offsetInAfileId,
                                                   unsigned long long extentNumber) {
    FCL_LOG(0,
            "Adding to failure list files that were part of the extent number [%lld] whose restore Failed to save the "
            "restore result",
            static_cast<long long>(extentNumber));
    for (FSRImgAfileOffsets* piece : _imgAfileOffsets) {
        if (piece->archiveId.archiveFileId == archiveFile && piece->offsetInAfileId == offsetInAfileId &&
            piece->ExtentNumber == extentNumber) {
            HandleFailure(0, piece->name, piece->FRN, piece->StreamLength);
        }
    }
    return true;
}

bool FclRestore::OnMsgProcessImgAfileOffsetsArray() {
    std::stable_sort(_imgAfileOffsets.begin(), _imgAfileOffsets.end(), AfileOffsetCompare);
    const std::string staging = std::string(_jobResultsDir != nullptr ? _jobResultsDir : "") + "/" +
                                std::to_string(static_cast<unsigned long long>(getJobID()));
    bool result = true;
    struct Release {
        FclRestore& job;
        bool keep = false;
        ~Release() {
            if (!keep) {
                job.releaseImagePieces();
            }
        }
    } release{*this};

    if (_jobResultsDir == nullptr || _jobResultsDir[0] == '\0' || _initData == nullptr) {
        FCL_LOG(0, "WZRestoreFiles::init() failed!");
        for (FSRImgAfileOffsets* piece : _imgAfileOffsets) {
            HandleFailure(0, piece->name, piece->FRN, piece->StreamLength);
        }
        return false;
    }
    if (!_restoreFilesReady) {
        _restoreFiles.setOptions(0x1000);
        std::string host = !_clientNameFromHost.empty() ? _clientNameFromHost : WZPI_Focus::getFocusClientName(true);
        host = host.substr(0, 999);
        if (_restoreFiles.init(host.c_str(), host.c_str(), _initData->subclientName, 1, 0,
                               static_cast<long long>(_initData->jobId), _initData->appNumber, 0x404,
                               _initData->zendrelNumber, _initData->copyPrecedence, "", "") == 1) {
            _restoreFilesReady = true;
        } else {
            FCL_LOG(0, "WZRestoreFiles::init() failed!");
            return false;
        }
    }
    const char* sources[] = {staging.c_str()};
    const char* destinations[] = {"/"};
    int flags[] = {1};
    if (_restoreFiles.setRestoreParameters(sources, 1, destinations, flags, 1, 0x100c) != 1) {
        FCL_LOG(0, "WZRestoreFiles::setRestoreParameters() failed");
        return false;
    }

    const FSRImgAfileOffsets* lastExtent = nullptr;
    bool lastExtentFailed = false;
    for (size_t i = 0; i < _imgAfileOffsets.size(); ++i) {
        if (image::jobKilled(*this)) {
            return false;
        }
        FSRImgAfileOffsets& piece = *_imgAfileOffsets[i];
        const bool data = piece.StreamType == 1;
        if (data && archiveIdIsZero(piece.archiveId)) {
            if (_failedFRNs.count(piece.FRN) == 0 && piece.ExtentNumber == kMissingDataExtent) {
                FCL_LOG(0, "[%s] Error - missing relevant MFT data or backup for file.", piece.name);
                HandleFailure(0, piece.name, piece.FRN, piece.StreamLength);
            }
            continue;
        }
        if (data && (lastExtent == nullptr || !sameExtent(piece, *lastExtent))) {
            if (lastExtent != nullptr) {
                removeStaging(staging, lastExtent->ExtentNumber);
            }
            if (_logImageStreams) {
                FCL_LOG(0, "Frn=%llu extentnum=%llu Archivefileoffset=%llu nodenum=%luver=0x%lx",
                        static_cast<unsigned long long>(piece.FRN), static_cast<unsigned long long>(piece.ExtentNumber),
                        static_cast<unsigned long long>(piece.offsetInAfileId),
                        static_cast<unsigned long>(piece.nodenum), static_cast<unsigned long>(piece.ver));
            }
            ArchiveFileId_t archive;
            archive.words[0] = static_cast<uint32_t>(piece.archiveId.reserved0);
            archive.words[1] = static_cast<uint32_t>(piece.archiveId.reserved1);
            archive.words[2] = static_cast<uint32_t>(piece.archiveId.archiveFileId);
            if (_restoreFiles.restoreFile(archive, piece.offsetInAfileId, piece.nodenum,
                                          static_cast<unsigned long>(piece.ver), nullptr, nullptr, 0) != 1) {
                FCL_LOG(0, "WZRestoreFiles::restoreFile() failed");
                ProcessFailureToRestoreExtentFile(static_cast<unsigned long>(piece.archiveId.archiveFileId),
                                                  piece.offsetInAfileId, piece.ExtentNumber);
                return false;
            }
            if (_logImageStreams) {
                FCL_LOG(0, "WZRestoreFiles::restoreFile() succeeded ");
            }
            lastExtent = &piece;
            const int status = _restoreFiles.WaitForStatusOfExtentFile();
            lastExtentFailed = status == kExtentFailed || status == kDiskFull;
            if (lastExtentFailed) {
                FCL_LOG(0, "WZRestoreFiles::WaitForStatusOfExtentFile() indicates status failed");
                ProcessFailureToRestoreExtentFile(static_cast<unsigned long>(piece.archiveId.archiveFileId),
                                                  piece.offsetInAfileId, piece.ExtentNumber);
                result = false;
            }
            if (status == kDiskFull) {
                HandleFailure(ENOSPC, piece.name, piece.FRN, piece.StreamLength);
                break;
            }
        } else if (data) {
            if (_logImageStreams) {
                FCL_LOG(0, "File pointing to the same extent.skipping to restore");
            }
        }
        // The pieces of a failed extent stay where they are: their files keep what they had.
        if (data && lastExtentFailed) {
            continue;
        }
        const image::AttributeRecord attributes(piece.attributes, piece.attrLength);
        if (!data && _logImageStreams) {
            FCL_LOG(0, " ProcessRestoredExtentFile for non regularfile Frn=%llu",
                    static_cast<unsigned long long>(piece.FRN));
        }
        if (!ProcessRestoredExtentFile(static_cast<unsigned long>(piece.archiveId.archiveFileId), piece.offsetInAfileId,
                                       piece.ExtentNumber, attributes.usable() ? attributes.frn() : piece.FRN,
                                       static_cast<int>(i))) {
            result = false;
            FCL_LOG(0,
                    data ? "ProcessRestoredExtentFile for regular file FRN=%llu failed"
                         : "ProcessRestoredExtentFile for non data file FRN=%llu failed",
                    static_cast<unsigned long long>(piece.FRN));
        }
    }
    if (!_imgAfileOffsets.empty()) {
        removeStaging(staging, _imgAfileOffsets.back()->ExtentNumber);
    }
    if (lastExtent != nullptr) {
        removeStaging(staging, lastExtent->ExtentNumber);
    }
    return result;
}

bool FclRestore::ProcessRestoredExtentFile(unsigned long archiveFile, unsigned long long offsetInAfileId,
                                           unsigned long long extentNumber, unsigned long long frn, int index) {
    if (index < 0 || static_cast<size_t>(index) >= _imgAfileOffsets.size()) {
        return false;
    }
    FSRImgAfileOffsets& piece = *_imgAfileOffsets[static_cast<size_t>(index)];
    const image::AttributeRecord attributes(piece.attributes, piece.attrLength);
    const std::string path = std::string("/") + piece.name;
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    if (!attributes.usable()) {
        // Without its attribute record a piece has no kind and no number to be placed by.
        FCL_LOG(0, "[%s] Error - no attributes for FRN=%llu", path.c_str(), frn);
        HandleFailure(0, piece.name, piece.FRN, piece.StreamLength);
        return false;
    }
    const unsigned int mode = attributes.mode();
    const bool directory = (mode & 0xf000) == 0x4000;
    const bool link = (mode & 0xf000) == 0xa000;
    const std::string staging = std::string(_jobResultsDir != nullptr ? _jobResultsDir : "") + "/" +
                                std::to_string(static_cast<unsigned long long>(getJobID()));

    wzfiles::UniqueFd extent;
    std::string extentPath;
    if (!directory && !(link && attributes.linkTargetInline())) {
        extent.reset(openStaging(staging, extentNumber, extentPath));
        if (!extent.valid()) {
            const int err = errno;
            FCL_LOG(0, "[%s] Error [%d] errorstr=%s during file open restored FRN=%llu", extentPath.c_str(), err,
                    strerror(err), frn);
            ProcessFailureToRestoreExtentFile(archiveFile, offsetInAfileId, extentNumber);
            return false;
        }
        if (_logImageStreams) {
            FCL_LOG(0, " file [%s]  opened succesfully handle=%d FRN=%llu", extentPath.c_str(), extent.get(), frn);
        }
    }
    if (directory) {
        if (_logImageStreams) {
            FCL_LOG(0, "Creating Directory   [%s] ", path.c_str());
        }
        if (StaticUtils::openRestoreDirectory(name.data()) != 1) {
            const int err = errno;
            FCL_LOG(0, "Directory Creation failed for  [%s] error no %d errorstr=%s FRN=%llu", path.c_str(), err,
                    strerror(err), frn);
            HandleFailure(err, piece.name, piece.FRN, piece.StreamLength);
            return false;
        }
        return true;
    }
    FCL_LOG(0, "Creating file   [%s] ", path.c_str());
    errno = 0;

    // What stood at the name before this restore goes; what an earlier piece of this job wrote stays.
    struct stat st {};
    if (lstat_utf(path.c_str(), &st) == 0 &&
        static_cast<long long>(st.st_mtime) < static_cast<long long>(_restoreStartTime)) {
        if (_logImageStreams) {
            FCL_LOG(0, "unlinking file=%s FRN=%llu", path.c_str(), frn);
        }
        if (unlink_utf(path.c_str()) != 0 && _logImageStreams) {
            FCL_LOG(0, "failed to unlink file=%s FRN=%llu", path.c_str(), frn);
        }
    }

    if (link) {
        if (_logImageStreams) {
            FCL_LOG(0, "creating link file   [%s] ", path.c_str());
        }
        std::string target;
        if (attributes.linkTargetInline()) {
            if (!attributes.linkTarget(target)) {
                FCL_LOG(0, "[%s] Error - the link target does not fit its record FRN=%llu", path.c_str(), frn);
                HandleFailure(0, piece.name, piece.FRN, piece.StreamLength);
                return false;
            }
        } else {
            if (_logImageStreams) {
                FCL_LOG(0, "regular link file=%s FRN=%llu goto  restore", path.c_str(), frn);
            }
            std::vector<char> bytes(static_cast<size_t>(std::min<uint64_t>(piece.dataSizeToRestore, kCopyBuffer)));
            const bool fits = piece.dataSizeToRestore > 0 && piece.dataSizeToRestore < PATH_MAX;
            if (!fits || lseek(extent.get(), static_cast<off_t>(piece.offsetinFileExtent), SEEK_SET) < 0 ||
                !readWhole(extent.get(), bytes.data(), bytes.size()) ||
                std::memchr(bytes.data(), '\0', bytes.size()) != nullptr) {
                const int err = fits ? errno : ENAMETOOLONG;
                FCL_LOG(0, "Frn=%llu failed to create link oldpath=%snewpath=%s errno=%d error=%s\n", frn, "",
                        path.c_str(), err, strerror(err));
                HandleFailure(0, piece.name, piece.FRN, piece.StreamLength);
                return false;
            }
            target.assign(bytes.begin(), bytes.end());
        }
        if (symlink_utf(target.c_str(), path.c_str()) != 0) {
            const int err = errno;
            FCL_LOG(0, "failed to create link oldpath=%snewpath=%s errno=%d error=%s FRN=%llu\n", target.c_str(),
                    path.c_str(), err, strerror(err), frn);
            HandleFailure(err, piece.name, piece.FRN, piece.StreamLength);
            return false;
        }
        _imgStartedFRNs.insert(piece.FRN);
        return true;
    }

    int out = -1;
    if (StaticUtils::openImageRestoreFile(name.data(), &out, true) != 1) {
        const int err = errno;
        FCL_LOG(0, "File Creation failed for  [%s] error no %d error=%s FRN=%llu", path.c_str(), err, strerror(err),
                frn);
        HandleFailure(err, piece.name, piece.FRN, piece.StreamLength);
        return false;
    }
    wzfiles::UniqueFd destination(out);
    // A file's first piece starts it afresh: nothing of what stood there survives between the pieces.
    const bool first = _imgStartedFRNs.insert(piece.FRN).second;
    if ((first && ftruncate(destination.get(), 0) != 0) ||
        lseek(destination.get(), static_cast<off_t>(piece.OffsetInFile), SEEK_SET) < 0) {
        const int err = errno;
        FCL_LOG(0, "Failed to seek offset=%llu in file=%s to write data  Error[%d] error=%s FRN=%llu\n",
                static_cast<unsigned long long>(piece.OffsetInFile), path.c_str(), err, strerror(err), frn);
        HandleFailure(err, piece.name, piece.FRN, piece.StreamLength);
        return false;
    }
    if (lseek(extent.get(), static_cast<off_t>(piece.offsetinFileExtent), SEEK_SET) < 0) {
        const int err = errno;
        FCL_LOG(0,
                "Failed to seek in the extentfile to read the file informationhextent=%d offset=%llu filename=%s "
                "Error[%d] error=%s FRN=%llu \n",
                extent.get(), static_cast<unsigned long long>(piece.offsetinFileExtent), path.c_str(), err,
                strerror(err), frn);
        ProcessFailureToRestoreExtentFile(archiveFile, offsetInAfileId, extentNumber);
        return false;
    }
    std::unique_ptr<char[]> buffer(new char[kCopyBuffer]());
    uint64_t left = piece.dataSizeToRestore;
    while (left != 0) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(left, kCopyBuffer));
        if (!readWhole(extent.get(), buffer.get(), chunk)) {
            // Never write what was not read: the file fails rather than getting zeros in place of its data.
            const int err = errno;
            FCL_LOG(0, "FRN=%llu Read from the extent file [%s] failed for [%d] error=%s", frn, extentPath.c_str(),
                    static_cast<int>(chunk), strerror(err));
            HandleFailure(0, piece.name, piece.FRN, piece.StreamLength);
            return false;
        }
        if (!writeWhole(destination.get(), buffer.get(), chunk)) {
            const int err = errno;
            FCL_LOG(0, "FRN=%llu Write to the File  [%s] failed for [%d] error=%s", frn, path.c_str(),
                    static_cast<int>(chunk), strerror(err));
            HandleFailure(err, piece.name, piece.FRN, piece.StreamLength);
            return false;
        }
        left -= chunk;
    }
    return true;
}

bool FclRestore::OnMsgImgRestoreEnd() {
    FCL_LOG(0, "Receive Image file level restore end message.");
    if (_restoreFilesReady) {
        _restoreFiles.SetDoNotUnRegisterJob();
        if (_restoreFiles.finalize(0, 0) != 1) {
            FCL_LOG(0, "WZRestoreFiles::finalize failed.\n");
        }
        _restoreFilesReady = false;
    }
    // Every staging file went with its batch; the directory that held them goes too (left alone unless empty).
    if (_jobResultsDir != nullptr && _jobResultsDir[0] != '\0') {
        rmdir(
            (std::string(_jobResultsDir) + "/" + std::to_string(static_cast<unsigned long long>(getJobID()))).c_str());
    }
    return true;
}
