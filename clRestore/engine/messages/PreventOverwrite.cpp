// A job that must not overwrite fails on a destination that already holds something. A restarted job must not fail on
// what its first run restored: after the first restored item the job leaves a marker file in its results directory,
// and a later run of the same job that finds it skips the test.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include <boost/shared_ptr.hpp>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/messages/ParamsSteps.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/files/DirectoryExt.h"
#include "platform/files/FileCalls.h"
#include "platform/log/LogWriter.h"
#include "platform/results/StoreResults.h"
#include "platform/tasks/EvTask.h"

namespace {

const char kMarkerName[] = "SkipPreventOverwriteOnRestart";
constexpr unsigned long kCanOverwriteProperty = 120013;
constexpr int kDestinationNotEmpty = 0x17000078;

// Only the first attempt of the process writes the marker; guarded by the results lock.
bool createHookFile = true;

std::string markerPath(const std::string& directory) {
    if (directory.empty() || directory.back() == '/') {
        return directory + kMarkerName;
    }
    return directory + "/" + kMarkerName;
}

bool isSyncTypeRestore(FclRestore& job) {
    return job.IsRuvoSyncRestore() || job.IsSyncRestore() || job.IsRuvoRestore();
}

bool outOfPlaceOrdinaryJob(const FclRestore& job) {
    const unsigned long long options = job._setParams != nullptr ? job._setParams->options : 0;
    return (options & FSR_OPT_OUT_OF_PLACE) != 0 && (options & (FSR_OPT_INDEX_CACHE | FSR_OPT_SYNTHETIC_FULL)) == 0;
}

}  // namespace

namespace fclparams {

void reportDestinationNotEmpty(FclRestore& job, const char* destination) {
    const char* machine =
        job._initData != nullptr && job._initData->destMachine != nullptr ? job._initData->destMachine : "";
    raiseJobEvent(job, false, kDestinationNotEmpty, {destination, machine});
    job.setFailureReason("Restore: Destination directory is not empty.");
    raisePendingCause(job, kDestinationNotEmpty, {destination, machine});
    job.sendMsgToFIR(FSR_MSG_FATAL_ERROR);
    job.terminateOnFatalError();
}

}  // namespace fclparams

bool FclRestore::IsPreventOverwriteFailJob(const char* destDir) {
    boost::shared_ptr<EvRstTask> task;
    CQiError error = _fclRestoreUnix->getRestoreTaskObject(getJobID(), task, false);
    if (error.IsError() || !task) {
        FCL_ERROR("%s", error.AsString().c_str());
        return false;
    }
    if (isSyncTypeRestore(*this)) {
        return false;
    }
    const unsigned long long zendrel = _initData != nullptr ? _initData->zendrelNumber : 0;
    StoreResults probe(static_cast<unsigned int>(zendrel), getJobID(), true, nullptr);
    const std::string directory = probe.getDirectory();
    if (!directory.empty()) {
        const std::string marker = markerPath(directory);
        if (access_utf(marker.c_str(), F_OK) == 0) {
            FCL_LOG(0, "PreventOverwrite hook file %s is present. It is a restart job", marker.c_str());
            return false;
        }
    }
    int canOverwrite = -1;
    const int rc = task->getOptionInt(kCanOverwriteProperty, canOverwrite);
    FCL_LOG(3, "Can overwrite = %d, retcode = %d", canOverwrite, rc);
    if (rc != 0 || canOverwrite != 0) {
        return false;
    }

    DirectoryExt directoryReader;
    if (directoryReader.openDirectory(destDir) < 0) {
        directoryReader.close();
        if (directoryReader.getLastError() == EACCES) {
            FCL_LOG(0, "Prevent restore overwrite is enabled. Permission denied on destDir %s. Fail the restore.",
                    destDir);
            return true;
        }
        FCL_LOG(3, "destDir %s does not exist.", destDir);
        return false;
    }
    // "." and ".." count: a third entry is something of the user's.
    int entries = 0;
    std::string name;
    while (entries < 3 && directoryReader.read(name) == 1) {
        ++entries;
    }
    directoryReader.close();
    if (entries < 3) {
        FCL_LOG(3, "destDir %s is empty.", destDir);
        return false;
    }
    FCL_LOG(0, "Prevent restore overwrite is enabled. destDir %s is not empty. Fail the restore.", destDir);
    return true;
}

void FclRestore::CreateSkipPreventOverwriteOnRestartFile() {
    if (!outOfPlaceOrdinaryJob(*this) || !createHookFile) {
        return;
    }
    createHookFile = false;
    if (isSyncTypeRestore(*this) || _results == nullptr) {
        return;
    }
    const std::string directory = _results->getDirectory();
    if (directory.empty()) {
        FCL_LOG(0, "Failed to get restore result directory");
        return;
    }
    const std::string marker = markerPath(directory);
    FCL_LOG(3, "Creating hook file %s", marker.c_str());
    FILE* file = fopen(marker.c_str(), "w");
    if (file == nullptr) {
        FCL_LOG(0, "Failed to create hook file %s", marker.c_str());
        return;
    }
    fclose(file);
}
