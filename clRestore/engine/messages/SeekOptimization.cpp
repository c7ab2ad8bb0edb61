// The seek optimiser: the decision object chosen at each archive open, and its per-item decisions.
#include <sys/stat.h>

#include <string>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "clRestore/support/PerfCounterTable.h"
#include "platform/events/EvDebug.h"
#include "platform/log/LogWriter.h"
#include "platform/seek/SeekDecision.h"
#include "platform/sync/CSyncRestorePathMapper.h"
#include "protocol/TimeValues.h"

namespace {

const char kDebugName[] = "EnableRestoreOptimization";
const char kMemoryLow[] = "Warning: Restore optimization object could not be created. Memory low.";

void replaceDecision(FclRestore& job, SeekDecision* decision) {
    delete job._seekDecision;
    job._seekDecision = decision;
}

// The out-of-place destination the optimiser would compare with does not exist yet.
bool outOfPlaceDestinationMissing(FclRestore& job) {
    if (job._setParams == nullptr || job._factory == nullptr || job._setParams->destDir == nullptr ||
        job._setParams->destDir[0] == '\0' || (job._setParams->options & FSR_OPT_OUT_OF_PLACE) == 0 ||
        job._factory->getRestoreOnlyIfExistsOption()) {
        return false;
    }
    struct stat st;
    return job.GetStatResult(job._setParams->destDir, &st) != 0;
}

template <class ELEMENT>
bool decide(FclRestore& job, ELEMENT* seek, int (*ask)(SeekDecision&, ELEMENT&)) {
    SeekDecision* decision = job._seekDecision;
    // An element without a path names nothing to decide on: it is restored.
    if (decision == nullptr || !decision->IsOptimizationEnabled() || (seek->flags & SEEK_ARCHIVE_EXTENT_ITEM) != 0 ||
        seek->path == nullptr) {
        return true;
    }
    static const char kLabel[] = "FclRestore::MakeSeekOptimizationDecision";
    job._perfCounter.StartPerfCounter(kLabel, kPerfSeekDecision);
    const int required = ask(*decision, *seek);
    job._perfCounter.StopPerfCounter(kLabel, kPerfSeekDecision, 0);
    if (required != 0) {
        return true;
    }
    std::string name = seek->path[0] == '\\' ? seek->path + 1 : seek->path;
    std::string destination;
    decision->GetDestinationName(destination);
    if (!destination.empty()) {
        name = destination;
    }
    job.UpdateStatistics(name.c_str(), decision->GetLastStatus(), seek->size, 0, nullptr);
    return false;
}

int askV1(SeekDecision& decision, FSRSeekArchive_10& seek) {
    return decision.IsRestoreRequired(seek.path, seek.sixthWord, seek.flags, seek.version);
}

int askV2(SeekDecision& decision, FSRSeekArchive_10_V2& seek) {
    return decision.IsRestoreRequiredV2(seek.path, seek.sixthWord, seek.flags, seek.version, seek.extraSeekWord0);
}

}  // namespace

bool FclRestore::MakeSeekOptimizationDecision(FSRSeekArchive_10* seek) {
    return decide(*this, seek, askV1);
}

bool FclRestore::MakeSeekOptimizationDecision(FSRSeekArchive_10_V2* seek) {
    FCL_LOG(5, "Using extra seek informations for seek optimization [%lu:%lu:%llu]",
            static_cast<unsigned long>(seek->extraSeekWord0), static_cast<unsigned long>(seek->extraSeekWord1),
            static_cast<unsigned long long>(seek->extraSeekWord2));
    return decide(*this, seek, askV2);
}

bool FclRestore::EnableRestoreOptimization() {
    const bool validateOnly = _factory != nullptr && _factory->getValidateOnlyOption();
    if (validateOnly || IsContentIndexingRestore()) {
        replaceDecision(*this, SeekDecisionFactoryObj::allocateObj(0));
        if (_seekDecision == nullptr) {
            EvDebug::Debug(_event, kDebugName,
                           "Warning: seek decision object could not be created because no memory is available. Seek "
                           "optimizations will not be enabled");
            return false;
        }
        EvDebug::Debug(_event, kDebugName, "Seek optimization is disabled as this is a \"%s\" restore",
                       validateOnly ? "Validate Only" : "Content Indexing");
        return true;
    }
    if (_seekDecision != nullptr) {
        if (!isDistributedRestore()) {
            return true;
        }
        replaceDecision(*this, nullptr);
    }
    if (outOfPlaceDestinationMissing(*this)) {
        FCL_LOG(1,
                "Restore optimization will not be available, since this is out of place restore and destination path "
                "does not exist.");
        _seekDecision = SeekDecisionFactoryObj::allocateObj(0);
        if (_seekDecision == nullptr) {
            FCL_LOG(1, "%s", kMemoryLow);
            return false;
        }
        if (_statistics != nullptr) {
            _statistics->switchMultiThreadModeOn();
        }
        return true;
    }
    _seekDecision = SeekDecisionFactoryObj::allocateObj(_factory, this);
    if (_seekDecision == nullptr) {
        FCL_LOG(1, "%s", kMemoryLow);
        return false;
    }
    const bool sync = IsSyncRestore();
    CSyncRestorePathMapper* mapper = sync ? GetSyncPathMapper() : nullptr;
    CTimeStamp keepModifiedSince;
    if (mapper != nullptr) {
        keepModifiedSince = CTimeStamp::FromUnixTime(mapper->GetLastSyncBackupTime());
    }
    CTimeStamp* keep = mapper != nullptr && mapper->ShouldPreserveModifiedFiles() ? &keepModifiedSince : nullptr;
    if (_seekDecision->Initialize(_factory, this, _event, sync ? 1 : 0, keep) == 0) {
        FCL_LOG(1, "%s", kMemoryLow);
        replaceDecision(*this, nullptr);
        return false;
    }
    if (_seekDecision->IsOptimizationEnabled()) {
        FCL_LOG(1, "This job will optimize restore");
        if (_statistics != nullptr) {
            _statistics->switchMultiThreadModeOn();
        }
        return true;
    }
    FCL_LOG(1, "Restore optimization not available based on job type and job options");
    return false;
}

// A path's status for the destination checks; none is taken for a Hadoop restore.
int FclRestore::GetStatResult(const char* path, struct stat* st) {
    if (path == nullptr || IsHadoopRestore()) {
        return -1;
    }
    // Files are 64-bit here: stat is stat64.
    return stat(path, st);
}
