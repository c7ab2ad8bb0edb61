#pragma once
// The job's collector of folder times. Each folder hands its times over when it is closed; the restore end applies
// them all at once, after everything inside the folders was written, and then closes the handler. A folder whose
// times were queued gets its result line from here when its times are applied (the result recorder leaves it out).
//
// One lock guards the handler: folders are queued on the pipeline-reader thread and applied on the processing
// thread.
#include <cstddef>
#include <mutex>

#include <boost/shared_ptr.hpp>

#include "platform/support/CQiError.h"
#include "platform/support/FaultCounter.h"
#include "platform/timestamps/CTimestampData.h"
#include "platform/timestamps/TimestampStore.h"

class WZJobCtrlClient;
class StoreResults;

class CRestoreTimestampHandler : public wzfault::FailableAllocation<CRestoreTimestampHandler> {
public:
    // Neither the job-control client nor the results store (null when the job has none) is owned; the store must
    // outlive Apply.
    CRestoreTimestampHandler(unsigned long zendrelId, long long jobId, WZJobCtrlClient* jobControl,
                             StoreResults* results,
                             size_t storeLimitBytes = wztimestamps::TimestampStore::kDefaultLimitBytes);
    CRestoreTimestampHandler(const CRestoreTimestampHandler&) = delete;
    CRestoreTimestampHandler& operator=(const CRestoreTimestampHandler&) = delete;

    // Queues the folder's times for this job. A relative name is taken from the calling thread's current directory.
    CQiError Add(boost::shared_ptr<CTimestampData> data);
    // Queues the folder's times for a task of a distributed restore; its timestamp phase applies them.
    CQiError Add(boost::shared_ptr<CTimestampData> data, int taskId);
    CQiError AddLongpath(boost::shared_ptr<CTimestampData> data, int taskId);
    // Sets the queued times, deepest folders first, and writes each folder's result line. A folder that is no longer
    // a directory (replaced by a link, say) is left alone and reported failed. The queue is empty afterwards.
    CQiError Apply();
    // Ends one use of the handler (an archive's close, the restore end): folders of distributed tasks are handed
    // over; the job's own stay queued for the next Apply. A handler destroyed with times never applied says so.
    CQiError Close();
    ~CRestoreTimestampHandler();

    size_t queuedFolders() const;
    unsigned long zendrelId() const { return zendrelId_; }
    long long jobId() const { return jobId_; }
    WZJobCtrlClient* jobControl() const { return jobControl_; }
    StoreResults* results() const { return results_; }

private:
    CQiError queue(const boost::shared_ptr<CTimestampData>& data, int taskId);
    // 0 when the folder's result line was stored.
    int report(const wztimestamps::QueuedFolder& folder, int error);

    const unsigned long zendrelId_;
    const long long jobId_;
    WZJobCtrlClient* const jobControl_;
    StoreResults* const results_;
    mutable std::mutex mutex_;
    wztimestamps::TimestampStore store_;
    size_t handedOver_ = 0;
};
