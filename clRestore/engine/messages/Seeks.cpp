// Seek forwarding: plain seeks go to the restore head inside the seek window; the version-10 forms are batched for
// proxy-client destinations or converted to plain seeks after the per-item decisions. The reader widens the window
// at each probe reply (stream/FlowControl.cpp).
#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/messages/SeekSteps.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/seek/SeekDecision.h"
#include "platform/session/wzsDatabuf.h"

namespace {

constexpr int kErrNoMemory = 0x1700000b;

const char* orUnavailable(const char* text) {
    return text != nullptr ? text : "unavailable";
}

// Out of memory while seeks are handled: the job cannot go on.
bool failWithoutMemory(FclRestore& job, const char* line) {
    FCL_LOG(0, "%s", line);
    if (job._rstJobClientReady != 0) {
        job._rstJobClient->setPendingCause(kErrNoMemory);
    }
    job.terminateOnFatalError();
    return false;
}

// A held record's link name: the element's, then "?" and its sixth word; null without one.
char* heldLinkName(const char* linkName, unsigned long long sixthWord) {
    if (linkName == nullptr) {
        return nullptr;
    }
    std::string text = linkName + std::string("?") + std::to_string(sixthWord);
    return strdup(text.c_str());
}

// Proxy-client destinations: elements are held in the companion's batch and sent sixteen at a time.
template <class ARRAY>
bool batchSeeks(FclRestore& job, ARRAY* rec) {
    if (job._archive != nullptr && !job._archive->isWZArchive()) {
        return fclseek::forwardToRestoreHead(job, FSR_MSG_SEEK_TO_OFFSET_10, rec, sizeof *rec);
    }
    FclRestoreUNIX& unix = *job._fclRestoreUnix;
    FSRSeekArchiveArray& batch = unix._seekBatch;
    if (batch.entries == nullptr) {
        return failWithoutMemory(job, "Not enough memory available while processing the seek offset message (10).");
    }
    // The batch's records were made for kSeekBatchCapacity seeks and the spare: a larger capacity would overrun them.
    const unsigned int capacity = static_cast<unsigned int>(
        std::max(1, std::min(unix._seekBatchCapacity, static_cast<int>(FclRestoreUNIX::kSeekBatchCapacity))));
    for (uint32_t i = 0; i < rec->count; ++i) {
        const auto& element = rec->entries[i];
        FSRSeekArchive& slot = batch.entries[batch.count];
        slot.offset = element.offset;
        slot.secondPosition = element.secondPosition;
        slot.version = element.version;
        slot.flags = element.flags;
        slot.linkName = heldLinkName(element.linkName, element.sixthWord);
        FCL_LOG(3, "Processing offset [%llu:%04llX:%s] seekBuffer_len:%u", static_cast<unsigned long long>(slot.offset),
                static_cast<unsigned long long>(slot.flags), slot.linkName != nullptr ? slot.linkName : "NULL",
                batch.count);
        if (batch.count > 0) {
            FSRSeekArchive& last = batch.entries[batch.count - 1];
            if (last.offset == slot.offset) {
                last.flags |= SEEK_ARCHIVE_PRE_HDR_HOLD;
                FCL_LOG(3, "Adding SEEK_ARCHIVE_PRE_HDR_HOLD flag. [%llu:%04llX:%s]",
                        static_cast<unsigned long long>(last.offset), static_cast<unsigned long long>(last.flags),
                        last.linkName != nullptr ? last.linkName : "NULL");
            }
        }
        if (batch.count == capacity) {
            FCL_LOG(3, "Sending %u seek messages to MA", batch.count);
            // Held seeks that the restart skip refuses lie below the restart point: they are dropped like any
            // skipped seek, never offered again.
            job.OnMsgSeekToOffset(&batch);
            FSRSeekArchive waiting = batch.entries[capacity];
            batch.entries[capacity] = FSRSeekArchive();
            fclseek::emptySeekBatch(batch);
            batch.entries[0] = waiting;
        }
        batch.count += 1;
    }
    return true;
}

// Items recorded here are never restored: extents where they cannot be restored, deletions of a synchronised
// restore, and incomplete photo-library paths. True when the element was settled so.
template <class ELEMENT>
bool settledWithoutRestore(FclRestore& job, const ELEMENT& element) {
    const bool extent = (element.flags & (SEEK_ARCHIVE_HAS_EXTENTS | SEEK_ARCHIVE_EXTENT_ITEM)) != 0;
    const bool validateOnly = job._factory != nullptr && job._factory->getValidateOnlyOption();
    const bool cloud = job.IsCloudRestore();
    const char* path = element.path != nullptr ? element.path : "";
    if (extent && (validateOnly || cloud)) {
        const int status = cloud ? 0x1700003e : 0x17000094;
        if (cloud) {
            FCL_LOG(0, "Files backed up as extents cannot be currently restored to cloud. skipping[%s]", path);
        }
        if ((element.flags & SEEK_ARCHIVE_HAS_EXTENTS) != 0) {
            job.UpdateStatistics(path, status, element.size, 0, nullptr);
        } else {
            job.SetSkipAddtoRestoreStatus(true);
            if (job._statistics != nullptr) {
                job._statistics->setCurrFileSize(element.size);
                job._statistics->setCurrFileCompSize(0);
                job.HandleRestoreFileUpdate(path, status, nullptr, "Extent");
            }
            job.SetSkipAddtoRestoreStatus(false);
        }
        return true;
    }
    FclRestoreUNIX& unix = *job._fclRestoreUnix;
    if (element.path != nullptr && !unix._cacheDbRestore && element.path[0] == '/' && element.path[1] == '%' &&
        strlen(element.path) > 11 && strncasecmp(element.path, "/%CACHEDB%/", 11) == 0) {
        unix._cacheDbRestore = true;
        FCL_LOG(0, "Found CACHEDB MONIKER in seek Path, this IS PARTIAL Cache DB Restore");
    }
    const std::string name = path[0] == '\\' ? path + 1 : path;
    if (unix.IsSyncRestore() && job._seekDecision != nullptr && (element.flags & SEEK_ARCHIVE_DELETED_ITEM) != 0) {
        job._seekDecision->RecordDeletedItem(element.path, element.flags);
        job.UpdateStatistics(name.c_str(), job._seekDecision->GetLastStatus(), element.size, 0, nullptr);
        return true;
    }
    std::string mapped;
    bool deep = false;
    if (element.path != nullptr && unix.IsIphotoSmartContent(element.path, mapped, deep) && !deep) {
        job.UpdateStatistics(name.c_str(), 0x17000076, element.size, 0, nullptr);
        return true;
    }
    return false;
}

template <class ARRAY>
bool convertSeeks(FclRestore& job, ARRAY* rec) {
    std::unique_ptr<FSRSeekArchive[]> plain(new (std::nothrow) FSRSeekArchive[rec->count]);
    if (!plain) {
        return failWithoutMemory(job, "Not enough memory available while processing the seek offset message (10).");
    }
    uint32_t kept = 0;
    for (uint32_t i = 0; i < rec->count; ++i) {
        auto& element = rec->entries[i];
        FCL_LOG(3, "Processing seek message (offset, flags, ver, path, linkname) [%llu:%04llX:%lu:%s:%s]",
                static_cast<unsigned long long>(element.offset), static_cast<unsigned long long>(element.flags),
                static_cast<unsigned long>(element.version), orUnavailable(element.path),
                orUnavailable(element.linkName));
        job.SetSkipAddtoRestoreStatus(false);
        if (settledWithoutRestore(job, element) || !job.MakeSeekOptimizationDecision(&element)) {
            continue;
        }
        FSRSeekArchive& seek = plain[kept++];
        seek.offset = element.offset;
        seek.secondPosition = element.secondPosition;
        seek.version = element.version;
        seek.linkName = element.linkName;
        seek.flags = element.flags;
    }
    if (kept == 0) {
        FCL_LOG(1, "Nothing needs to be restored, per the seek message.");
        return true;
    }
    FCL_LOG(5, "converted %d to FSR_MSG_SEEK_TO_OFFSET", static_cast<int>(kept));
    FSRSeekArchiveArray array;
    array.count = kept;
    array.entries = plain.get();
    return job.OnMsgSeekToOffset(&array);
}

}  // namespace

