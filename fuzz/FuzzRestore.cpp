// One fuzz input is one archive file. It is restored as the host restores a media directory: the FIR driver's default
// job on one end of a session, the engine on the other, the archive reader's data mover streaming the file, the
// engine's handlers and restore objects writing into a scratch destination under /tmp. After each input, nothing
// beside the destination may have changed; anything else aborts, which the fuzzer records as a finding.
//
// Inputs are mostly mutations of whole streams, whose buffers would almost all fail their checksum and never reach a
// handler. So the input's buffers are framed again by the archive writer, with a fresh offset and checksum, as long
// as they parse; from the first one that does not (bad magic, a length past the end) the rest is copied as it is,
// so the data mover's own checks are fuzzed too.
#include "fuzz/FuzzRestore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <boost/make_shared.hpp>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/ArchiveWriter.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/events/EvEvent.h"
#include "platform/events/Journal.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/session/CWzNetwork.h"
#include "platform/settings/PlatformPaths.h"
#include "platform/settings/SettingsFile.h"
#include "protocol/FsrMessages.h"
#include "tools/fcl-restore/HostSettings.h"
#include "tools/fir/FirJob.h"

namespace {

// Discards every line: the engine logs each item, and a fuzzer's run would spend its time writing them.
class QuietLog : public CLogWriterInterface {
public:
    int getLevel() const override { return 0; }
    void setLevel(int) override {}
    void vwrite(int, const char*, int, const char*, va_list) override {}
};

[[noreturn]] void escaped(const std::string& what) {
    fprintf(stderr, "fcl-fuzz: the restore changed something outside its destination: %s\n", what.c_str());
    abort();
}

void removeBelow(int dirfd) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(dup(dirfd)), closedir);
    if (!dir) {
        return;
    }
    while (const dirent* entry = readdir(dir.get())) {
        const char* name = entry->d_name;
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) {
            continue;
        }
        struct stat st;
        if (fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            // A restored directory may have taken a mode that keeps its owner out.
            fchmodat(dirfd, name, 0700, 0);
            int sub = openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) {
                removeBelow(sub);
                close(sub);
            }
            unlinkat(dirfd, name, AT_REMOVEDIR);
        } else {
            unlinkat(dirfd, name, 0);
        }
    }
}

// Empties `path`, a directory, without following a link inside it.
void emptyDirectory(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        removeBelow(fd);
        close(fd);
    }
}

// What a file outside the destination is: compared before and after each input.
std::string describe(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        return "missing";
    }
    std::string text = std::to_string(st.st_mode) + " " + std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid) +
                       " links " + std::to_string(st.st_nlink) + " size " + std::to_string(st.st_size) + " mtime " +
                       std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + " ctime " +
                       std::to_string(st.st_ctim.tv_sec) + "." + std::to_string(st.st_ctim.tv_nsec);
    if (S_ISREG(st.st_mode)) {
        std::ifstream in(path, std::ios::binary);
        text += " content " + std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    return text;
}

// The names in a directory and what each is.
std::map<std::string, std::string> snapshot(const std::string& directory) {
    std::map<std::string, std::string> entries;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(directory.c_str()), closedir);
    while (dir) {
        const dirent* entry = readdir(dir.get());
        if (entry == nullptr) {
            break;
        }
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            entries[name] = describe(directory + "/" + name);
        }
    }
    return entries;
}

std::set<std::string> names(const std::string& directory) {
    std::set<std::string> out;
    for (const auto& entry : snapshot(directory)) {
        out.insert(entry.first);
    }
    return out;
}

// The scratch tree of the whole run: the media directory, the destination and the results, and beside them the
// files a hostile stream would like to reach.
class Scratch {
public:
    Scratch() {
        char templ[] = "/tmp/fcl-fuzz.XXXXXX";
        if (mkdtemp(templ) == nullptr) {
            perror("fcl-fuzz: mkdtemp");
            abort();
        }
        top_ = templ;
        media_ = top_ + "/media";
        dest_ = top_ + "/dest";
        results_ = top_ + "/results";
        outside_ = top_ + "/outside";
        for (const std::string& dir : {media_, dest_, results_, outside_, outside_ + "/dir"}) {
            mkdir(dir.c_str(), 0755);
        }
        std::ofstream(outside_ + "/sentinel") << "outside the destination";
        std::ofstream(outside_ + "/dir/sentinel") << "outside the destination, one level down";
        symlink("sentinel", (outside_ + "/link").c_str());

        std::string settings;
        std::string why;
        fclhost::composeSettings(fclhost::SettingsChoice(), &settings, &why);
        std::ofstream(top_ + "/settings.ini") << settings;
        wzplatform::setResultsDirectory(results_);
        wzplatform::setSettingsFile(top_ + "/settings.ini");
        FsRestoreArchive::setMediaDirectory(media_);
        if (getenv("FCL_FUZZ_LOG") != nullptr) {
            g_ptrLogWriter = boost::make_shared<wzlog::StderrLogWriter>(wzlog::levelFromEnvironment(1));
        } else {
            g_ptrLogWriter = boost::make_shared<QuietLog>();
        }
        // The index names the whole backup as one item at the start, so the job reads the archive file whole.
        std::ofstream(fclarchive::indexFilePath(media_, 1)) << "0\tdir\t/\n";
        top_before_ = names(top_);
        outside_before_ = snapshot(outside_);
        outside_dir_before_ = snapshot(outside_ + "/dir");
        outside_itself_ = describe(outside_);
    }
    ~Scratch() {
        emptyDirectory(top_);
        rmdir(top_.c_str());
    }

