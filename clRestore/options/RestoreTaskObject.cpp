// The job's restore task: made once and reused, made again only when a caller needs the content that the cached
// one was made without. The processing and reader threads both ask for it, so the cache is read and made under a lock.
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/options/MakeSharedNothrow.h"
#include "platform/log/LogWriter.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/tasks/EvTask.h"
#include "platform/tasks/ProcessJobId.h"

namespace {

const int kErrorAllocation = 14;

const char* truth(bool value) {
    return value ? "true" : "false";
}

}  // namespace

CQiError FclRestoreUNIX::getRestoreTaskObject(long long jobId, boost::shared_ptr<EvRstTask>& task, bool bFetchContent) {
    std::lock_guard<std::mutex> guard(_serviceCacheLock);
    if (_restoreTask && (m_bFetchContent || bFetchContent == m_bFetchContent)) {
        FCL_LOG(0, "Reusing cached EvRstTask with m_bFetchContent=%s", truth(m_bFetchContent));
        task = _restoreTask;
        return CQiError::Success();
    }
    _restoreTask.reset();
    const long long taskJobId = jobId >= 1 ? jobId : jobID;
    FCL_LOG(0, "Fetching EvRstTask with bFetchContent=%s", truth(bFetchContent));
    boost::shared_ptr<EvRstTask> made = fclservices::makeSharedNothrow<EvRstTask>(
        static_cast<unsigned long long>(taskJobId), 0, nullptr, false, bFetchContent);
    if (!made) {
        return FXErrorUtil::ErrorWin32(FX_HERE, kErrorAllocation, "Allocation has failed for Restore Task object");
    }
    _restoreTask = made;
    m_bFetchContent = bFetchContent;
    task = _restoreTask;
    FCL_LOG(0, "Fetching EvRstTask done with bFetchContent=%s", truth(bFetchContent));
    return CQiError::Success();
}
