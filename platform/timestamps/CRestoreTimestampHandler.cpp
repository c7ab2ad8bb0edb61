#include "platform/timestamps/CRestoreTimestampHandler.h"

#include <cerrno>
#include <string>

#include "platform/events/Journal.h"
#include "platform/files/LongPathHandler.h"
#include "platform/log/LogWriter.h"
#include "platform/results/ResultsText.h"
#include "platform/results/StoreResults.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/threads/ErrorText.h"
#include "platform/timestamps/FolderTimeSetter.h"

namespace {

const int kStatusSucceeded = 5;
const int kStatusFailed = 3;

// Queued names are applied on another thread than the one that queued them, so a relative name is pinned now.
std::string absoluteName(const std::string& name) {
    if (name[0] == '/') {
        return name;
    }
    std::string base = WzLongPathHandler::currentDirectoryPath();
    if (base.empty()) {
        return name;
    }
    if (base.back() != '/') {
        base += '/';
    }
    return base + name;
}

}  // namespace

CRestoreTimestampHandler::CRestoreTimestampHandler(unsigned long zendrelId, long long jobId,
                                                   WZJobCtrlClient* jobControl, StoreResults* results,
                                                   size_t storeLimitBytes)
    : zendrelId_(zendrelId), jobId_(jobId), jobControl_(jobControl), results_(results), store_(storeLimitBytes) {}

CQiError CRestoreTimestampHandler::Add(boost::shared_ptr<CTimestampData> data) {
    return queue(data, wztimestamps::kOwnTask);
}

CQiError CRestoreTimestampHandler::Add(boost::shared_ptr<CTimestampData> data, int taskId) {
    return queue(data, taskId);
}

CQiError CRestoreTimestampHandler::AddLongpath(boost::shared_ptr<CTimestampData> data, int taskId) {
    // The file calls take paths of any length, so a long name is queued like any other.
    return queue(data, taskId);
}

CQiError CRestoreTimestampHandler::queue(const boost::shared_ptr<CTimestampData>& data, int taskId) {
    if (!data || data->GetFileName().empty()) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, EINVAL, "A folder without a name cannot have its times restored");
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!store_.add(absoluteName(data->GetFileName()), data->GetReportingFileName(), data->GetAccessTime().Ticks(),
                    data->GetModifiedTime().Ticks(), taskId, data->GetThroughLink())) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, ENOMEM,
                                       "The folder times of job %lld fill their store (%zu folders); [%s] keeps the "
                                       "times it was restored with",
                                       jobId_, store_.size(), data->GetFileName().c_str());
    }
    return CQiError::Success();
}

CQiError CRestoreTimestampHandler::Apply() {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t total = store_.size();
    size_t failed = 0;
    size_t unreported = 0;
    int firstError = 0;
    std::string firstFailed;
    store_.forEachDeepestFirst([&](const wztimestamps::QueuedFolder& folder) {
        int error =
            wztimestamps::setFolderTimes(folder.path, folder.accessTicks, folder.modifiedTicks, folder.throughLink);
        if (error != 0) {
            FCL_ERROR("Cannot restore the times of folder [%s]: %s", folder.path,
                      wzthreads::errorText("setting folder times", error).c_str());
            if (failed++ == 0) {
                firstError = error;
                firstFailed = folder.path;
            }
        }
        if (results_ != nullptr && report(folder, error) != 0) {
            ++unreported;
        }
    });
    store_.clear();
    handedOver_ = 0;  // counts the queue's task folders, which are gone now
    if (unreported != 0) {
        FCL_LOG(0, "Failed to save the restore result of %zu folders", unreported);
    }
    FCL_LOG(0, "Restored the times of %zu folders, %zu failed", total - failed, failed);
    if (failed != 0) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, firstError,
                                       "The times of %zu of %zu folders were not restored, [%s] first", failed, total,
                                       firstFailed.c_str());
    }
    return CQiError::Success();
}

int CRestoreTimestampHandler::report(const wztimestamps::QueuedFolder& folder, int error) {
    std::string line = wzresults::oneLine(folder.reportingName[0] != '\0' ? folder.reportingName : folder.path) + " ";
    if (error == 0) {
        return results_->setRestoreStatusOnObject(line.c_str(), kStatusSucceeded, false);
    }
    line += " [ Failed to restore the folder times  " + wzthreads::errorText("setting folder times", error) + "  ] ";
    return results_->setRestoreStatusOnObject(line.c_str(), kStatusFailed, false);
}

CQiError CRestoreTimestampHandler::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t forTasks = store_.taskFolders();
    if (forTasks > handedOver_) {
        // No node here runs the timestamp phase of a distributed restore: the hand-over is recorded, not applied.
        const size_t fresh = forTasks - handedOver_;
        wzplatform::journal("timestamps", "job " + std::to_string(jobId_) + ": " + std::to_string(fresh) +
                                              " folder times left to the timestamp phase, not applied here");
        FCL_LOG(0, "%zu folder times are left to the timestamp phase of the distributed restore", fresh);
        handedOver_ = forTasks;
    }
    // The job's own folders stay queued: each archive's close ends a use of the handler, and the restore end applies
    // the times of every archive's folders after the last one.
    return CQiError::Success();
}

CRestoreTimestampHandler::~CRestoreTimestampHandler() {
    const size_t own = store_.size() - store_.taskFolders();
    if (own != 0) {
        FCL_ERROR("The times of %zu folders were queued but never applied", own);
    }
}

size_t CRestoreTimestampHandler::queuedFolders() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return store_.size();
}
