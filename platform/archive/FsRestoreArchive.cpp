#include "platform/archive/FsRestoreArchive.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/ArchiveHooks.h"
#include "platform/archive/ArchiveMover.h"
#include "platform/archive/RestoreHeadSession.h"
#include "platform/log/LogWriter.h"
#include "platform/session/CWzNetwork.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/support/TextFormat.h"

namespace {

std::mutex g_mediaMutex;
std::string g_mediaDirectory;

// Nothing in this stand-in names a copy: every archive file is read from its one copy.
constexpr uint64_t kPrimaryCopy = 1;

std::string textOf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string textOf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = wztext::vformat(format, args);
    va_end(args);
    return text;
}

}  // namespace

FsRestoreArchive::FsRestoreArchive(WZJobCtrlClient*, ProxyRestore*, const char* clientName)
    : clientName_(clientName != nullptr ? clientName : "") {}

FsRestoreArchive::~FsRestoreArchive() {
    stopMover();
}

void FsRestoreArchive::setMediaDirectory(const std::string& directory) {
    std::lock_guard<std::mutex> lock(g_mediaMutex);
    g_mediaDirectory = directory;
}

std::string FsRestoreArchive::mediaDirectory() {
    {
        std::lock_guard<std::mutex> lock(g_mediaMutex);
        if (!g_mediaDirectory.empty()) {
            return g_mediaDirectory;
        }
    }
    const char* fromEnvironment = getenv("FCL_MEDIA_DIR");
    return fromEnvironment != nullptr ? fromEnvironment : "";
}

void FsRestoreArchive::setSequenceNumber(long long sequence) {
    sequence_ = sequence;
}

void FsRestoreArchive::setPerfCounterInfo(PerfCounter* counters, std::vector<_rstrPerfCounterInfo>*) {
    perfCounter_ = counters;
}

void FsRestoreArchive::setOptions(unsigned long long options) {
    options_ = options;
}

int FsRestoreArchive::PreOpenArchiveFile(FSRPreOpenArchive*) {
    FCL_LOG(2, "Archive pre-open: every archive file of the media directory is a normal one");
    return 0;
}

int FsRestoreArchive::open(OpenArgs_t* args, OpenRet_t* ret) {
    // A new open ends the previous archive's stream; its reader has finished by now.
    stopMover();
    setLastError(std::string());
    const unsigned long long id = args->archiveFileId;
    if (int injected = fclarchive::hooks::takeOpenFailure()) {
        return refuseOpen(injected, textOf("archive file %llu: open fails by test hook with %d", id, injected));
    }
    std::string directory = mediaDirectory();
    if (directory.empty()) {
        return refuseOpen(ENOENT, textOf("no media directory is set: cannot open archive file %llu", id));
    }
    std::string path = fclarchive::archiveFilePath(directory, args->archiveFileId);
    // Not blocking, so that a FIFO planted at the name is refused below rather than waited on.
    wzfiles::UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) {
        int error = errno;
        return refuseOpen(error, textOf("cannot open archive file %s: %s", path.c_str(), strerror(error)));
    }
    struct stat info;
    if (fstat(file.get(), &info) != 0) {
        int error = errno;
        return refuseOpen(error,
                          textOf("cannot read the status of archive file %s: %s", path.c_str(), strerror(error)));
    }
    if (!S_ISREG(info.st_mode)) {
        return refuseOpen(EINVAL, textOf("archive file %s is not a regular file", path.c_str()));
    }
    ring_.reset();
    ring_.resize(fclarchive::BufferRing::slotsFor(static_cast<uint64_t>(info.st_size)));
    std::unique_ptr<fclarchive::ArchiveMover> mover;
    try {
        mover.reset(new fclarchive::ArchiveMover(ring_, std::move(file), static_cast<uint64_t>(info.st_size), path,
                                                 args->archiveFileId));
    } catch (const std::system_error& error) {
        return refuseOpen(error.code().value() != 0 ? error.code().value() : EAGAIN,
                          textOf("cannot start the data mover of %s: %s", path.c_str(), error.what()));
    }
    std::unique_ptr<fclarchive::RestoreHeadSession> session;
    CQiError error = fclarchive::RestoreHeadSession::start(*mover, args->archiveFileId, &session);
    if (error.IsError()) {
        int code = FXErrorUtil::GetCode(error);
        return refuseOpen(code > 0 ? code : EIO,
                          textOf("cannot open archive file %s: %s", path.c_str(), error.AsString().c_str()));
    }
    mover_ = std::move(mover);
    session_ = std::move(session);
    ret->headSession = session_->engineEnd();
    if (fclarchive::hooks::takeHeadSendFailure()) {
        ret->headSession->injectSendErrors(1, EPIPE);
    }
    ret->copyId = kPrimaryCopy;
    ret->archFileAppType = fclarchive::kArchiveAppType;
    running_ = true;
    FCL_LOG(1, "Opened archive file %s (%lld bytes)", path.c_str(), static_cast<long long>(info.st_size));
    return 0;
}

