#pragma once
// The restart point of a running job, kept in the engine's restart file: the engine reads the file when the same job
// runs again and writes nothing to it itself. A thread of the host offers the job's progress to the file a few times a
// second; the file takes a new point once more than a MiB was restored since the last one.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class FclRestore;
class FsRestoreRestart;

namespace fclhost {

// The source name of the item the job is at: the one whose header it read last. "" when the job does not keep it.
std::string currentItemOf(FclRestore& job);

class RestartKeeper {
public:
    // Starts keeping the point of `job`, which has started (its statistics exist).
    RestartKeeper(FclRestore& job, uint64_t zendrelNumber, int64_t jobId);
    // Offers the point once more and stops.
    ~RestartKeeper();
    RestartKeeper(const RestartKeeper&) = delete;
    RestartKeeper& operator=(const RestartKeeper&) = delete;

private:
    void run();
    void offer();

    FclRestore& job_;
    std::unique_ptr<FsRestoreRestart> file_;
    std::mutex lock_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread keeper_;
};

}  // namespace fclhost
