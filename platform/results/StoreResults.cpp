#include "platform/results/StoreResults.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/log/LogWriter.h"
#include "platform/results/ResultsText.h"
#include "platform/settings/PlatformPaths.h"

namespace {

const char kStoreFileName[] = "restore.results";
const char kRawFileName[] = "restore.out";

std::string jobDirectory(unsigned int zendrelNumber, long long jobId) {
    char tail[64];
    snprintf(tail, sizeof tail, "/%u/%lld/", zendrelNumber, jobId);
    return wzplatform::resultsDirectory() + tail;
}

int armed(wzfault::FaultCounter& faults) {
    int error = 0;
    if (!faults.take(&error)) {
        return 0;
    }
    return error != 0 ? error : EIO;
}

}  // namespace

StoreResults::StoreResults(unsigned int zendrelNumber, long long jobId, bool, const char* name)
    : directory_(jobDirectory(zendrelNumber, jobId)),
      fileName_(name != nullptr && *name != '\0' ? name : kStoreFileName) {}

StoreResults::~StoreResults() {
    closeFile();
}

wzfault::FaultCounter& StoreResults::openFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

wzfault::FaultCounter& StoreResults::writeFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

std::string StoreResults::getDirectory() const {
    return directory_;
}

std::string StoreResults::filePath() const {
    return directory_ + fileName_;
}

int StoreResults::prepareDirectory(int kind) {
    if (kind != kRestoreResults) {
        return EINVAL;
    }
    if (int error = armed(openFaults())) {
        return error;
    }
    return wzplatform::makeDirectories(directory_) ? 0 : errno;
}

int StoreResults::openFile(int kind, bool, bool) {
    if (int error = prepareDirectory(kind)) {
        return error;
    }
    int fd = wzplatform::openFile(filePath(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) {
        return errno;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ >= 0) {
        writePendingLocked();
        ::close(fd_);
    }
    fd_ = fd;
    return 0;
}

int StoreResults::openRaw(int kind, std::string& path) {
    if (int error = prepareDirectory(kind)) {
        return error;
    }
    path = directory_ + kRawFileName;
    return 0;
}

int StoreResults::putLine(const char* line, bool) {
    return addLine(line, nullptr, true);
}

int StoreResults::setRestoreStatusOnObject(const char* line, int status, bool) {
    return addLine(line, &status, false);
}

int StoreResults::addLine(const char* text, const int* status, bool writeNow) {
    if (int error = armed(writeFaults())) {
        return error;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0) {
        return EBADF;
    }
    const auto now = std::chrono::steady_clock::now();
    if (pending_.empty()) {
        waiting_.begin(now);
    }
    wzresults::appendOneLine(pending_, text);
    if (status != nullptr) {
        pending_ += '\t';
        pending_ += std::to_string(*status);
    }
    pending_ += '\n';
    if (writeNow || pending_.size() >= kPendingBytes || waiting_.olderThan(kPendingAge, now)) {
        return writePendingLocked();
    }
    return 0;
}

int StoreResults::flushPending() {
    std::lock_guard<std::mutex> lock(mutex_);
    return writePendingLocked();
}

int StoreResults::flushIfStale() {
    if (!waiting_.olderThan(kPendingAge, std::chrono::steady_clock::now())) {
        return 0;
    }
    return flushPending();
}

int StoreResults::writePendingLocked() {
    if (pending_.empty()) {
        return 0;
    }
    const int rc = fd_ < 0 ? EBADF : wzlog::writeAll(fd_, pending_);
    pending_.clear();
    waiting_.end();
    return rc;
}

int StoreResults::closeFile() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0) {
        return EBADF;
    }
    const int written = writePendingLocked();
    const int rc = ::close(fd_) == 0 ? 0 : errno;
    fd_ = -1;
    return written != 0 ? written : rc;
}