int FsRestoreArchive::refuseOpen(int error, const std::string& why) {
    FCL_ERROR("Archive open: %s", why.c_str());
    setLastError(why);
    return error;
}

void FsRestoreArchive::setLastError(const std::string& why) {
    std::lock_guard<std::mutex> lock(lastErrorMutex_);
    lastError_ = why;
}

std::string FsRestoreArchive::lastErrorText() const {
    std::lock_guard<std::mutex> lock(lastErrorMutex_);
    return lastError_;
}

bool FsRestoreArchive::isPipeLineRunning() {
    return running_;
}

int FsRestoreArchive::readBuffer(ReadBufArgs_t* args, ReadBufRet_t* ret) {
    ret->bufType = 0;
    ret->payloadLength = 0;
    ret->buffer = nullptr;
    ret->errorCode = 0;
    fclarchive::RingSlot* slot = nullptr;
    int error = 0;
    fclarchive::BufferRing::Take taken = fclarchive::BufferRing::Take::kIdle;
    if (args != nullptr && args->beforeWait != nullptr) {
        taken = ring_.take(slot, error, std::chrono::milliseconds(0));
        if (taken == fclarchive::BufferRing::Take::kIdle) {
            args->beforeWait(args->context);
        }
    }
    if (taken == fclarchive::BufferRing::Take::kIdle) {
        taken = ring_.take(slot, error, kIdleWait);
    }
    switch (taken) {
        case fclarchive::BufferRing::Take::kBuffer:
            ret->bufType = slot->type;
            ret->payloadLength = slot->payloadLength;
            ret->buffer = slot->bytes();
            return 1;
        case fclarchive::BufferRing::Take::kIdle:
            return 1;
        case fclarchive::BufferRing::Take::kFailed: {
            ret->errorCode = error;
            std::string why = ring_.failureText();
            setLastError(why.empty() ? std::string("archive read failed: ") + strerror(error) : why);
            return 0;
        }
    }
    return 0;
}

int FsRestoreArchive::freeBuffer(FreeBufArgs_t*, FreeBufRet_t*) {
    if (!ring_.release()) {
        FCL_ERROR("Buffer given back while none was handed out");
        return 0;
    }
    return 1;
}

bool FsRestoreArchive::isWZArchive() {
    return true;
}

bool FsRestoreArchive::handleRestoreHeadMessage(unsigned long code, wzsDatabuf*) {
    FCL_ERROR("Restore-head message 0x%lx offered to the archive reader, which takes none", code);
    return false;
}

void FsRestoreArchive::SendRestorePerfCounters(bool final) {
    if (final) {
        FCL_LOG(5, "Archive reader: final performance counters of client %s", clientName_.c_str());
    }
}

unsigned long long FsRestoreArchive::GetResourceConsumerId() {
    return 0;
}

int FsRestoreArchive::closePipeline(void*, void*) {
    stopMover();
    ring_.wakeConsumer();
    return 0;
}

void FsRestoreArchive::stopMover() {
    running_ = false;
    // The session goes first, so nothing drives the mover once it is gone. The engine keeps the session's address
    // until its next open answers, and a thread of its own may still send a keep-alive on it meanwhile: the closed
    // end stays allocated (its sends fail) until the session after it is closed in turn.
    if (session_) {
        retiredEnd_ = session_->close();
        session_.reset();
    }
    mover_.reset();
}
