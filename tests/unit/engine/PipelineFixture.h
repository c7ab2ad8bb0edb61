#pragma once
// A real job reading real archive files: the FIR driver's session on one end of a socketpair, the archive reader's
// data mover streaming archive files written for the test (or packed by fcl-pack), and a job whose buffer handlers
// record what the pipeline reader hands them.
//
// The job parameters and source paths are stood in for here, as much as opening an archive needs: the options word
// and destination are kept, and the last source path builds the Unix restore-object factory with the test's restart
// point.
#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/objects/FsRestoreObject.h"
#include "platform/archive/ArchiveWriter.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrRecords.h"
#include "protocol/PipelineBuffer.h"
#include "tests/unit/engine/JobFixture.h"
#include "tools/fir/FirJob.h"

namespace jobtest {

// What the stood-in parameter and source-path handlers do.
struct PipelineSetup {
    bool buildFactory = true;
    unsigned long restartPoint = 0;  // taken as the restart point when the options ask for a restart
};

class PipelineJob : public FclRestore {
public:
    PipelineSetup setup;
    // Called on the reader thread after each file header is taken apart (its name and mode in `hdr`).
    std::function<void(PipelineJob&, CXFileHeader&)> onHeader;

    // What the reader handed out, in order: "<HANDLER> <length or name>".
    std::vector<std::string> events() const;
    // The same without the parameters and source paths the job was set up with: what the stream brought.
    std::vector<std::string> streamEvents() const;
    // The effective ids the handlers ran with.
    std::vector<std::pair<uid_t, gid_t>> identities() const;
    // The next event starting with `prefix` waits until release().
    void holdAt(const std::string& prefix);
    bool waitHeld(int ms);
    void release();
    // Waits until an event starting with `prefix` was recorded.
    bool waitFor(const std::string& prefix, int ms);

    // ---- stand-ins of the parameter and source-path handlers ----
    bool OnMsgSetParams(FSRSetParams* rec) override;
    bool OnMsgSrcPath(FSRSrcPath* rec) override;
    bool OnMsgRestartInfo() override;

    // ---- the buffer handlers, recording ----
    void ProcessPlFsPreHdr(FSRPreHeader* prehdr, CXFileHeader* hdr) override;
    void OnBufferPlFsHdr(void* buf, CXFileHeader* hdr, FSRPreHeader* prehdr) override;
    void OnBufferPlFsOptHdr(void*, int len) override { note("OPT_HDR", len); }
    void OnBufferPlFsOptHdr2(void*, int len) override { note("OPT_HDR2", len); }
    void OnBufferPlFsOptHdr3(void*, int len) override { note("OPT_HDR3", len); }
    void OnBufferPlFsOptHdr4(void*, int len) override { note("OPT_HDR4", len); }
    void OnBufferPlFsIndexHdr(void*, int len) override { note("INDEX_HDR", len); }
    void OnBufferPlVSDiskInfo(void*, int len) override { note("VS_DISK_INFO", len); }
    void OnBufferPlVSVolHeaderInfo(void*, int len) override { note("VS_VOL_HEADER_INFO", len); }
    void OnBufferPlVSVolHeaderMetadata(void*, int len) override { note("VS_VOL_HEADER_METADATA", len); }
    void OnBufferPlVSVolHeaderMetadataEof(void*, int len) override { note("VS_VOL_HEADER_METADATA_EOF", len); }
    void OnBufferPlData(void*, int len) override { note("DATA", len); }
    void OnBufferPlFsEof(void* buf, CXFileHeader* hdr) override;
    void OnBufferPlFsBadEof(void* buf, CXFileHeader* hdr) override;
    void OnBufferPlFsReadErr(void*) override { note("READ_ERR", -1); }
    void OnBufferPlDmSiLink(void*, int len) override { note("DM_SI_LINK", len); }
    void OnBufferPlFsCldedup(void*, int len) override { note("CLDEDUP", len); }
    bool OnBufferAFileOpened(void*) override {
        note("AFILE_OPENED", -1);
        return true;
    }
    void OnBufferPlFsExtents(void*, int len) override { note("EXTENTS", len); }
    void OnBufferPlFsExtentData(void*, int len) override { note("EXTENT_DATA", len); }
    void OnBufferPlSdmParameters(void*, int len) override { note("SDM_PARAMETERS", len); }
    void OnBufferPlSdmPadding(void*, int len) override { note("SDM_PADDING", len); }
    void OnBufferPlFSProbeReply(void* buf, int len) override {
        note("PROBE_REPLY", len);
        FclRestore::OnBufferPlFSProbeReply(buf, len);
    }
    void OnBufferPlHole(void*) override { note("HOLE", -1); }
    void OnBufferPlFSSystemStateItemMetadataHdr(void*, int len) override { note("SYSTEM_STATE", len); }

private:
    void note(const std::string& event, int len);
    void record(const std::string& event);

