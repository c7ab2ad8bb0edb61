// The file-header handler: the start of each item of the stream, and the small operations of an item's life around
// it (the close of an item whose end never came, the pre-header hook, dependant paths sent to the FIR).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/stream/ConvertCXFileHeader.h"
#include "clRestore/stream/FileHeaderRules.h"
#include "clRestore/stream/HardLinks.h"
#include "clRestore/stream/HeaderName.h"
#include "clRestore/stream/ItemEnd.h"
#include "clRestore/stream/ReferenceCopyNames.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/archive/CXFileHeaderVersionFix.h"
#include "platform/events/EvDebug.h"
#include "platform/events/EvEvent.h"
#include "platform/files/FileCalls.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/session/wzsDatabuf.h"
#include "platform/support/ByteOrder.h"
#include "protocol/FsrMessages.h"
#include "protocol/PipelineBuffer.h"

namespace {

constexpr unsigned long kCloudConnectionError = 0x1700008a;
using fclitem::kItemFailed;
constexpr int kNoMemoryCause = 0x1c000082;
constexpr uint64_t kRemoveExempt = 0x6000;
const char kPlaceholderPrefix[] = "/__WZHardLink@-@-Files__/";

bool hasPlaceholderName(const CXFileHeader* hdr) {
    return strncmp(hdr->h_filename, kPlaceholderPrefix, sizeof kPlaceholderPrefix - 1) == 0;
}

unsigned long setParamsOptions(const FclRestore& job) {
    return job._setParams != nullptr ? job._setParams->options : 0;
}

// The payload of a PL_FS_HDR buffer, or null when the buffer is too short to hold a whole header.
CXFileHeader* headerPayload(void* buf) {
    const auto* bufferHeader = static_cast<const PipelineBufHeader_t*>(buf);
    if (ntohl(bufferHeader->payloadLength) < CXHDR_SIZE) {
        return nullptr;
    }
    return reinterpret_cast<CXFileHeader*>(PipelineBufPayload(buf));
}

void dropObject(FclRestore& job) {
    delete job._ro;
    job._ro = nullptr;
}

// The item is restored under `name` from here on. One whose new name does not fit the header fails without an
// object: under its old name it would be restored somewhere else.
bool renameItem(FclRestore& job, CXFileHeader* hdr, const std::string& name, bool updateLength, const char* what) {
    if (fclstream::setHeaderName(hdr, name, updateLength)) {
        return true;
    }
    FCL_ERROR("The %s of [%s] does not fit the header (%zu bytes); the item is not restored", what, hdr->h_filename,
              name.size());
    job._factory->setErrCode(fclitem::kPathTooLong);
    return false;
}

// False when the item fails (its code set).
bool applyReferenceCopyPath(FclRestore& job, CXFileHeader* hdr) {
    std::string path;
    return hdr->h_namelen < 2 || !fclstream::referenceCopyName(job, hdr->h_filename, path) ||
           renameItem(job, hdr, path, true, "reference-copy path");
}

// The header steps of a hard-link group. False when the item gets no object at its header (its code set when it
// fails).
bool applyHardLinkNames(FclRestore& job, CXFileHeader* hdr, FSRPreHeader* prehdr) {
    auto group = job.realLinkPathsMap.find(job.previousName);
    if (group == job.realLinkPathsMap.end() || group->second.empty()) {
        if (job._exchangeFlag) {
            FCL_LOG(2, "++++++HLDEBUG RBJ Exchange flag has been set for %s", hdr->h_filename);
            return false;
        }
        if (hasPlaceholderName(hdr)) {
            FCL_LOG(2, "++++++HLDEBUG RBJ Received Phony Name %s", hdr->h_filename);
            job.bDelayOpenObject = true;
            job._savedFileHeader = *hdr;
            job._savedPreHeader = *prehdr;
            return false;
        }
        return true;
    }
    const _HLElementByIndex& primary = group->second.front();
    const bool placeholder = hasPlaceholderName(hdr);
    if (placeholder || (primary.stubGroup && !g_bStubWithNoData) || job._exchangeFlag) {
        if (job._exchangeFlag) {
            FCL_LOG(4, "will copy preHeader name '%s'", primary.name.c_str());
            job._exchangeFlag = false;
        } else if (placeholder) {
            FCL_LOG(2, "++++++HLDEBUG RBI Received Phony Name %s", hdr->h_filename);
        }
        if (!renameItem(job, hdr, primary.name, false, "primary link name")) {
            return false;
        }
        FCL_LOG(2, "++++++HLDEBUG RBI Primary Link Name %s", hdr->h_filename);
        job.bIgnoreOptHeaders = true;
    }
    return true;
}

// A Ruvo sync item is restored only over an older copy; false when it is skipped or fails (its code set).
bool ruvoSyncItemWanted(FclRestore& job, CXFileHeader* hdr) {
    const std::string& path = job._fclRestoreUnix->_ruvoPath;
    if (access_utf(path.c_str(), F_OK) == 0) {
        struct stat st;
        if (lstat_utf(path.c_str(), &st) != 0) {
            FCL_ERROR("Failed to stat [%s], errno=%d, file is skipped from restore", path.c_str(), errno);
            job._factory->setErrCode(fclitem::kCreateFailed);
            return false;
        }
        if (hdr->h_mtime <= static_cast<uint64_t>(st.st_mtime)) {
            FCL_LOG(3, "File [%s] is newer on disk (%ld<=%ld), file is skipped from restore", path.c_str(),
                    static_cast<long>(hdr->h_mtime), static_cast<long>(st.st_mtime));
            job._factory->setErrCode(fclitem::kSkippedExisting);
            return false;
        }
    }
    return renameItem(job, hdr, job._fclRestoreUnix->GenerateRuvoRestoreStagingPath(hdr->h_filename), false,
                      "staging path");
}

// The object's creation and preparation; an item the factory cannot make is left without an object and with its
// code.
void createObject(FclRestore& job, CXFileHeader* hdr, unsigned long version) {
    try {
        job._ro = job._factory->createRestoreObject(hdr, version);
        if (job._ro == nullptr) {
            if (job._factory->getErrCode() == 0) {
                fclstream::noteNoMemory(job);
            }
            return;
        }
        if (!job._factory->getValidateOnlyOption()) {
            job._ro->setArchFileAppType(job._archFileAppType);
            job._ro->setDocRestore(job.m_docRestore);
            if (auto* unixObject = dynamic_cast<FsRestoreUnixObject*>(job._ro)) {
                unixObject->setStubWithNoData(g_bStubWithNoData);
            } else {
                FCL_ERROR("dynamic_cast failed cannot set StubWithNoData=%d with RestoreObject", g_bStubWithNoData);
            }
            FCL_LOG(5, "HDR_NAME=%s, StubWithNoData=%d", hdr->h_filename, g_bStubWithNoData);
        }
    } catch (const ClExceptError& e) {
        if (!job.previousName.empty()) {
            FCL_LOG(0, "Mapping for hard-link file '%s' is not provided. The hard-link group can't be recovered.",
                    hdr->h_filename);
        } else {
            FCL_LOG(2, "++++++HLDEBUG exception creating restore obj for %s", hdr->h_filename);
        }
        job._factory->setErrCode(static_cast<unsigned long>(e.getErrCode()));
        dropObject(job);
    } catch (const std::bad_alloc&) {
        dropObject(job);
        fclstream::noteNoMemory(job);
    } catch (const std::exception& e) {
        // Not the factory's way to refuse an item, but still only this item's failure.
        FCL_ERROR("Creating the restore object for %s failed: %s", hdr->h_filename, e.what());
        job._factory->setErrCode(kItemFailed);
        dropObject(job);
    }
}

void noteFirstHardLinkName(FclRestore& job, CXFileHeader* hdr, FSRPreHeader* prehdr) {
    const uint32_t firstLink = FSR_PREHDR_HARD_LINK | FSR_PREHDR_FIRST_NAME;
    if ((prehdr->flags & firstLink) != firstLink || job._ro == nullptr) {
        return;
    }
    job._hlTranslatedName = job._ro->getTranslatedPathname();
    auto group = job.realLinkPathsMap.find(job.previousName);
    if (group == job.realLinkPathsMap.end() || group->second.empty()) {
        return;
    }
    _HLElementByIndex& primary = group->second.front();
    primary.name = job._hlTranslatedName;
    // Set afresh for this primary: a flag left from another group would have it removed at its group's end.
    job._fclRestoreUnix->_hlinkBaseFile = false;
    primary.tobeoverwritten = IfHLToBeOverWritten(job._hlTranslatedName, hdr->h_mtime, job._factory, job._event,
                                                  job._fclRestoreUnix->_hlinkBaseFile, true);
    primary.mtime = hdr->h_mtime;
    job._savedFileHeader = *hdr;
    job._savedPreHeader = *prehdr;
    FCL_LOG(2, "HLDEBUG RBI Original name: %s Tranlsated Name %s ", hdr->h_filename, job._hlTranslatedName.c_str());
}

void reportOpenFailure(FclRestore& job, const std::string& path) {
    FCL_LOG(1, "openObject() failed for '%s'", path.c_str());
    const unsigned long code = job._factory->getErrCode();
    if (code == fclitem::kDiskFull) {
        job.processDiskFullError();
    } else if (code == kCloudConnectionError) {
        FCL_LOG(0, "openObject() failed for '%s', with cloud connection error", path.c_str());
        if (job._rstJobClient != nullptr) {
            job._rstJobClient->setPendingCause(static_cast<int>(kCloudConnectionError));
        }
        if (job._event != nullptr) {
            job._event->CriticalEvent(static_cast<int>(kCloudConnectionError));
        }
        job.sendMsgToFIR(FSR_MSG_FAILURE);
    }
    // The disk-full stop may have closed and dropped the object already.
    dropObject(job);
}

// Opens the new object, or leaves its open to a later buffer of the item.
void openOrDelay(FclRestore& job, CXFileHeader* hdr, unsigned long version) {
    FsRestoreObject* object = job._ro;
    object->ResetLongPathRestore();
    const bool cacheDbOutOfPlace = job.IsCacheDBRestore() && (setParamsOptions(job) & FSR_OPT_OUT_OF_PLACE) != 0;
    if ((hdr->h_flags2 & CXHDR_F2_LONG_PATH) != 0 || cacheDbOutOfPlace || job.IsContentIndexingRestore()) {
        FCL_LOG(4,
                "'%s' from CXFileHeader seems to be a long path name OR Cache DB Or it is a CI restore job. Will delay "
                "open.",
                hdr->h_filename);
        job._delayOpen = true;
        job._savedFileHeader = *hdr;
        job._delayOpenVersion = static_cast<int>(version);
        return;
    }
    if (job._fclRestoreUnix->IsDisableACLPassthroughFeatureConfigured()) {
        FCL_LOG(4, "ACL Passthrough is configured. Will delay open based on ACLs set on the file : %s",
                hdr->h_filename);
        job._openAwaitsOptHdr = true;
    } else if (object->openObject() == 0) {
        reportOpenFailure(job, object->getTranslatedPathname());
    }
    job.SetIphotoFileRestore(false);
    if (job.getAppType() == fclapps::kPostgresAppType && job._ro != nullptr &&
        (job._factory->getOptions() & FSR_OPT_PG_LOG_RESTORE) != 0) {
        job._fclRestoreUnix->_restoredLogFiles.push_back(job._ro->getTranslatedPathname());
    }
}

// Whether the header's size is exactly the data and holes that follow: for a plain file or a symbolic link, from
// whatever platform. Extents, Apple items and stubs carry sizes of their own kinds; a Windows item's backup stream
// comes as a device item, whose object holds the main data it writes to the size.
bool sizeIsChecked(const FclRestore& job, const CXFileHeader& hdr) {
    const uint64_t type = hdr.h_mode & S_IFMT;
    return (type == S_IFREG || type == S_IFLNK) && hdr.h_isHfs == 0 &&
           (hdr.h_flags2 & (CXHDR_F2_CONTAINER | CXHDR_F2_EXTENT)) == 0 && !g_bStubWithNoData &&
           isUnixFileSystemAppType(job.getAppType());
}

void noteExtentItem(FclRestore& job, CXFileHeader* hdr) {
    if ((hdr->h_flags2 & (CXHDR_F2_CONTAINER | CXHDR_F2_EXTENT)) == 0) {
        return;
    }
    FclRestoreUNIX& unix = *job._fclRestoreUnix;
    unix.setEBLongRealPath(hdr->h_filename);
    auto* factory = dynamic_cast<FsRestoreUnixObjectsFactory*>(job._factory);
    if (factory != nullptr && factory->isWindowsCrossRestore(hdr->h_platform)) {
        try {
            std::string converted;
            factory->convertWindowsPathToUnixPath(hdr->h_filename, converted);
            unix.setEBLongRealPath(converted);
        } catch (const ClExceptError& e) {
            FCL_ERROR("The real path of extent item %s cannot be converted", hdr->h_filename);
            job._factory->setErrCode(static_cast<unsigned long>(e.getErrCode()));
            dropObject(job);
        }
    }
    job._savedFileHeader = *hdr;
}

}  // namespace

