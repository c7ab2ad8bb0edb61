#include "platform/timestamps/FolderTimeSetter.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "platform/files/FileCalls.h"
#include "platform/files/UniqueFd.h"
#include "protocol/TimeValues.h"

namespace wztimestamps {

namespace {

const long long kTicksPerSecond = 10000000LL;

struct timespec timeOf(long long ticks) {
    struct timespec time;
    if (ticks == 0) {
        time.tv_sec = 0;
        time.tv_nsec = UTIME_OMIT;
        return time;
    }
    long long sinceEpoch = ticks - CTimeStamp::kUnixEpochTicks;
    long long seconds = sinceEpoch / kTicksPerSecond;
    long long rest = sinceEpoch % kTicksPerSecond;
    if (rest < 0) {
        seconds -= 1;
        rest += kTicksPerSecond;
    }
    time.tv_sec = static_cast<time_t>(seconds);
    time.tv_nsec = static_cast<long>(rest * 100);
    return time;
}

}  // namespace

int setFolderTimes(const char* path, long long accessTicks, long long modifiedTicks, bool throughLink) {
    // O_PATH: a folder restored without read or search permission for its owner still gets its times.
    wzfiles::UniqueFd folder(open_utf(path, O_PATH | O_DIRECTORY | O_CLOEXEC | (throughLink ? 0 : O_NOFOLLOW)));
    if (!folder.valid()) {
        return errno;
    }
    struct stat st;
    if (::fstat(folder.get(), &st) != 0) {
        return errno;
    }
    if (!S_ISDIR(st.st_mode)) {
        return ENOTDIR;
    }
    const struct timespec times[2] = {timeOf(accessTicks), timeOf(modifiedTicks)};
    if (times[0].tv_nsec == UTIME_OMIT && times[1].tv_nsec == UTIME_OMIT) {
        return 0;
    }
    if (::utimensat(folder.get(), "", times, AT_EMPTY_PATH) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // Kernels without the AT_EMPTY_PATH form reach the opened folder through /proc.
    char proc[32];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", folder.get());
    return ::utimensat(AT_FDCWD, proc, times, 0) == 0 ? 0 : errno;
}

}  // namespace wztimestamps
