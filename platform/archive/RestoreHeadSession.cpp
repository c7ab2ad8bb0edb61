#include "platform/archive/RestoreHeadSession.h"

#include <cerrno>
#include <system_error>
#include <vector>

#include "platform/archive/ArchiveMover.h"
#include "platform/log/LogWriter.h"
#include "platform/session/CWzNetwork.h"
#include "platform/support/FXErrorUtil.h"
#include "protocol/FsrMessages.h"
#include "protocol/FsrRecords.h"

namespace fclarchive {

namespace {

// The offsets of a seek array of any of the three forms, in the order given.
template <typename Array>
std::vector<uint64_t> offsetsOf(const char* record) {
    std::vector<uint64_t> offsets;
    if (record == nullptr) {
        return offsets;
    }
    const Array& array = *reinterpret_cast<const Array*>(record);
    offsets.reserve(array.count);
    for (uint32_t i = 0; i < array.count; ++i) {
        offsets.push_back(array.entries[i].offset);
        FCL_LOG(5, "Restore head: seek [%llu:%04llX]", static_cast<unsigned long long>(array.entries[i].offset),
                static_cast<unsigned long long>(array.entries[i].flags));
    }
    return offsets;
}

int errnoOf(const CQiError& error) {
    int code = FXErrorUtil::GetCode(error);
    return code > 0 ? code : EIO;
}

}  // namespace

RestoreHeadSession::RestoreHeadSession(ArchiveMover& mover, uint64_t archiveFileId)
    : mover_(mover), archiveFileId_(archiveFileId) {}

RestoreHeadSession::~RestoreHeadSession() {
    close();
}

CQiError RestoreHeadSession::start(ArchiveMover& mover, uint64_t archiveFileId,
                                   std::unique_ptr<RestoreHeadSession>* session) {
    std::unique_ptr<RestoreHeadSession> made(new RestoreHeadSession(mover, archiveFileId));
    CQiError error = CWzNetwork::makePair(&made->engineEnd_, &made->moverEnd_);
    if (error.IsError()) {
        return error;
    }
    if (made->engineEnd_->isBroken() || made->moverEnd_->isBroken()) {
        return FXErrorUtil::ErrorErrNo(FX_HERE, EIO, "the restore-head session of %s cannot be set up",
                                       mover.name().c_str());
    }
    try {
        made->thread_ = std::thread(&RestoreHeadSession::run, made.get());
    } catch (const std::system_error& failure) {
        int code = failure.code().value() != 0 ? failure.code().value() : EAGAIN;
        return FXErrorUtil::ErrorErrNo(FX_HERE, code, "the restore-head session of %s cannot start: %s",
                                       mover.name().c_str(), failure.what());
    }
    *session = std::move(made);
    return CQiError::Success();
}

std::unique_ptr<CWzNetwork> RestoreHeadSession::close() {
    closed_.store(true);
    if (moverEnd_) {
        moverEnd_->shutdown();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    moverEnd_.reset();
    if (engineEnd_) {
        engineEnd_->shutdown();
    }
    return std::move(engineEnd_);
}

void RestoreHeadSession::run() {
    wzsDatabuf_v2 buffer;
    for (;;) {
        unsigned long code = 0;
        bool timedOut = false;
        CQiError error = moverEnd_->ReceiveXDRMessage(&code, &buffer, nullptr, 0, -1, timedOut);
        if (closed_.load()) {
            return;
        }
        if (error.IsError()) {
            // A request lost here leaves the stream short of what the engine waits for: the stream fails instead,
            // and the session ends so that the engine's next send fails rather than waiting for a reader.
            FCL_ERROR("Restore-head session of %s: %s", mover_.name().c_str(), error.AsString().c_str());
            moverEnd_->shutdown();
            mover_.abandon(errnoOf(error), error.AsString());
            return;
        }
        dispatch(code, buffer.getDataBuffer());
        moverEnd_->FreeReceivedMessage(code, &buffer);
    }
}

void RestoreHeadSession::dispatch(unsigned long code, const char* record) {
    const char* name = mover_.name().c_str();
    switch (code) {
        case FSR_MSG_OPEN_ARCHIVE: {
            if (record == nullptr) {
                FCL_ERROR("Restore head: FSR_MSG_OPEN_ARCHIVE for %s carries no record", name);
                return;
            }
            const auto& open = *reinterpret_cast<const FSROpenArchive*>(record);
            if (open.archiveFileId != archiveFileId_) {
                FCL_ERROR("Restore head: open of archive %llu received while %s (archive %llu) is open",
                          static_cast<unsigned long long>(open.archiveFileId), name,
                          static_cast<unsigned long long>(archiveFileId_));
                return;
            }
            FCL_LOG(2, "Restore head: archive %llu open with copy %llu",
                    static_cast<unsigned long long>(archiveFileId_), static_cast<unsigned long long>(open.copyId));
            return;
        }
        case FSR_MSG_READ_ALL:
            mover_.readAll();
            return;
        case FSR_MSG_SEEK_TO_OFFSET:
            mover_.seek(offsetsOf<FSRSeekArchiveArray>(record));
            return;
        case FSR_MSG_SEEK_TO_OFFSET_10:
            mover_.seek(offsetsOf<FSRSeekArchiveArray_10>(record));
            return;
        case FSR_MSG_SEEK_TO_OFFSET_10_V2:
            mover_.seek(offsetsOf<FSRSeekArchiveArray_10_V2>(record));
            return;
        case FSR_MSG_PROBE_RESTORE_HEAD: {
            // A marker without its count is still answered, so the engine's seek window keeps opening.
            int64_t count = record != nullptr ? reinterpret_cast<const FSRProbeRstHead*>(record)->numSeekMsgs : 0;
            FCL_LOG(2, "Restore head: seek marker %lld for %s", static_cast<long long>(count), name);
            mover_.probe(count);
            return;
        }
        case FSR_MSG_CLOSE_ARCHIVE:
            mover_.close();
            return;
        case FSR_MSG_KEEPALIVE:
            mover_.keepalive();
            return;
        case FSR_MSG_STOP:
            FCL_LOG(1, "Restore head: stop; %s streams nothing more", name);
            mover_.stop();
            return;
        case FSR_MSG_RESTORE_END:
            FCL_LOG(2, "Restore head: the restore has ended (%s)", name);
            return;
        case FSR_MSG_OPEN_CHUNK:
            FCL_LOG(2, "Restore head: chunk %llu of %s",
                    record != nullptr
                        ? static_cast<unsigned long long>(reinterpret_cast<const FSROpenChunk*>(record)->chunkId)
                        : 0ull,
                    name);
            return;
        case FSR_MSG_SNAP_SRC_PATH: {
            const char* path = record != nullptr ? reinterpret_cast<const FSRSnapSrcPath*>(record)->path : nullptr;
            FCL_LOG(2, "Restore head: snap source %s accepted; %s holds no snapshots",
                    path != nullptr ? path : "(none)", name);
            return;
        }
        case FSR_MSG_SNAP_SRC_PATH_ARRAY: {
            uint32_t count = record != nullptr ? reinterpret_cast<const FSRSnapSrcPathArray*>(record)->count : 0;
            FCL_LOG(2, "Restore head: %u snap sources accepted; %s holds no snapshots", count, name);
            return;
        }
        default:
            FCL_ERROR("Restore head: %s is no request of the restore head; ignored", WZS_PRIM_STRING(code));
            return;
    }
}

}  // namespace fclarchive
