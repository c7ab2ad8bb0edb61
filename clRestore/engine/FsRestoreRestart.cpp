#include "clRestore/engine/FsRestoreRestart.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/events/EvDebug.h"
#include "platform/events/EvEvent.h"
#include "platform/files/FileCalls.h"
#include "platform/files/WholeIo.h"
#include "platform/settings/PlatformPaths.h"
#include "platform/settings/WZPlatformAgents.h"

namespace {

const char kInitLabel[] = "FsRestoreRestart::init";
const char kReadLabel[] = "FsRestoreRestart::readContents";
const char kUpdateLabel[] = "FsRestoreRestart::updateRestartInfo";

std::string agentDirectory() {
    const std::string client = WZPI_Focus::getFocusClientName(true);
    WZPI_FileSystemAgent agent(client.c_str());
    if (agent.invalidApplicationAgentType() != 0) {
        return std::string();
    }
    return agent.getAgentDirectory();
}

}  // namespace

FsRestoreRestart::FsRestoreRestart()
    : _statistics(nullptr), _fd(-1), _record(), lastWriteBytes(0), _logger(new EvEvent), mustRead(1) {}

FsRestoreRestart::~FsRestoreRestart() {
    if (_fd >= 0 && close(_fd) != 0) {
        EvDebug::Debug(_logger, "FsRestoreRestart::~FsRestoreRestart", "Error [%d] when closing restart file.", errno);
    }
    delete _logger;
}

int FsRestoreRestart::init(unsigned long zendrelNumber, long long jobId, FsRestoreStatistics* statistics) {
    _statistics = statistics;
    std::memset(&_record, 0, sizeof _record);
    // A second init starts over on the file it names.
    if (_fd >= 0) {
        close(_fd);
        _fd = -1;
    }
    mustRead = 1;

    const std::string agent = agentDirectory();
    if (agent.empty()) {
        EvDebug::Debug(_logger, kInitLabel, "Error [%lx] when obtaining filesystem agent directory",
                       WZPI_FileSystemAgent().getLastError());
        return 0;
    }
    std::string directory =
        agent + "/RestoreRestart/" + std::to_string(static_cast<long>(zendrelNumber)) + "/" + std::to_string(jobId);
    const std::string path = directory + "/RestartInfo";
    if (path.size() > kMaxPathLength) {
        EvDebug::Debug(_logger, kInitLabel, "Restart file path of %zu characters is longer than %zu: [%s]", path.size(),
                       kMaxPathLength, path.c_str());
        return 0;
    }
    // Its result is not looked at: a directory that is not there shows at the open.
    wzplatform::makeDirectories(directory);

    // The record is never read or written through a link planted in its place, nor on its way: the directories
    // were made and entered without following one.
    const int fd = open_utf(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        EvDebug::Debug(_logger, kInitLabel, "Error [%d] while creating [%s]", errno, path.c_str());
        return 0;
    }
    _fd = fd;
    return 1;
}

int FsRestoreRestart::readContents() {
    if (mustRead == 0) {
        return 1;
    }
    if (lseek64(_fd, 0, SEEK_SET) != 0) {
        EvDebug::Debug(_logger, kReadLabel, "Error [%d] from seeking to start", errno);
        return 0;
    }
    // Read aside: a short record never replaces the one in memory.
    RestartRecord record;
    const ssize_t got = wzfiles::readFully(_fd, &record, sizeof record);
    if (got != static_cast<ssize_t>(sizeof record)) {
        EvDebug::Debug(_logger, kReadLabel, "Error [%d] from reading [%d] bytes, retcode [%d].", errno,
                       static_cast<int>(sizeof record), static_cast<int>(got));
        return 0;
    }
    _record = record;
    mustRead = 0;
    return 1;
}

unsigned long FsRestoreRestart::getRestartFileNum() {
    return readContents() != 0 ? static_cast<unsigned long>(_record.fileNum) : 0;
}

char* FsRestoreRestart::getRestartFileName() {
    return readContents() != 0 ? _record.fileName : nullptr;
}

int FsRestoreRestart::updateRestartInfo(char* name) {
    if (_statistics == nullptr) {
        EvDebug::Debug(_logger, kUpdateLabel, "The restart file is not initialized");
        return 0;
    }
    if (_statistics->getNumBytes() - lastWriteBytes < kWriteEveryBytes) {
        return 1;
    }
    // Built aside: a failed write leaves the record in memory as the file holds it.
    RestartRecord record;
    std::memset(&record, 0, sizeof record);
    record.fileNum = _statistics->getCurrFileNum();
    if (name != nullptr) {
        std::memcpy(record.fileName, name, strnlen(name, sizeof record.fileName));
    }
    if (lseek64(_fd, 0, SEEK_SET) != 0) {
        EvDebug::Debug(_logger, kUpdateLabel, "Error [%d] from seeking to start", errno);
        return 0;
    }
    const size_t put = wzfiles::writeFully(_fd, &record, sizeof record);
    if (put != sizeof record) {
        EvDebug::Debug(_logger, kUpdateLabel, "Error [%d] from writing [%d] bytes, retcode [%d].", errno,
                       static_cast<int>(sizeof record), static_cast<int>(put));
        return 0;
    }
    _record = record;
    lastWriteBytes = _statistics->getNumBytes();
    return 1;
}