    mutable std::mutex m_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
    std::vector<std::pair<uid_t, gid_t>> identities_;
    std::string holdAt_;
    bool held_ = false;
    unsigned long pathsSeen_ = 0;
};

// An item's restore object whose destination is a real file; counts its closes and its end.
class TrackedObject : public FsRestoreObject {
public:
    explicit TrackedObject(std::string path) : path_(std::move(path)) {}
    ~TrackedObject() override { ++destroyed; }
    int closeObject() override {
        ++closes;
        return 1;
    }
    std::string getTranslatedPathname() override { return path_; }

    static std::atomic<int> closes;
    static std::atomic<int> destroyed;

private:
    std::string path_;
};

// Writes one archive file and its index.
class StreamWriter {
public:
    StreamWriter(const std::string& media, uint64_t id);
    // One item: its header, its data buffers and its end; answers the item's offset.
    uint64_t item(const std::string& path, uint32_t mode, const std::vector<std::string>& data = {},
                  unsigned long end = PL_FS_EOF);
    void header(const std::string& path, uint32_t mode);
    void buffer(unsigned long type, const std::string& payload);
    void finish();

private:
    fclarchive::ArchiveWriter writer_;
};

class PipelineFixture : public JobFixture {
protected:
    PipelineFixture();
    ~PipelineFixture() override;

    // A started job with its receive loop running, its parameters and one source path sent. Call in the child
    // process.
    PipelineJob* startPipelineJob(unsigned long options = 0, const PipelineSetup& setup = PipelineSetup(),
                                  const InitDataPlan& plan = InitDataPlan());
    // The FIR's answer to the open of archive `id` (0 when none came).
    unsigned long openArchive(uint64_t id);
    void send(unsigned long code, const void* record = nullptr, size_t length = 0);
    void seek(const std::vector<uint64_t>& offsets);
    // Waits for the answer to the archive-close handshake, sends the restore end and ends the job.
    void finishJob();
    // Waits until the reader thread has ended (its running flag reads 0).
    bool readerEnded(int ms);
    // Once the reader has ended: each buffer it was handed was given back, and none twice.
    void expectEveryBufferGivenBackOnce();
    // Waits until a captured log line contains `text`.
    bool logged(const std::string& text, int ms);

    PipelineJob& job() { return *static_cast<PipelineJob*>(job_.get()); }
    wzlog::CaptureLogWriter& log() { return **log_; }

    std::string media_;
    std::string dest_;
    std::unique_ptr<wzlog::ScopedCapture> log_;
};

// Polls `condition` until it holds, for at most `ms`.
bool eventually(const std::function<bool()>& condition, int ms);

// The status of each line of the results file `resultsFile` whose path ends in `suffix`, in the file's order.
std::vector<int> statusesOf(const std::string& resultsFile, const std::string& suffix);

// A tree packed with fcl-pack into `media` over `archives` archive files; 0 when it was packed.
int packTree(const std::string& source, const std::string& media, int archives = 1);

// Runs the FIR driver's default job against `job` on `engineEnd`, with the host's part (initialize, the receive
// loop, finalize) on a thread of its own.
fir::FirJobResult runHostedJob(FclRestore& job, CWzNetwork* engineEnd, fir::FirSession& session,
                               const fir::FirJobOptions& options);

}  // namespace jobtest
