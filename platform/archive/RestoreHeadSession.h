#pragma once
// The seam between the data mover and the restore-head session. Once the session library is there, the engine
// gets its end of a session here and the other end drives the mover's core:
//   FSR_MSG_READ_ALL -> readAll, FSR_MSG_SEEK_TO_OFFSET -> seek (the entries' offsets),
//   FSR_MSG_PROBE_RESTORE_HEAD -> probe (its count), FSR_MSG_CLOSE_ARCHIVE -> close, FSR_MSG_STOP -> stop,
//   keep-alive -> keepalive; the forwarded FSR_MSG_OPEN_ARCHIVE needs no action.
// Until then it yields no session.
class CWzNetwork;

namespace fclarchive {

class ArchiveMover;

class RestoreHeadSession {
  public:
    explicit RestoreHeadSession(ArchiveMover& mover);
    ~RestoreHeadSession();
    RestoreHeadSession(const RestoreHeadSession&) = delete;
    RestoreHeadSession& operator=(const RestoreHeadSession&) = delete;

    // The engine's end of the session; null while the session library is not built.
    CWzNetwork* engineEnd() const { return engineEnd_; }

  private:
    ArchiveMover& mover_;
    CWzNetwork* engineEnd_ = nullptr;
};

}  // namespace fclarchive
