#include "platform/support/FXMisc.h"

#include <sys/stat.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/log/LogWriter.h"
#include "platform/settings/PlatformPaths.h"
#include "platform/threads/Deadline.h"

namespace {

bool present(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace

int FXMisc::WaitForHookFile(const char* name, unsigned int jobId, unsigned int limitSeconds) {
    if (name == nullptr || *name == '\0' || std::string(name).find('/') != std::string::npos) {
        return 0;
    }
    const std::string base = wzplatform::runDirectory() + "/" + name;
    const std::string forJob = base + "." + std::to_string(jobId);
    if (!present(base) && !present(forJob)) {
        return 0;
    }
    const unsigned int seconds = limitSeconds != 0 ? limitSeconds : kDefaultHookWaitSeconds;
    FCL_LOG(0, "Hook file [%s] found, waiting up to %u seconds for it to go",
            present(base) ? base.c_str() : forJob.c_str(), seconds);
    wzlog::flushLog();  // whoever watches the log sees why the job stands still
    wzthreads::Deadline deadline(static_cast<unsigned long>(seconds) * 1000);
    while (present(base) || present(forJob)) {
        if (deadline.passed()) {
            FCL_ERROR("Hook file [%s] still there after %u seconds, going on", name, seconds);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    FCL_LOG(0, "Hook file [%s] removed, going on", name);
    return 0;
}
