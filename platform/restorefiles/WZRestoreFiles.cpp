#include "platform/restorefiles/WZRestoreFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/events/Journal.h"
#include "platform/files/UniqueFd.h"
#include "platform/log/LogWriter.h"
#include "platform/restorefiles/ArchivedItem.h"

namespace {

std::atomic<int> g_stagingWriteFailure{0};

// Writes the part of the item's data that falls in the window [start, end) at its place in the staging file.
class WindowWriter : public wzrestorefiles::ArchivedItemVisitor {
public:
    WindowWriter(int fd, uint64_t start, uint64_t end) : fd_(fd), start_(start), end_(end) {}

    bool data(uint64_t position, const unsigned char* bytes, size_t length) override {
        const uint64_t from = std::max(position, start_);
        const uint64_t to = std::min(position + length, end_);
        if (from < to && !write(bytes + (from - position), static_cast<size_t>(to - from), from - start_)) {
            return false;
        }
        reach(position + length);
        return position + length < end_;
    }
    bool hole(uint64_t position, uint64_t length) override {
        reach(position + length);
        return position + length < end_;
    }

    // The staging file's length: what of the window the item's data reaches.
    uint64_t length() const { return reached_ > start_ ? std::min(reached_, end_) - start_ : 0; }
    int error() const { return error_; }

private:
    bool write(const unsigned char* bytes, size_t length, uint64_t at) {
        while (length != 0) {
            const int injected = g_stagingWriteFailure.load();
            ssize_t wrote = injected != 0 ? -1 : pwrite(fd_, bytes, length, static_cast<off_t>(at));
            if (injected != 0) {
                errno = injected;
            }
            if (wrote < 0 && errno == EINTR) {
                continue;
            }
            if (wrote <= 0) {
                error_ = wrote == 0 ? EIO : errno;
                return false;
            }
            bytes += wrote;
            length -= static_cast<size_t>(wrote);
            at += static_cast<uint64_t>(wrote);
        }
        return true;
    }
    void reach(uint64_t end) { reached_ = std::max(reached_, end); }

    int fd_;
    uint64_t start_;
    uint64_t end_;
    uint64_t reached_ = 0;
    int error_ = 0;
};

// The staging directory, made when missing; false when it is not a directory of its own (a link there is refused).
bool stagingDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        FCL_ERROR("WZRestoreFiles: cannot make the staging directory %s: %s", path.c_str(), strerror(errno));
        return false;
    }
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        FCL_ERROR("WZRestoreFiles: the staging directory %s is not a directory", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

void WZRestoreFiles::setStagingWriteFailure(int err) {
    g_stagingWriteFailure.store(err);
}

int WZRestoreFiles::setOptions(unsigned long options) {
    m_options = options;
    return 1;
}

int WZRestoreFiles::init(const char* clientName, const char*, const char*, int, int, long long jobId,
                         unsigned long long, unsigned long, unsigned long long, unsigned long long, const char*,
                         const char*, void*, void*, void*, void*, long, long) {
    char line[160];
    snprintf(line, sizeof line, "init for client %s job %lld", clientName != nullptr ? clientName : "", jobId);
    wzplatform::journal("WZRestoreFiles", line);
    m_initialised = true;
    return 1;
}

int WZRestoreFiles::setRestoreParameters(const char** sources, int sourceCount, const char**, int*, int,
                                         unsigned long) {
    m_sources.clear();
    for (int i = 0; sources != nullptr && i < sourceCount; ++i) {
        if (sources[i] == nullptr) {
            return 0;
        }
        m_sources.emplace_back(sources[i]);
    }
    return m_sources.empty() ? 0 : 1;
}

int WZRestoreFiles::restoreFile(ArchiveFileId_t archiveFile, unsigned long long offset, unsigned long long nodenum,
                                unsigned long ver, char*, NasRestoreInfo*, int) {
    m_status = kStatusFailed;
    if (!m_initialised || m_sources.empty() || !stagingDirectory(m_sources.front())) {
        return 0;
    }
    const std::string staging = m_sources.front() + "/Extent" + std::to_string(nodenum);
    wzfiles::UniqueFd fd(open(staging.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) {
        m_status = errno == ENOSPC ? kStatusDiskFull : kStatusFailed;
        FCL_ERROR("WZRestoreFiles: cannot create the staging file %s: %s", staging.c_str(), strerror(errno));
        return 1;
    }
    const uint64_t start = static_cast<uint64_t>(ver) * kExtentWindowBytes;
    WindowWriter writer(fd.get(), start, start + kExtentWindowBytes);
    const std::string archive = fclarchive::archiveFilePath(FsRestoreArchive::mediaDirectory(), archiveFile.words[2]);
    std::string why;
    const wzrestorefiles::ReadItemResult read = wzrestorefiles::readArchivedItem(archive, offset, writer, &why);
    if (writer.error() != 0) {
        m_status = writer.error() == ENOSPC ? kStatusDiskFull : kStatusFailed;
        FCL_ERROR("WZRestoreFiles: cannot write the staging file %s: %s", staging.c_str(), strerror(writer.error()));
        return 1;
    }
    if (read == wzrestorefiles::ReadItemResult::kDamaged) {
        FCL_ERROR("WZRestoreFiles: extent %llu of %s at offset %llu not restored: %s", nodenum, archive.c_str(), offset,
                  why.c_str());
        return 1;
    }
    if (ftruncate(fd.get(), static_cast<off_t>(writer.length())) != 0) {
        m_status = errno == ENOSPC ? kStatusDiskFull : kStatusFailed;
        return 1;
    }
    m_status = kStatusRestored;
    return 1;
}

int WZRestoreFiles::WaitForStatusOfExtentFile() {
    return m_status;
}

int WZRestoreFiles::finalize(int status, unsigned long options, bool flag) {
    char line[160];
    snprintf(line, sizeof line, "finalize status %d options 0x%lx flag %s unregister job %s", status, options,
             flag ? "true" : "false", m_doNotUnRegisterJob ? "no" : "yes");
    wzplatform::journal("WZRestoreFiles", line);
    m_initialised = false;
    return 1;
}