void FclRestore::OnBufferPlFsHdr(void* buf, CXFileHeader* hdr, FSRPreHeader* prehdr) {
    SetSkipAddtoRestoreStatus(false);
    // Closed before anything can end the handler early: a skipped item must not leave the previous item's object
    // open for its own data, nor its hard-link or delayed-open state for this item's buffers.
    fclstream::endLinkItemCutShort(*this);
    ProcessMissingEOF();
    _delayOpen = false;
    _delayedObjectOpened = false;
    _openAwaitsOptHdr = false;
    free(_savedOptHdr);
    _savedOptHdr = nullptr;
    _savedOptHdrLen = 0;
    // Set for a group's primary by its own header below, and held until that item's end.
    _fclRestoreUnix->_hlinkBaseFile = false;
    _currFileSize = 0;
    _currFileCompSize = 0;
    _itemSizeExpected = kSizeUnchecked;
    ++_CXHeaderCount;
    _itemDataError = 0;

    if (_factory == nullptr) {
        FCL_ERROR("A file header arrived before the job's restore objects factory exists; the item is not restored");
        return;
    }
    if ((IsRuvoSyncRestore() || IsRuvoRestore()) && _fclRestoreUnix->EmptyRuvoSyncRestoreObjects()) {
        FCL_ERROR("Ruvo %s Restore did not recieve valid preHdr with all required fields",
                  IsRuvoSyncRestore() ? "sync" : "");
        _factory->setErrCode(kItemFailed);
        return;
    }
    CXFileHeader* payload = headerPayload(buf);
    if (payload == nullptr) {
        FCL_ERROR("A PL_FS_HDR buffer is shorter than a file header; the item is not restored");
        std::memset(static_cast<void*>(hdr), 0, sizeof *hdr);
        _factory->setErrCode(kItemFailed);
        return;
    }
    const bool nameEnds = std::memchr(payload->h_filename, '\0', CXHDR_NAME_SIZE) != nullptr;
    ConvertCXFileHeaderFromNetOrder(payload, hdr);
    if (!nameEnds) {
        // The name fills its field without an end: whatever it was meant to be, cutting it would name another item.
        FCL_ERROR("A file header's name fills all %zu bytes of its field without an end; the item [%s...] is refused",
                  CXHDR_NAME_SIZE, hdr->h_filename);
        _factory->setErrCode(fclitem::kPathTooLong);
        return;
    }
    if (hdr->h_filename[0] == '\0') {
        // No name names nothing: taken as the destination itself, it would act on the destination's root.
        FCL_ERROR("A file header without a name; the item is refused");
        _factory->setErrCode(fclitem::kNoDestination);
        return;
    }

    const unsigned long ruleCode = fclstream::applyFileHeaderRules(*this, hdr);
    if (ruleCode != 0) {
        _factory->setErrCode(ruleCode);
        return;
    }
    if ((hdr->h_flags & CXHDR_F_EXCHANGE_MASK) == CXHDR_F_EXCHANGE_MASK) {
        _exchangeFlag = true;
        FCL_LOG(2, "+++1111111+++HLDEBUG RBJ Exchange flag has been set for %s", hdr->h_filename);
    }
    CXFileHeaderVersionFix(hdr);

    _removeFileOnError = (hdr->h_mode & kRemoveExempt) == 0 && !_factory->getValidateOnlyOption();
    _factory->setErrCode(0);
    const unsigned long version = (prehdr->flags & FSR_PREHDR_HAS_VERSION) != 0 ? prehdr->version : 0;
    if (_CXHeaderCount > 1) {
        fclstream::closeOutLinkGroup(*this, true);
        _CXHeaderCount = 1;
    }
    if (!applyReferenceCopyPath(*this, hdr)) {
        return;
    }
    bIgnoreOptHeaders = false;
    if (!applyHardLinkNames(*this, hdr, prehdr)) {
        return;
    }

    const unsigned long options = _factory->getOptions();
    if ((options & FSR_OPT_REPORT_PROGRESS) != 0 && (options & FSR_OPT_NO_RESTORE_ITEM) == 0 &&
        _restoreItem != nullptr) {
        sendRestoreItem(hdr);
        if (_statistics != nullptr &&
            ((_statistics->getNumFiles() == 0 && _throttleProgress == 0) || _statistics->timeToUpdateByTime())) {
            updateRestoreProgress(false);
        }
    }
    if (IsRuvoSyncRestore() && !ruvoSyncItemWanted(*this, hdr)) {
        return;
    }
    if (IsRuvoRestore() && !renameItem(*this, hdr, _fclRestoreUnix->_ruvoPath, false, "Ruvo path")) {
        return;
    }

    createObject(*this, hdr, version);
    noteFirstHardLinkName(*this, hdr, prehdr);
    if (_ro != nullptr) {
        openOrDelay(*this, hdr, version);
    }
    noteExtentItem(*this, hdr);
    if (sizeIsChecked(*this, *hdr)) {
        _itemSizeExpected = hdr->h_size;
    }
}