namespace fclseek {

Admission admitPositions(FclRestore& job, unsigned long count, const char* failLine, const char* ignoreLine) {
    if (job._archiveOpen == 0) {
        if (job._failOnSeekFailure != 0) {
            FCL_ERROR("%s", failLine);
            job.terminateOnFatalError();
        }
        FCL_LOG(0, "%s", ignoreLine);
        for (unsigned long i = 0; job._statistics != nullptr && i < count; ++i) {
            job._statistics->fileFailed();
        }
        return Admission::kNoArchive;
    }
    job._seekItemCount += count;
    const unsigned long options = job._factory != nullptr ? job._factory->getOptions() : 0;
    if ((options & FSR_OPT_RESTART_SKIP) == 0 || job._seekItemCount >= job._restartFileNum) {
        return Admission::kForward;
    }
    FCL_LOG(0, "Current file number = %ld < restart file number = %ld", static_cast<long>(job._seekItemCount),
            static_cast<long>(job._restartFileNum));
    return Admission::kBelowRestartPoint;
}

void emptySeekBatch(FSRSeekArchiveArray& batch) {
    for (uint32_t i = 0; i < batch.count; ++i) {
        free(batch.entries[i].linkName);
        batch.entries[i] = FSRSeekArchive();
    }
    batch.count = 0;
}

bool forwardToRestoreHead(FclRestore& job, unsigned long code, void* record, unsigned long length) {
    wzsDatabuf payload;
    payload.len = length;
    payload.buf = static_cast<char*>(record);
    return job.sendMsgToRestoreHead(code, &payload) != 0;
}

void failWithoutFactory(FclRestore& job) {
    if (job.getFailureReason().empty()) {
        job.setFailureReason("Restore: The restore could not be prepared, so nothing can be restored.");
    }
    job.terminateOnFatalError();
}

}  // namespace fclseek

