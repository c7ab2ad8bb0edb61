// The job's parameters (FSR_MSG_SET_PARAMS): destination, options word, source-path array, results store, the archive
// reader's compatibility options, silo and workstation detection, the task's job options, sparse restore and folder
// times, in that order. Any failing step ends the handler.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/RestoreIdentity.h"
#include "clRestore/engine/messages/ParamsSteps.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/objects/StaticUtils.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/apps/ApplicationId.h"
#include "platform/apps/ApplicationTypes.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/events/EvDebug.h"
#include "platform/events/EvEvent.h"
#include "platform/hsm/CXHSMLowLevelCtx.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/mounts/FileShareAutoMountManager.h"
#include "platform/results/StoreResults.h"
#include "platform/settings/WZPlatformInfo.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/tasks/SchedularInterfaceNet.h"

namespace {

const char kNoMemory[] = "Restore: Insufficient memory for process execution.";
constexpr int kNoMemoryEvent = 0x1c000082;
constexpr int kMountManagerFailed = 0x170000b5;
constexpr int kDestShareNotMounted = 0x170000b7;
constexpr int kImpersonationFailed = 0x1700003b;
constexpr int kNoPrivileges = 0x17000047;
constexpr int kSiloTaskOption = 63;

constexpr unsigned long long kIndexCacheOrSynthFull = FSR_OPT_INDEX_CACHE | FSR_OPT_SYNTHETIC_FULL;

const char* destinationMachine(const FclRestore& job) {
    return job._initData != nullptr && job._initData->destMachine != nullptr ? job._initData->destMachine : "";
}

// Failures D and F: no memory for what the job needs; the job is not stopped here.
bool failNoMemory(FclRestore& job, const char* log) {
    fclparams::raiseJobEvent(job, true, kNoMemoryEvent, {});
    FCL_ERROR("%s", log);
    job.setFailureReason(kNoMemory);
    fclparams::raisePendingCause(job, kNoMemoryEvent, {});
    return false;
}

// Failures A1 and A2: the text goes to the log and, when there is a job client, with the cause and its event.
bool failMount(FclRestore& job, const std::string& text, int code) {
    FCL_ERROR("%s", text.c_str());
    if (job._rstJobClient != nullptr) {
        *job._rstJobClient << text.c_str();
        job._rstJobClient->setPendingCauseAndEvent(code, 9, 0, false, EV_MSG_TYPE_JOB);
    }
    job.terminateOnFatalError();
    return false;
}

// Mounts the destination share when the job asks for it and moves the job's destination to the mounted location.
bool mountDestinationShare(FclRestore& job) {
    FclRestoreUNIX& unix = *job._fclRestoreUnix;
    unix.SetAutoMountDestShare(job._setParams);
    if (!job.ShouldAutoMountAnyShare()) {
        return true;
    }
    CQiError error = unix.CreateAutoMountMgr(job._initData->zendrelNumber, job._initData->appNumber,
                                             job._initData->jobId, FileShareAutoMount::getMountFolder());
    if (error.IsError()) {
        return failMount(job, " [" + error.AsString() + "]", kMountManagerFailed);
    }
    if (!job.ShouldAutoMountDestShare()) {
        return true;
    }
    const std::string destination = job.getDestPath();
    error = unix.MountShares(nullptr, 0, destination.c_str(), job._rstJobClient);
    const bool mounted = !error.IsError();
    std::string scanFormat;
    std::string location;
    if (mounted) {
        error = FileShareAutoMount::convertMountToScanFormat(destination, scanFormat);
    }
    if (!error.IsError()) {
        FileShareAutoMountManager* manager = job.GetAutoMountManager();
        error = manager == nullptr ? FXErrorUtil::ErrorWin32(FX_HERE, 0x65b, "Failed to get AutoMountManager")
                                   : manager->translatePath(location, scanFormat);
    }
    if (error.IsError()) {
        if (mounted) {
            FCL_ERROR("Successfully Mounted destDir [%s] but failed to retrieve mounted location. Error=[%s].",
                      destination.c_str(), error.AsString().c_str());
        }
        return failMount(job, " [Destination] [" + error.AsString() + "]", kDestShareNotMounted);
    }
    unix.SetDestDirOrig(destination);
    if (!fclparams::setJobDestination(job, location)) {
        return failNoMemory(job, "Could not alloc memory for the mounted destination");
    }
    FCL_LOG(0, "Automounted destDir='%s'", location.c_str());
    return true;
}

// Failure C1: the identity switch of the privilege test failed.
bool failImpersonation(FclRestore& job) {
    job.setFailureReason("Restore: Error impersonating as user. ");
    if (job._rstJobClientReady == 1) {
        *job._rstJobClient << 9;
        job._rstJobClient->setPendingCause(kImpersonationFailed);
    }
    return false;
}

// The restore user must be able to write the destination: tested with the user's ids as the real ids.
bool checkDestinationPrivileges(FclRestore& job) {
    if (job._impersonating == 0 || (job._setParams->options & FSR_OPT_OUT_OF_PLACE) == 0) {
        return true;
    }
    const uid_t uid = uPwd.pw_uid;
    const gid_t gid = uPwd.pw_gid;
    const bool gidSwitched = setregid(gid, gid_orig) == 0;
    const bool switched = gidSwitched && setreuid(uid, uid_orig) == 0;
    if (!switched) {
        const int error = errno;
        FCL_ERROR("error [%d] impersonating with user [%s] uid [%d] gid [%d]", error, uName.c_str(),
                  static_cast<int>(uid), static_cast<int>(gid));
        // A half-switched identity must not outlive the test: the group goes back when only it was switched.
        if (gidSwitched && setgid(gid_orig) != 0) {
            FCL_ERROR("error [%d] restoring gid [%d]", errno, static_cast<int>(gid_orig));
        }
        FCL_ERROR("error [%d] impersonating to root with uid [%d] gid [%d]", error, static_cast<int>(uid_orig),
                  static_cast<int>(gid_orig));
        return failImpersonation(job);
    }
    std::string destination = job.getDestPath();
    const bool denied = StaticUtils::isAccessDenied(&destination[0]);
    // Both ids go back even when one of them cannot.
    int error = setgid(gid_orig) == 0 ? 0 : errno;
    if (setuid(uid_orig) != 0) {
        error = errno;
    }
    if (error != 0) {
        FCL_ERROR("error [%d] impersonating to root with uid [%d] gid [%d]", error, static_cast<int>(uid_orig),
                  static_cast<int>(gid_orig));
        return failImpersonation(job);
    }
    if (!denied) {
        return true;
    }
    FCL_ERROR("restore user does not have privileges to dest path [%s]", destination.c_str());
    fclparams::raiseJobEvent(job, false, kNoPrivileges, {destination.c_str(), destinationMachine(job)});
    job.setFailureReason("Restore: Insufficient privileges to restore to path.");
    fclparams::raisePendingCause(job, kNoPrivileges, {destination.c_str(), destinationMachine(job)});
    job.terminateOnFatalError();
    return false;
}

// A second set of parameters starts the source paths again. The earlier array goes while its own count still
// describes it, with the factory that reads it: the next last source path builds a new one.
void releaseEarlierSourcePaths(FclRestore& job) {
    if (job._srcPaths == nullptr) {
        return;
    }
    delete job._factory;
    job._factory = nullptr;
    job.releaseSourcePaths();
}

// The zero-filled array the source paths are stored into; none for a count of 0.
bool makeSourcePathArray(FclRestore& job) {
    const unsigned long long count = job._setParams->numSrcPaths;
    if (count == 0) {
        return true;
    }
    // A count from the wire that no array can hold is refused like any allocation that fails.
    if (count <= SIZE_MAX / sizeof(FSRSrcPath)) {
        job._srcPaths = new (std::nothrow) FSRSrcPath[count]();
    }
    if (job._srcPaths == nullptr) {
        return failNoMemory(job, "Could not alloc memory for restore pathnames");
    }
    return true;
}

// The results store of an ordinary job, opened with its begin line.
bool makeResultsStore(FclRestore& job) {
    uint64_t& options = job._setParams->options;
    if (job._results != nullptr || (options & kIndexCacheOrSynthFull) != 0) {
        return true;
    }
    if ((options & FSR_OPT_SPAWNED_RESTORE) != 0) {
        FCL_LOG(0, "Skipping opening of the job results folder, as we know this out spawnned restore. ");
        options &= ~static_cast<uint64_t>(FSR_OPT_SPAWNED_RESTORE);
        return true;
    }
    const unsigned int zendrel = static_cast<unsigned int>(job._initData->zendrelNumber);
    job._results = new (std::nothrow) StoreResults(zendrel, job._initData->jobId, true, nullptr);
    if (job._results == nullptr) {
        return failNoMemory(job, "Could not alloc memory for StoreResults object");
    }
    job.openResultsFile();
    return true;
}

void setCompatibilityOptions(FclRestore& job) {
    const unsigned long long options = job._setParams->options;
    unsigned long long compatibility = 0;
    if ((options & FSR_OPT_SYNTHETIC_FULL) != 0) {
        compatibility |= 0x2;
        if (!job.ignoreSynthFullErrors()) {
            job._failOnSeekFailure = 1;
            FCL_LOG(0, "Synthetic full will fail if any seek failures occur");
        } else {
            job._failOnSeekFailure = 0;
            FCL_LOG(0, "Synthetic full will ignore any seek failures that might occur");
        }
    }
    if ((options & FSR_OPT_INDEX_CACHE) != 0) {
        compatibility |= 0x4;
    }
    compatibility |= 0x8;
    if (job.restoreDataInRawDev == 0) {
        compatibility |= 0x10;
        FCL_LOG(0, "Setting the compatibilityOptions - SEND_NO_RAW_DEVICE_DATA");
    }
    if (job._fclRestoreUnix->_aclOnly) {
        compatibility |= 0x80;
        EvDebug::Debug(job._event, "FclRestore::OnMsgSetParams",
                       "Setting the compatibilityOptions - ACL_ONLY_RESTORE_FOR_FS ");
    }
    job._archive->setOptions(compatibility);
}

void detectSiloAndWorkstation(FclRestore& job) {
    if ((job._setParams->options & kIndexCacheOrSynthFull) != 0) {
        return;
    }
    bool silo = false;
    SchedularInterfaceNet scheduler;
    if (!scheduler.GetTaskOptionBoolean(job._initData->jobId, wzTaskOptions(7), silo, kSiloTaskOption)) {
        FCL_LOG(0, "Failed to get the option string from the DB to check whether the restore is SILO or not");
        silo = false;
    }
    if (silo) {
        job._siloJob = true;
        FCL_LOG(0, "Restore is SILO");
        return;
    }
    ApplicationId application(job._initData->zendrelNumber, job._initData->appNumber);
    boost::shared_ptr<WZBackupSet> backupSet = application.getBackupSet();
    boost::shared_ptr<WZClient> client = application.getClient();
    if (client) {
        bool enabled = false;
        if (client->isPersonalWorkstationEnabled(enabled) == 0) {
            job._personalWorkstation = enabled;
            if (enabled) {
                FCL_LOG(0, "This is restore to personal workstation.");
            }
        } else {
            job._personalWorkstation = false;
        }
    }
    if (!backupSet) {
        FCL_LOG(0, "WARNING +++++++ backupsetPtr is NULL for zendrelNumber [%ld] and appNumber [%ld].",
                static_cast<long>(job._initData->zendrelNumber), static_cast<long>(job._initData->appNumber));
        return;
    }
    if (!IsUnixFsBackupSetType(application.getAppType())) {
        return;
    }
    bool singleInstance = false;
    const int rc = backupSet->hasSingleInstanceSilo(singleInstance);
    if (rc != 0) {
        FCL_ERROR("Error [%d] returned for check hasSingleInstanceSilo.", rc);
    }
    if (singleInstance) {
        job._siloJob = true;
        FCL_LOG(0, "Restore is SILO");
    }
}

void applySparseSetting(FclRestore& job) {
    std::string value;
    if (WZPlatformInfo().getString("FileSystemAgent", "isRestoreAsSparseFile", &value) && !value.empty() &&
        (value[0] == 'y' || value[0] == 'Y')) {
        FCL_LOG(0, "Registry key isRestoreAsSparseFile set to 'y'. Files will be recovered sparse when possible.");
        job._setParams->options |= FSR_OPT_SPARSE_RESTORE;
    }
}

}  // namespace