    void check() const {
        const std::set<std::string> now = names(top_);
        if (now != top_before_) {
            std::string listed;
            for (const std::string& name : now) {
                listed += " " + name;
            }
            escaped(top_ + " now holds" + listed);
        }
        if (describe(outside_) != outside_itself_ || snapshot(outside_) != outside_before_ ||
            snapshot(outside_ + "/dir") != outside_dir_before_) {
            escaped(outside_ + " changed");
        }
    }

    const std::string& media() const { return media_; }
    const std::string& dest() const { return dest_; }
    const std::string& results() const { return results_; }

private:
    std::string top_;
    std::string media_;
    std::string dest_;
    std::string results_;
    std::string outside_;
    std::set<std::string> top_before_;
    std::map<std::string, std::string> outside_before_;
    std::string outside_itself_;
    std::map<std::string, std::string> outside_dir_before_;
};

// Writes `data` as archive file 1 of the media directory, framing again each buffer that parses.
void writeArchive(const std::string& media, const uint8_t* data, size_t size) {
    fclarchive::ArchiveWriter writer;
    if (writer.create(media, 1).IsError()) {
        abort();
    }
    size_t at = 0;
    while (size - at >= fclarchive::kHeaderSize) {
        fclarchive::BufferHeader header = fclarchive::decodeHeader(data + at);
        if (header.magic != fclarchive::kBufferMagic || header.payloadLength > fclarchive::kMaxPayload ||
            size - at - fclarchive::kHeaderSize < header.payloadLength) {
            break;
        }
        writer.writeBuffer(header.type, data + at + fclarchive::kHeaderSize, header.payloadLength,
                           header.compressedLength);
        at += fclarchive::kHeaderSize + header.payloadLength;
    }
    writer.writeRaw(data + at, size - at);
    writer.finish();
    // The writer's index is empty; the job's index names the backup's root.
    std::ofstream(fclarchive::indexFilePath(media, 1)) << "0\tdir\t/\n";
}

fclfuzz::RestoreReport g_last;

void restore(const Scratch& scratch) {
    static int64_t jobId = 1000;
    std::unique_ptr<CWzNetwork> firEnd;
    std::unique_ptr<CWzNetwork> engineEnd;
    if (CWzNetwork::makePair(&firEnd, &engineEnd).IsError()) {
        abort();
    }
    fir::FirSession session(std::move(firEnd));
    fir::FirJobOptions options;
    options.mediaDir = scratch.media();
    options.destDir = scratch.dest();
    // Each input starts from an empty destination: there is nothing of the user's for it to overwrite.
    options.overwrite = false;
    options.jobId = ++jobId;
    fir::FirJobResult fir;
    std::thread driver([&] { fir = fir::runDefaultJob(session, options); });
    char name[] = "fcl-fuzz";
    FclRestore job;
    // The receive loop looks at its end flag only between messages, once a second when none come; a keep-alive once
    // the job has ended spares each input that second.
    std::atomic<bool> received{false};
    std::thread nudge([&] {
        while (!received.load()) {
            if (job._terminateReceiveMsgs.load() != 0) {
                session.send(FSR_MSG_KEEPALIVE);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const bool started = job.initialize(engineEnd.get(), name, nullptr);
    if (started) {
        job.receiveRestoreMsgs();
    }
    received.store(true);
    nudge.join();
    if (started) {
        job.finalize();
    }
    engineEnd->shutdown();
    driver.join();
    g_last = fclfuzz::RestoreReport();
    g_last.succeeded =
        started && job._fatalError == 0 && job._stopReceived == 0 && fir.outcome == fir::FirOutcome::Succeeded;
    g_last.reason = job.getFailureReason() + " / FIR: " + fir::outcomeName(fir.outcome) + " " + fir.reason;
    if (const FsRestoreStatistics* statistics = job.getStatistics()) {
        g_last.restored = statistics->getNumFilesSucceeded();
        g_last.failed = statistics->getNumFilesFailed();
    }
}

}  // namespace

namespace fclfuzz {

const RestoreReport& lastRestore() {
    return g_last;
}

}  // namespace fclfuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    writeArchive(scratch.media(), data, size);
    restore(scratch);
    scratch.check();
    emptyDirectory(scratch.dest());
    emptyDirectory(scratch.results());
    // The platform keeps what each job recorded for tests to read; nothing here reads it.
    wzplatform::clearJournal();
    wzplatform::clearRaisedEvents();
    wzplatform::clearPendingCauses();
    return 0;
}
