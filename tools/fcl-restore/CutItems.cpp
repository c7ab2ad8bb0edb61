#include "tools/fcl-restore/CutItems.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/archive/ArchiveFormat.h"
#include "tools/fcl-restore/BackupIndex.h"
#include "tools/fcl-restore/HostPaths.h"

namespace fclhost {
namespace {

bool notBefore(const statx_timestamp& time, const timespec& start) {
    return time.tv_sec > start.tv_sec || (time.tv_sec == start.tv_sec && time.tv_nsec >= start.tv_nsec);
}

}  // namespace

timespec fileClockTick(const timespec& since) {
    // File times come from the coarse clock, which may lag the precise one by a tick: wait until it passes `since`.
    for (;;) {
        timespec coarse;
        clock_gettime(CLOCK_REALTIME_COARSE, &coarse);
        if (coarse.tv_sec > since.tv_sec || (coarse.tv_sec == since.tv_sec && coarse.tv_nsec > since.tv_nsec)) {
            return coarse;
        }
        const timespec step = {0, 200 * 1000};
        nanosleep(&step, nullptr);
    }
}

timespec fileClockTick() {
    timespec precise;
    clock_gettime(CLOCK_REALTIME, &precise);
    return fileClockTick(precise);
}

std::string destinationOf(const std::string& destDir, const std::string& sourcePath, uint64_t stripLevel) {
    size_t start = 0;
    for (uint64_t dropped = 0; dropped < stripLevel; ++dropped) {
        size_t slash = sourcePath.find('/', start + 1);
        if (slash == std::string::npos) {
            break;
        }
        start = slash;
    }
    std::string rest = sourcePath.substr(start);
    if (rest.empty() || rest[0] != '/') {
        rest = "/" + rest;
    }
    return destDir == "/" ? rest : destDir + rest;
}

std::vector<std::string> findCutItems(const std::vector<fclarchive::IndexEntry>& items, const JobRecord& job,
                                      std::vector<std::string>* undecided) {
    std::vector<std::string> cut;
    for (const fclarchive::IndexEntry& item : items) {
        if (item.kind != fclarchive::kKindFile || !selects(job.paths, item.path)) {
            continue;
        }
        const std::string path = destinationOf(job.destDir, item.path, job.stripLevel);
        struct statx st;
        if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_NLINK | STATX_MTIME | STATX_BTIME,
                  &st) != 0 ||
            !S_ISREG(st.stx_mode) || st.stx_nlink != 1 || !notBefore(st.stx_mtime, job.started)) {
            continue;
        }
        if ((st.stx_mask & STATX_BTIME) == 0) {
            undecided->push_back(path);
        } else if (notBefore(st.stx_btime, job.started)) {
            cut.push_back(path);
        }
    }
    return cut;
}

bool removeUnfinished(const std::string& path, const std::string& destDir, std::string* why) {
    const size_t slash = path.find_last_of('/');
    const std::string parent = slash == 0 ? "/" : path.substr(0, slash);
    if (slash == std::string::npos || !isWithin(parent, destDir)) {
        *why = path + " does not lie under " + destDir;
        return false;
    }
    if (unlink(path.c_str()) != 0 && errno != ENOENT) {
        *why = "cannot remove " + path + " for a new restore: " + strerror(errno);
        return false;
    }
    return true;
}

}  // namespace fclhost
