#include "tests/unit/engine/PipelineFixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/stream/ConvertCXFileHeader.h"
#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/ArchiveHooks.h"
#include "platform/archive/StreamRecords.h"
#include "platform/seek/SeekDecision.h"
#include "protocol/PipelineBuffer.h"

namespace jobtest {

std::atomic<int> TrackedObject::closes{0};
std::atomic<int> TrackedObject::destroyed{0};

// ---- the job ----

std::vector<std::string> PipelineJob::events() const {
    std::lock_guard<std::mutex> lock(m_);
    return events_;
}

std::vector<std::string> PipelineJob::streamEvents() const {
    std::vector<std::string> stream;
    for (const std::string& event : events()) {
        if (event != "SET_PARAMS" && event != "SRC_PATH") {
            stream.push_back(event);
        }
    }
    return stream;
}

std::vector<std::pair<uid_t, gid_t>> PipelineJob::identities() const {
    std::lock_guard<std::mutex> lock(m_);
    return identities_;
}

void PipelineJob::holdAt(const std::string& prefix) {
    std::lock_guard<std::mutex> lock(m_);
    holdAt_ = prefix;
    held_ = false;
}

bool PipelineJob::waitHeld(int ms) {
    std::unique_lock<std::mutex> lock(m_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return held_; });
}

void PipelineJob::release() {
    std::lock_guard<std::mutex> lock(m_);
    holdAt_.clear();
    changed_.notify_all();
}

bool PipelineJob::waitFor(const std::string& prefix, int ms) {
    std::unique_lock<std::mutex> lock(m_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
        for (const std::string& event : events_) {
            if (event.compare(0, prefix.size(), prefix) == 0) {
                return true;
            }
        }
        return false;
    });
}

void PipelineJob::record(const std::string& event) {
    std::unique_lock<std::mutex> lock(m_);
    events_.push_back(event);
    identities_.emplace_back(geteuid(), getegid());
    changed_.notify_all();
    if (!holdAt_.empty() && event.compare(0, holdAt_.size(), holdAt_) == 0) {
        held_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return holdAt_.empty(); });
    }
}

void PipelineJob::note(const std::string& event, int len) {
    record(len >= 0 ? event + " " + std::to_string(len) : event);
}

bool PipelineJob::OnMsgSetParams(FSRSetParams* rec) {
    _setParams->options = rec->options;
    _setParams->numSrcPaths = rec->numSrcPaths;
    delete[] _setParams->destDir;
    _setParams->destDir = nullptr;
    if (rec->destDir != nullptr) {
        _setParams->destDir = new char[strlen(rec->destDir) + 1];
        strcpy(_setParams->destDir, rec->destDir);
    }
    record("SET_PARAMS");
    return true;
}

bool PipelineJob::OnMsgSrcPath(FSRSrcPath*) {
    if (++pathsSeen_ == _setParams->numSrcPaths && setup.buildFactory) {
        delete _factory;
        _factory = new FsRestoreUnixObjectsFactory(nullptr, nullptr, 0, _setParams->destDir, _setParams->options, this);
        if ((_setParams->options & FSR_OPT_RESTART) != 0) {
            _restartFileNum = setup.restartPoint;
        }
    }
    record("SRC_PATH");
    return true;
}

bool PipelineJob::OnMsgRestartInfo() {
    record("RESTART_INFO running=" + std::to_string(static_cast<int>(_plThreadRunning)));
    return true;
}

void PipelineJob::ProcessPlFsPreHdr(FSRPreHeader* prehdr, CXFileHeader*) {
    // What taking a pre-header apart leaves: flags that the next header must see.
    prehdr->flags = 0x4;
    record("PREHDR");
}

void PipelineJob::OnBufferPlFsHdr(void* buf, CXFileHeader* hdr, FSRPreHeader* prehdr) {
    memcpy(static_cast<void*>(hdr), PipelineBufPayload(buf), CXHDR_SIZE);
    ConvertCXFileHeaderFromNetOrder(hdr, hdr);
    record(std::string("HDR ") + hdr->h_filename + " pre=" + std::to_string(prehdr->flags));
    if (onHeader) {
        onHeader(*this, *hdr);
    }
}

void PipelineJob::OnBufferPlFsEof(void*, CXFileHeader* hdr) {
    record(std::string("EOF ") + hdr->h_filename);
}

void PipelineJob::OnBufferPlFsBadEof(void*, CXFileHeader* hdr) {
    record(std::string("BAD_FILE ") + hdr->h_filename);
}

// ---- archive files ----

StreamWriter::StreamWriter(const std::string& media, uint64_t id) {
    EXPECT_FALSE(writer_.create(media, id).IsError());
}

uint64_t StreamWriter::item(const std::string& path, uint32_t mode, const std::vector<std::string>& data,
                            unsigned long end) {
    const uint64_t offset = writer_.offset();
    EXPECT_FALSE(writer_.addIndexEntry(offset, S_ISDIR(mode) ? fclarchive::kKindDirectory : fclarchive::kKindFile, path)
                     .IsError());
    header(path, mode);
    for (const std::string& chunk : data) {
        buffer(PL_DATA, chunk);
    }
    buffer(end, "");
    return offset;
}

void StreamWriter::header(const std::string& path, uint32_t mode) {
    CXFileHeader header;
    header.h_mode = mode;
    snprintf(header.h_filename, sizeof header.h_filename, "%s", path.c_str());
    std::vector<unsigned char> payload(CXHDR_SIZE);
    fclarchive::encodeFileHeader(header, payload.data());
    EXPECT_FALSE(writer_.writeBuffer(PL_FS_HDR, payload.data(), static_cast<uint32_t>(payload.size())).IsError());
}

