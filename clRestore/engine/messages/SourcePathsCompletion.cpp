// The completion of the source paths at the last index: the sort, the restore-object factory (the Unix factory, or
// the virtual-server restore host's), the restart point of a restartable job and the source shares.
//
// A job left without a factory (the host's factory missing, an exception while building, no memory) is stopped as a
// fatal error rather than left running: every item would need the factory, and the job must not end reported as a
// success.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>

#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/FsRestoreRestart.h"
#include "clRestore/engine/messages/SourcePathSteps.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/ClExceptError.h"
#include "platform/events/EvEvent.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"

namespace {

const int kNoMemoryCause = 0x1c000082;
const int kFactoryExceptionCause = 0x1c000080;
const int kRestartNotOpenedEvent = 0x17000035;
const int kNoMappingCause = 0x1700005d;
const int kMountFailedCause = 0x170000b7;
const int kMountFailedSeverity = 9;

// The virtual-server restore host's factory: (source paths, count, destination, options, destination map, unused).
using VsrstFactoryEntry = FsRestoreObjectsFactory* (*)(FSRSrcPath*, int, char*, unsigned long,
                                                       std::map<unsigned long, std::string>*, void*);

void raiseCause(FclRestore& job, int cause) {
    if (job._rstJobClientReady == 1 && job._rstJobClient != nullptr) {
        job._rstJobClient->setPendingCause(cause);
    }
}

void criticalEvent(FclRestore& job, int eventId) {
    if (job._event != nullptr) {
        job._event->CriticalEvent(eventId, 0, 0);
    }
}

bool failAndStop(FclRestore& job, const char* reason, int cause) {
    job.setFailureReason(reason);
    raiseCause(job, cause);
    job.terminateOnFatalError();
    return false;
}

// A set with an empty position never completes: a message went missing, or came after the last one.
bool everyPositionStored(FclRestore& job, int count) {
    for (int k = 0; k < count; ++k) {
        if (!job._srcPathsStored[static_cast<size_t>(k)] || job._srcPaths[k].path == nullptr) {
            FCL_ERROR("Source path %d of %d did not come before the last one", k, count);
            return false;
        }
    }
    return true;
}

// 1 with the host's factory made, 0 when the host provides none (the job is then stopped).
int makeHostFactory(FclRestore& job, int count) {
    dlerror();
    void* symbol = dlsym(RTLD_DEFAULT, "getVSRSTFactory");
    const char* error = dlerror();
    if (error != nullptr || symbol == nullptr) {
        FCL_ERROR("Could not locate symbol getVSRSTFactory [%s]", error != nullptr ? error : "");
        failAndStop(job, "Restore: The virtual-server restore factory of the host process is missing.",
                    kFactoryExceptionCause);
        return 0;
    }
    VsrstFactoryEntry entry = reinterpret_cast<VsrstFactoryEntry>(symbol);
    job._factory = entry(job._srcPaths, count, job._setParams->destDir,
                         static_cast<unsigned long>(job._setParams->options), &job._destPathMap, nullptr);
    return 1;
}

// False after the mapping failure, which stops the job itself.
bool makeUnixFactory(FclRestore& job, int count, bool sortPaths) {
    if (sortPaths) {
        qsort(job._srcPaths, static_cast<size_t>(count), sizeof(FSRSrcPath), FsRestoreUnixObjectsFactory::cmpFunc);
    }
    job._factory = new (std::nothrow)
        FsRestoreUnixObjectsFactory(job._jobResultsDir, job._srcPaths, count, job._setParams->destDir,
                                    static_cast<unsigned long>(job._setParams->options), &job);
    if (job._factory == nullptr) {
        return true;
    }
    if (job._factory->InitializeForMappedRestores(job.getJobID(), job._destPathMap) != 0) {
        FCL_ERROR(
            "Error in initializing the mapping file restore. No mapping file found and users choice allows only map "
            "based restore. Nothing to restore.");
        return failAndStop(job, "Restore: Nothing to restore in a mapping file restore - map file not found.",
                           kNoMappingCause);
    }
    job._factory->InitializeJobOptions(job.getJobID());
    return true;
}

// False when the restart state could not be opened (the job goes on from the start).
bool openRestartState(FclRestore& job) {
    // A second round makes a new state; the earlier one goes with its descriptor.
    delete job._restart;
    job._restart = new (std::nothrow) FsRestoreRestart;
    const FSRInitData* init = job._initData;
    if (job._restart == nullptr ||
        job._restart->init(init != nullptr ? static_cast<unsigned long>(init->zendrelNumber) : 0, job.getJobID(),
                           job._statistics) == 0) {
        if (job._event != nullptr) {
            job._event->MajorEvent(kRestartNotOpenedEvent, 0, 0);
        }
        FCL_ERROR("Could not initialize FsRestoreRestart object");
        delete job._restart;
        job._restart = nullptr;
        return false;
    }
    job._restartFileNum = job._restart->getRestartFileNum();
    return true;
}

bool mountSourceShares(FclRestore& job, int count) {
    CQiError error = job._fclRestoreUnix->MountShares(job._srcPaths, count, nullptr, job._rstJobClient);
    if (!error.IsError()) {
        return true;
    }
    char text[1024];
    snprintf(text, sizeof text, " [%s] [%s]", job.ShouldAutoMountShare() ? "Source" : "Destination",
             error.AsString().c_str());
    FCL_ERROR("%s", text);
    if (job._rstJobClient != nullptr) {
        *job._rstJobClient << text;
        job._rstJobClient->setPendingCauseAndEvent(kMountFailedCause, kMountFailedSeverity, 0, false, EV_MSG_TYPE_JOB);
    }
    job.terminateOnFatalError();
    return false;
}

}  // namespace

