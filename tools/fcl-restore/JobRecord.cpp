#include "tools/fcl-restore/JobRecord.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>

#include "platform/archive/ArchiveIndex.h"
#include "platform/log/LogWriter.h"

namespace fclhost {
namespace {

const char* stateName(JobState state) {
    switch (state) {
        case JobState::Running:
            return "running";
        case JobState::Failed:
            return "failed";
        case JobState::Succeeded:
            return "succeeded";
    }
    return "running";
}

bool readState(const std::string& text, JobState* state) {
    for (JobState candidate : {JobState::Running, JobState::Failed, JobState::Succeeded}) {
        if (text == stateName(candidate)) {
            *state = candidate;
            return true;
        }
    }
    return false;
}

// Decimal digits, at most 19 of them.
bool readNumber(const std::string& text, uint64_t* value) {
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    *value = std::stoull(text);
    return true;
}

bool readFlag(const std::string& text, bool* flag) {
    if (text != "0" && text != "1") {
        return false;
    }
    *flag = text == "1";
    return true;
}

// "<seconds>.<nine digits of nanoseconds>"
bool readTime(const std::string& text, timespec* time) {
    size_t dot = text.find('.');
    uint64_t seconds = 0;
    uint64_t nanoseconds = 0;
    if (dot == std::string::npos || text.size() - dot - 1 != 9 || !readNumber(text.substr(0, dot), &seconds) ||
        !readNumber(text.substr(dot + 1), &nanoseconds)) {
        return false;
    }
    time->tv_sec = static_cast<time_t>(seconds);
    time->tv_nsec = static_cast<long>(nanoseconds);
    return true;
}

std::string formatRecord(const JobRecord& record) {
    char started[48];
    snprintf(started, sizeof started, "%lld.%09ld", static_cast<long long>(record.started.tv_sec),
             record.started.tv_nsec);
    std::string text = "job id=" + std::to_string(record.jobId) + "\n";
    text += "zendrel=" + std::to_string(record.zendrelNumber) + "\n";
    text += std::string("started=") + started + "\n";
    text += "media=" + fclarchive::escapeIndexPath(record.mediaDir) + "\n";
    text += "dest=" + fclarchive::escapeIndexPath(record.destDir) + "\n";
    for (const std::string& path : record.paths) {
        text += "path=" + fclarchive::escapeIndexPath(path) + "\n";
    }
    text += "strip=" + std::to_string(record.stripLevel) + "\n";
    text += std::string("overwrite=") + (record.overwrite ? "1" : "0") + "\n";
    text += std::string("no sparse=") + (record.noSparse ? "1" : "0") + "\n";
    text += "map=" + fclarchive::escapeIndexPath(record.mapFile) + "\n";
    text += std::string("state=") + stateName(record.state) + "\n";
    return text;
}

bool parseRecord(std::istream& in, JobRecord* record) {
    std::map<std::string, std::string> values;
    std::vector<std::string> paths;
    std::string line;
    while (std::getline(in, line)) {
        size_t equals = line.find('=');
        if (equals == std::string::npos) {
            return false;
        }
        std::string key = line.substr(0, equals);
        std::string value;
        if (!fclarchive::unescapeIndexPath(line.substr(equals + 1), value)) {
            return false;
        }
        if (key == "path") {
            paths.push_back(value);
        } else {
            values[key] = value;
        }
    }
    uint64_t jobId = 0;
    JobRecord parsed;
    if (!readNumber(values["job id"], &jobId) || !readNumber(values["zendrel"], &parsed.zendrelNumber) ||
        !readTime(values["started"], &parsed.started) || !readNumber(values["strip"], &parsed.stripLevel) ||
        !readFlag(values["overwrite"], &parsed.overwrite) || !readFlag(values["no sparse"], &parsed.noSparse) ||
        !readState(values["state"], &parsed.state) || values["media"].empty() || values["dest"].empty()) {
        return false;
    }
    parsed.jobId = static_cast<int64_t>(jobId);
    parsed.mediaDir = values["media"];
    parsed.destDir = values["dest"];
    parsed.mapFile = values["map"];
    parsed.paths = paths;
    *record = parsed;
    return true;
}

}  // namespace

std::string jobRecordPath(const std::string& resultsDir) {
    return resultsDir + "/job.record";
}

bool writeJobRecord(const std::string& resultsDir, const JobRecord& record, std::string* why) {
    const std::string path = jobRecordPath(resultsDir);
    const std::string fresh = path + ".new";
    int fd = open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *why = "cannot write " + fresh + ": " + strerror(errno);
        return false;
    }
    int error = wzlog::writeAll(fd, formatRecord(record));
    if (error == 0 && fsync(fd) != 0) {
        error = errno;
    }
    if (close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && rename(fresh.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        unlink(fresh.c_str());
        *why = "cannot write " + path + ": " + strerror(error);
        return false;
    }
    return true;
}

bool readJobRecord(const std::string& resultsDir, JobRecord* record, std::string* why) {
    const std::string path = jobRecordPath(resultsDir);
    std::ifstream in(path);
    if (!in) {
        *why = "no job to resume in " + resultsDir + ": " + path + " cannot be read";
        return false;
    }
    if (!parseRecord(in, record)) {
        *why = "no job to resume in " + resultsDir + ": " + path + " is not a whole job record";
        return false;
    }
    return true;
}

namespace {

// The results directory under `base` of the job restoring `mediaDir` into `destDir` that started last, of those not
// succeeded when `unfinishedOnly`; "" when there is none.
std::string findLatestJob(const std::string& base, const std::string& mediaDir, const std::string& destDir,
                          bool unfinishedOnly) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(base.c_str()), closedir);
    if (!dir) {
        return "";
    }
    std::string found;
    timespec latest{};
    while (const dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        std::string candidate = base + "/" + name;
        struct stat st;
        JobRecord record;
        std::string ignored;
        if (name == "." || name == ".." || lstat(candidate.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            !readJobRecord(candidate, &record, &ignored)) {
            continue;
        }
        const bool later = found.empty() || record.started.tv_sec > latest.tv_sec ||
                           (record.started.tv_sec == latest.tv_sec && record.started.tv_nsec > latest.tv_nsec);
        if (record.mediaDir == mediaDir && record.destDir == destDir &&
            (!unfinishedOnly || record.state != JobState::Succeeded) && later) {
            found = candidate;
            latest = record.started;
        }
    }
    return found;
}

}  // namespace

std::string findResumableJob(const std::string& base, const std::string& mediaDir, const std::string& destDir) {
    return findLatestJob(base, mediaDir, destDir, true);
}

std::string findLastJob(const std::string& base, const std::string& mediaDir, const std::string& destDir) {
    return findLatestJob(base, mediaDir, destDir, false);
}

}  // namespace fclhost