void StreamWriter::buffer(unsigned long type, const std::string& payload) {
    EXPECT_FALSE(writer_.writeBuffer(static_cast<uint32_t>(type), payload.data(), static_cast<uint32_t>(payload.size()))
                     .IsError());
}

void StreamWriter::finish() {
    EXPECT_FALSE(writer_.finish().IsError());
}

int packTree(const std::string& source, const std::string& media, int archives) {
    const std::string tool = fcltest::toolsDirectory() + "/fcl-pack/fcl-pack";
    const std::string count = std::to_string(archives);
    pid_t child = fork();
    if (child == 0) {
        int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 1);
        execl(tool.c_str(), tool.c_str(), "--archives", count.c_str(), source.c_str(), media.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<int> statusesOf(const std::string& resultsFile, const std::string& suffix) {
    std::vector<int> statuses;
    std::istringstream in(fcltest::readFile(resultsFile));
    for (std::string line; std::getline(in, line);) {
        const size_t blank = line.find(' ');
        const size_t tab = line.rfind('\t');
        if (blank == std::string::npos || tab == std::string::npos) {
            continue;
        }
        const std::string path = line.substr(0, blank);
        if (path.size() >= suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
            statuses.push_back(std::stoi(line.substr(tab + 1)));
        }
    }
    return statuses;
}

fir::FirJobResult runHostedJob(FclRestore& job, CWzNetwork* engineEnd, fir::FirSession& session,
                               const fir::FirJobOptions& options) {
    std::thread host([&] {
        char name[] = "fclrestore-test";
        if (job.initialize(engineEnd, name, nullptr)) {
            job.receiveRestoreMsgs();
        }
        job.finalize();
    });
    fir::FirJobResult result = fir::runDefaultJob(session, options);
    host.join();
    return result;
}

// ---- the fixture ----

PipelineFixture::PipelineFixture() : media_(scratch_ / "media"), dest_(scratch_ / "dest") {
    EXPECT_EQ(mkdir(media_.c_str(), 0755), 0);
    EXPECT_EQ(mkdir(dest_.c_str(), 0755), 0);
    FsRestoreArchive::setMediaDirectory(media_);
    fclarchive::hooks::reset();
    wzseek::hooks::reset();
}

PipelineFixture::~PipelineFixture() {
    destroyJob();
    FsRestoreArchive::setMediaDirectory("");
    fclarchive::hooks::reset();
    wzseek::hooks::reset();
}

PipelineJob* PipelineFixture::startPipelineJob(unsigned long options, const PipelineSetup& setup,
                                               const InitDataPlan& plan) {
    log_ = std::make_unique<wzlog::ScopedCapture>();
    PipelineJob* job = makeJob<PipelineJob>();
    job->setup = setup;
    EXPECT_EQ(startJob(plan), FSR_MSG_SUCCESS);
    runReceiveLoop();
    FSRSetParams params;
    params.destDir = &dest_[0];
    params.numSrcPaths = 1;
    params.options = options;
    send(FSR_MSG_SET_PARAMS, &params, sizeof params);
    std::string root = "/root";
    FSRSrcPath path;
    path.path = &root[0];
    send(FSR_MSG_SRC_PATH, &path, sizeof path);
    EXPECT_TRUE(job->waitFor("SRC_PATH", 10000));
    return job;
}

void PipelineFixture::send(unsigned long code, const void* record, size_t length) {
    EXPECT_FALSE(fir_->send(code, record, length).IsError()) << WZS_PRIM_STRING(code);
}

unsigned long PipelineFixture::openArchive(uint64_t id) {
    FSROpenArchive open;
    open.zendrelId = 2;
    open.archiveFileId = id;
    send(FSR_MSG_OPEN_ARCHIVE, &open, sizeof open);
    fir::FirMessage answer;
    return fir_->waitFor({FSR_MSG_SUCCESS, FSR_MSG_FAILURE}, 20000, &answer) ? answer.code : 0;
}

void PipelineFixture::seek(const std::vector<uint64_t>& offsets) {
    std::vector<FSRSeekArchive> entries(offsets.size());
    for (size_t i = 0; i < offsets.size(); ++i) {
        entries[i].offset = offsets[i];
    }
    FSRSeekArchiveArray array;
    array.count = static_cast<uint32_t>(entries.size());
    array.entries = entries.data();
    send(FSR_MSG_SEEK_TO_OFFSET, &array, sizeof array);
}

void PipelineFixture::finishJob() {
    send(FSR_MSG_WAIT_ARCHIVE_CLOSED);
    EXPECT_TRUE(fir_->waitFor({FSR_MSG_WAIT_ARCHIVE_CLOSED}, 20000));
    send(FSR_MSG_RESTORE_END);
    endJob();
}

bool eventually(const std::function<bool()>& condition, int ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool PipelineFixture::readerEnded(int ms) {
    return eventually([this] { return job_->_plThreadRunning == 0; }, ms);
}

void PipelineFixture::expectEveryBufferGivenBackOnce() {
    EXPECT_EQ(job_->_archive->buffersHandedOut(), 0u);
    EXPECT_FALSE(log().contains("Buffer given back while none was handed out"));
}

bool PipelineFixture::logged(const std::string& text, int ms) {
    return eventually([&] { return log().contains(text); }, ms);
}

}  // namespace jobtest