void fclstream::noteNoMemory(FclRestore& job) {
    job._factory->setErrCode(fclitem::kNoMemory);
    if (job._event != nullptr) {
        job._event->MajorEvent(fclitem::kNoMemory);
    }
    FCL_ERROR("Operator new could not alloc memory for FsRestoreObject object");
    job.setFailureReason("Restore: Insufficient memory for process execution.");
    if (job._rstJobClientReady != 0 && job._rstJobClient != nullptr) {
        job._rstJobClient->setPendingCause(kNoMemoryCause);
    }
}

void FclRestore::ProcessMissingEOF() {
    if (getAppType() == fclapps::kVirtualServerAppType && (setParamsOptions(*this) & FSR_OPT_SYNTHETIC_FULL) == 0) {
        return;
    }
    if (_factory == nullptr || _ro == nullptr) {
        return;
    }
    EvDebug::Debug(_event, __PRETTY_FUNCTION__, "Missing EOF for %s. Closing...", _ro->getTranslatedPathname().c_str());
    // Without its end and short of its size, what was written is only part of the item.
    fclstream::failIfShortOfItsSize(*this);
    if (_itemDataError != 0) {
        // Its data had failed: closed as failed and recorded, so that the failure does not vanish with the end.
        fclstream::closeCurrentObject(*this, nullptr, true);
        _itemDataError = 0;
        return;
    }
    _ro->closeObject();
    dropObject(*this);
}

void FclRestore::ProcessPlFsPreHdr(FSRPreHeader*, CXFileHeader*) {}

bool FclRestore::sendSrcPathToFIR(char* path) {
    FSRSrcPath record;
    record.index = 0;
    record.stripLevel = 0;
    record.path = path;
    wzsDatabuf payload;
    payload.len = sizeof record;
    payload.buf = reinterpret_cast<char*>(&record);
    return sendMsgToFIR(FSR_MSG_SRC_PATH, &payload) == 1;
}

bool FclRestore::DependantPathAlreadySentToFIR(const char* path) {
    for (const std::string& sent : _dependantPathsSent) {
        if (strcasecmp(sent.c_str(), path) == 0) {
            return true;
        }
    }
    return false;
}