namespace fclsrcpaths {

bool refuse(FclRestore& job) {
    job.setFailureReason("Restore: The source paths received do not match the job's parameters.");
    job.terminateOnFatalError();
    return false;
}

bool outOfMemory(FclRestore& job) {
    criticalEvent(job, kNoMemoryCause);
    return failAndStop(job, "Restore: Insufficient memory for process execution.", kNoMemoryCause);
}

bool completeSourcePaths(FclRestore& job) {
    const int count = static_cast<int>(job._setParams->numSrcPaths);
    if (!everyPositionStored(job, count)) {
        return refuse(job);
    }
    // Whatever follows, a message after this one starts a new round.
    job._srcPathsStored.assign(static_cast<size_t>(count), false);

    const bool sortPaths = !job.IsAutoScaleIndexRestore();
    if (sortPaths) {
        job.sortPathnames(job._srcPaths);
    }
    delete job._factory;
    job._factory = nullptr;

    try {
        if (job._fclRestoreUnix->_useVsrstFactory && job.getAppType() == fclapps::kVirtualServerAppType) {
            qsort(job._srcPaths, static_cast<size_t>(count), sizeof(FSRSrcPath), FsRestoreUnixObjectsFactory::cmpFunc);
            if (makeHostFactory(job, count) == 0) {
                return true;
            }
        } else if (!makeUnixFactory(job, count, sortPaths)) {
            return false;
        }
    } catch (const ClExceptError& e) {
        criticalEvent(job, e.getErrCode());
        FCL_ERROR("Exception error in FsRestoreUnixObjectsFactory constructo, Error code = [%lx], subcode = [%lx]",
                  static_cast<unsigned long>(static_cast<unsigned int>(e.getErrCode())),
                  static_cast<unsigned long>(static_cast<unsigned int>(e.getErrSubcode())));
        return failAndStop(job,
                           "Restore: an exception occurred in FsRestoreUnixObjectsFactory constructor. Please contact "
                           "Tarnwick support.",
                           kFactoryExceptionCause);
    } catch (const std::bad_alloc&) {
        delete job._factory;
        job._factory = nullptr;
    }
    if (job._factory == nullptr) {
        FCL_ERROR("Could not alloc memory for FsRestoreUnixObjectsFactory object");
        return outOfMemory(job);
    }

    if ((job._setParams->options & FSR_OPT_RESTART) != 0 && !openRestartState(job)) {
        return false;
    }
    return mountSourceShares(job, count);
}

}  // namespace fclsrcpaths
