#pragma once
// The restore-head session of one open archive file: two joined sessions, the engine's end handed out by the
// open, and on the other end a thread that turns the restore head's messages into the data mover's requests in
// the order they come:
//   FSR_MSG_READ_ALL -> readAll; FSR_MSG_SEEK_TO_OFFSET, _10 and _10_V2 -> seek (the entries' offsets);
//   FSR_MSG_PROBE_RESTORE_HEAD -> probe (its count); FSR_MSG_CLOSE_ARCHIVE -> close; FSR_MSG_KEEPALIVE ->
//   keepalive; FSR_MSG_STOP -> stop. The forwarded open, the restore end, chunks and snap sources ask nothing of
//   this mover and are logged.
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "platform/support/CQiError.h"

class CWzNetwork;

namespace fclarchive {

class ArchiveMover;

class RestoreHeadSession {
public:
    // Joins the two ends and starts the thread; an error when either cannot be had.
    static CQiError start(ArchiveMover& mover, uint64_t archiveFileId, std::unique_ptr<RestoreHeadSession>* session);
    ~RestoreHeadSession();
    RestoreHeadSession(const RestoreHeadSession&) = delete;
    RestoreHeadSession& operator=(const RestoreHeadSession&) = delete;

    // The engine's end; valid until close.
    CWzNetwork* engineEnd() const { return engineEnd_.get(); }
    // Ends the thread; once this returns nothing reaches the mover any more. The engine's end comes back shut
    // down (a send on it fails) for the caller to keep while the engine may still hold its address.
    std::unique_ptr<CWzNetwork> close();

private:
    RestoreHeadSession(ArchiveMover& mover, uint64_t archiveFileId);
    void run();
    void dispatch(unsigned long code, const char* record);

    ArchiveMover& mover_;
    const uint64_t archiveFileId_;
    std::unique_ptr<CWzNetwork> engineEnd_;
    std::unique_ptr<CWzNetwork> moverEnd_;
    std::atomic<bool> closed_{false};
    std::thread thread_;
};

}  // namespace fclarchive