bool FclRestore::OnMsgSeekToOffset(FSRSeekArchiveArray* rec) {
    const fclseek::Admission admission = fclseek::admitPositions(
        *this, rec->count, fclseek::kNotOpenedFailLine, "Ignoring Seek message because no archive file is open");
    if (admission != fclseek::Admission::kForward) {
        return admission == fclseek::Admission::kNoArchive;
    }
    for (uint32_t i = 0; i < rec->count; ++i) {
        const FSRSeekArchive& seek = rec->entries[i];
        FCL_LOG(5, "FSR_MSG_SEEK_TO_OFFSET [%llu:%llu:%lu:%04llX:%s]", static_cast<unsigned long long>(seek.offset),
                static_cast<unsigned long long>(seek.secondPosition), static_cast<unsigned long>(seek.version),
                static_cast<unsigned long long>(seek.flags), orUnavailable(seek.linkName));
    }
    fclseek::forwardToRestoreHead(*this, FSR_MSG_SEEK_TO_OFFSET, rec, sizeof *rec);

    FclRestoreUNIX& unix = *_fclRestoreUnix;
    const int sent = ++unix._seeksSent;
    if (sent % unix._seekMarkerBatch == 0) {
        SendSeekMarker(sent);
    }
    const int allowed = unix._seeksAllowed;
    if (allowed <= sent) {
        FCL_LOG(0, "Suspending seek forwarding, seeks sent=%d, seeks allowed=%d", sent, allowed);
        unix.SuspendRestoreMessageProcessor(RESTORE_MSG_PROCESSOR_SUSPEND_SEEK_WINDOW_FULL);
    }
    return true;
}

template <class ARRAY>
bool FclRestore::OnMsgSeekToOffsetTemplate(ARRAY* rec) {
    if (rec->count == 0) {
        return true;
    }
    if (_proxyClientDestination) {
        return batchSeeks(*this, rec);
    }
    return convertSeeks(*this, rec);
}

bool FclRestore::OnMsgSeekToOffset10(FSRSeekArchiveArray_10* rec) {
    return OnMsgSeekToOffsetTemplate(rec);
}

bool FclRestore::OnMsgSeekToOffset10V2(FSRSeekArchiveArray_10_V2* rec) {
    return OnMsgSeekToOffsetTemplate(rec);
}

bool FclRestore::OnMsgNasSeekArchive(FSRNasSeekArchiveArray*) {
    return true;
}
