#pragma once
// What the host keeps beside a job's results so that --restart can resume the job when it was cut: the job's
// identity, where it restores from and to, its options and how far it came. One "key=value" line each, written whole
// (a new file renamed over the old) so that a cut never leaves half a record.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace fclhost {

enum class JobState {
    Running,    // started and not ended: cut, when no host runs it any more
    Failed,     // ended without restoring everything it asked for
    Succeeded,  // ended with every item it asked for restored
};

struct JobRecord {
    int64_t jobId = 0;
    uint64_t zendrelNumber = 0;
    timespec started{};  // when the job first started, by the file clock (fileClockTick)
    std::string mediaDir;
    std::string destDir;
    std::vector<std::string> paths;
    uint64_t stripLevel = 0;
    bool overwrite = false;
    bool noSparse = false;
    std::string mapFile;
    JobState state = JobState::Running;
};

// `<resultsDir>/job.record`.
std::string jobRecordPath(const std::string& resultsDir);
bool writeJobRecord(const std::string& resultsDir, const JobRecord& record, std::string* why);
// False with a reason when the file is missing or is not a whole record.
bool readJobRecord(const std::string& resultsDir, JobRecord* record, std::string* why);

// The results directory under `base` (the default results directories' parent) of the job restoring `mediaDir`
// into `destDir` that started last and did not succeed; "" when there is none.
std::string findResumableJob(const std::string& base, const std::string& mediaDir, const std::string& destDir);
// The same for the job that started last, whatever its state.
std::string findLastJob(const std::string& base, const std::string& mediaDir, const std::string& destDir);

}  // namespace fclhost