namespace fclparams {

bool setJobDestination(FclRestore& job, const std::string& text) {
    char* copy = new (std::nothrow) char[text.size() + 1];
    if (copy == nullptr) {
        return false;
    }
    memcpy(copy, text.c_str(), text.size() + 1);
    delete[] job._setParams->destDir;
    job._setParams->destDir = copy;
    return true;
}

void raiseJobEvent(FclRestore& job, bool critical, int code, std::initializer_list<const char*> arguments) {
    if (job._event == nullptr) {
        return;
    }
    for (const char* argument : arguments) {
        *job._event << argument;
    }
    if (critical) {
        job._event->CriticalEvent(code, 0, 0);
    } else {
        job._event->MajorEvent(code, 0, 0);
    }
}

void raisePendingCause(FclRestore& job, int code, std::initializer_list<const char*> arguments) {
    if (job._rstJobClientReady != 1 || job._rstJobClient == nullptr) {
        return;
    }
    for (const char* argument : arguments) {
        *job._rstJobClient << argument;
    }
    job._rstJobClient->setPendingCause(code, nullptr, false, EV_MSG_TYPE_JOB);
}

}  // namespace fclparams

bool FclRestore::OnMsgSetParams(FSRSetParams* params) {
    if (params == nullptr || _setParams == nullptr || _initData == nullptr) {
        FCL_ERROR("FSR_MSG_SET_PARAMS before the job's records exist");
        return false;
    }
    const char* received = params->destDir != nullptr ? params->destDir : "";
    releaseEarlierSourcePaths(*this);
    _setParams->options |= params->options;
    _setParams->numSrcPaths = params->numSrcPaths;
    FCL_LOG(0, "Options=%lx, numSrcPaths=%lu, destDir='%s'", static_cast<unsigned long>(params->options),
            static_cast<unsigned long>(params->numSrcPaths), received);

    const char* trimmed = received + strspn(received, " ");
    if (!fclparams::setJobDestination(*this, trimmed)) {
        return failNoMemory(*this, "Could not alloc memory for the destination directory");
    }
    _destPathMap[0] = trimmed;

    if (!mountDestinationShare(*this)) {
        return false;
    }
    _fclRestoreUnix->CheckIfDestinationIsGluster(received);

    const unsigned long long options = _setParams->options;
    if ((options & FSR_OPT_INDEX_RECONSTRUCTION) != 0) {
        _failOnSeekFailure = 0;
        FCL_LOG(0, "Index reconstruction option set, restore would continue if seek failures happen.");
    }
    // The test and its events see '/' separators; the job keeps its destination as written.
    std::string converted = trimmed;
    for (char& c : converted) {
        c = c == '\\' ? '/' : c;
    }
    _fclRestoreUnix->_aclOnly = (options & FSR_OPT_ACL_ONLY) != 0;

    if ((options & FSR_OPT_OUT_OF_PLACE) != 0 && (options & kIndexCacheOrSynthFull) == 0 &&
        IsPreventOverwriteFailJob(converted.c_str())) {
        fclparams::reportDestinationNotEmpty(*this, converted.c_str());
        return false;
    }
    if (!checkDestinationPrivileges(*this) || !makeSourcePathArray(*this)) {
        return false;
    }
    if (IsSolrCloudRestore() || IsSolrDBRestore()) {
        CQiError error = InitializeSolrRestore();
        if (error.IsError()) {
            FCL_ERROR("Failed to initialize solr db restore, Error [%s]", error.AsString().c_str());
            terminateOnFatalError();
            return false;
        }
        FCL_LOG(0, "InitializeSolrRestore successful");
    }
    if (!makeResultsStore(*this)) {
        return false;
    }
    if (_archive == nullptr) {
        FCL_ERROR("_archive object is not allocated in OnMsgSetParams");
        return false;
    }
    setCompatibilityOptions(*this);
    detectSiloAndWorkstation(*this);
    if (!fclparams::applyJobOptions(*this)) {
        return false;
    }
    applySparseSetting(*this);
    InitializeShouldRestoreFolderTimestamp();
    return true;
}
