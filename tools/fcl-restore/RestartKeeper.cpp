#include "tools/fcl-restore/RestartKeeper.h"

#include <chrono>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/FsRestoreRestart.h"
#include "platform/log/LogWriter.h"

namespace fclhost {

std::string currentItemOf(FclRestore& job) {
    std::lock_guard<std::mutex> hold(job._restoreItemLock);
    return job._restoreItem != nullptr && job._restoreItem->name != nullptr ? job._restoreItem->name : "";
}

RestartKeeper::RestartKeeper(FclRestore& job, uint64_t zendrelNumber, int64_t jobId)
    : job_(job), file_(new FsRestoreRestart) {
    if (job.getStatistics() == nullptr ||
        file_->init(static_cast<unsigned long>(zendrelNumber), jobId, job.getStatistics()) == 0) {
        FCL_ERROR("The restart file of job %lld cannot be kept", static_cast<long long>(jobId));
        file_.reset();
        return;
    }
    keeper_ = std::thread([this] { run(); });
}

RestartKeeper::~RestartKeeper() {
    if (!keeper_.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    keeper_.join();
    offer();
}

void RestartKeeper::run() {
    std::unique_lock<std::mutex> hold(lock_);
    while (!wake_.wait_for(hold, std::chrono::milliseconds(200), [this] { return stop_; })) {
        offer();
    }
}

void RestartKeeper::offer() {
    std::string item = currentItemOf(job_);
    std::vector<char> name(item.begin(), item.end());
    name.push_back('\0');
    if (file_->updateRestartInfo(name.data()) == 0) {
        FCL_ERROR("The restart point could not be written");
    }
}

}  // namespace fclhost
