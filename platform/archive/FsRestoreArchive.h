#pragma once
// The archive reader of the platform: opens the archive files of the media directory, runs a data mover for
// the open one and hands its stream to the job as typed buffers.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/archive/ArchiveRecords.h"
#include "platform/archive/BufferRing.h"

class CWzNetwork;
class WZJobCtrlClient;
class ProxyRestore;
class PerfCounter;
class wzsDatabuf;
struct FSRPreOpenArchive;
struct _rstrPerfCounterInfo;

namespace fclarchive {
class ArchiveMover;
class RestoreHeadSession;
}  // namespace fclarchive

class FsRestoreArchive {
public:
    // The longest a read waits when nothing is queued, so the reader sees its stop flag.
    static constexpr std::chrono::milliseconds kIdleWait{100};

    FsRestoreArchive(WZJobCtrlClient* jobControl, ProxyRestore* proxy, const char* clientName);
    virtual ~FsRestoreArchive();
    FsRestoreArchive(const FsRestoreArchive&) = delete;
    FsRestoreArchive& operator=(const FsRestoreArchive&) = delete;

    // Where archive files are found: the directory set here, else the environment's FCL_MEDIA_DIR.
    static void setMediaDirectory(const std::string& directory);
    static std::string mediaDirectory();

    virtual void setSequenceNumber(long long sequence);
    virtual void setPerfCounterInfo(PerfCounter* counters, std::vector<_rstrPerfCounterInfo>* list);
    virtual void setOptions(unsigned long long options);
    // 0: done.
    virtual int PreOpenArchiveFile(FSRPreOpenArchive* request);
    // 0 with the result filled, or an errno.
    virtual int open(OpenArgs_t* args, OpenRet_t* ret);
    virtual bool isPipeLineRunning();
    // Non-zero when the read succeeded (with or without a buffer); 0 with the error code when it failed.
    virtual int readBuffer(ReadBufArgs_t* args, ReadBufRet_t* ret);
    // Why the last open or read failed, naming the archive file and, for a read, the offset ("checksum mismatch in
    // <file> at offset N", "<file> ends inside a buffer at offset N", ...); empty when neither failed since the
    // last open began.
    virtual std::string lastErrorText() const;
    // Gives back the buffer handed out last.
    virtual int freeBuffer(FreeBufArgs_t* args, FreeBufRet_t* ret);
    virtual bool isWZArchive();
    virtual bool handleRestoreHeadMessage(unsigned long code, wzsDatabuf* payload);
    virtual void SendRestorePerfCounters(bool final);
    virtual unsigned long long GetResourceConsumerId();
    virtual int closePipeline(void* args, void* ret);

    // The data mover of the open archive file (null when none): what the restore-head session drives.
    fclarchive::ArchiveMover* mover() const { return mover_.get(); }
    unsigned long long options() const { return options_; }
    // Buffers handed out by readBuffer and not yet given back.
    size_t buffersHandedOut() const { return ring_.handedOut(); }
    long long sequenceNumber() const { return sequence_; }

private:
    void stopMover();
    // Logs and keeps `why`; answers `error`.
    int refuseOpen(int error, const std::string& why);
    void setLastError(const std::string& why);

    std::string clientName_;
    long long sequence_ = 0;
    unsigned long long options_ = 0;
    PerfCounter* perfCounter_ = nullptr;
    int preOpenKind_ = 0;
    fclarchive::BufferRing ring_;
    std::unique_ptr<fclarchive::ArchiveMover> mover_;
    std::unique_ptr<fclarchive::RestoreHeadSession> session_;
    std::unique_ptr<CWzNetwork> retiredEnd_;
    std::atomic<bool> running_{false};
    mutable std::mutex lastErrorMutex_;
    std::string lastError_;
};
