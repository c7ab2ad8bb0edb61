#pragma once
// The folder times a job has queued, kept compactly: all names in one buffer and a fixed 40-byte record per folder,
// so 100,000 folders with 100-byte paths take about 14 MB. The store refuses folders beyond its byte limit instead of
// growing without bound; such a folder keeps the times it was restored with.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace wztimestamps {

// A folder of the job's own; other values name the task of a distributed restore.
constexpr int kOwnTask = -1;

struct QueuedFolder {
    const char* path;           // NUL-terminated
    const char* reportingName;  // NUL-terminated; empty when the folder is reported under its path
    long long accessTicks;      // CTimeStamp ticks; 0 leaves the time as it is
    long long modifiedTicks;
    int taskId;
    bool throughLink;  // reached through the user's link at its name (CTimestampData::SetThroughLink)
};

class TimestampStore {
public:
    static constexpr size_t kDefaultLimitBytes = size_t(256) << 20;

    explicit TimestampStore(size_t limitBytes = kDefaultLimitBytes) : limit_(limitBytes) {}

    // False, and nothing kept, when the folder would take the store past its limit.
    bool add(const std::string& path, const std::string& reportingName, long long accessTicks, long long modifiedTicks,
             int taskId, bool throughLink = false);
    size_t size() const { return records_.size(); }
    // Folders queued for the tasks of a distributed restore.
    size_t taskFolders() const { return taskFolders_; }
    size_t bytesUsed() const { return names_.size() + records_.size() * sizeof(Record); }
    // Deeper folders before shallower ones; folders of one depth in the order they were added, so a folder queued
    // twice ends with its later times.
    void forEachDeepestFirst(const std::function<void(const QueuedFolder&)>& visit) const;
    // Forgets every folder and gives the memory back.
    void clear();

private:
    struct Record {
        uint64_t nameOffset;  // path, NUL, reporting name, NUL
        uint32_t pathLength;
        uint32_t depth : 31;
        uint32_t throughLink : 1;
        int64_t accessTicks;
        int64_t modifiedTicks;
        int32_t taskId;
        uint32_t reportingLength;
    };

    std::vector<char> names_;
    std::vector<Record> records_;
    size_t taskFolders_ = 0;
    size_t limit_;
};

}  // namespace wztimestamps
