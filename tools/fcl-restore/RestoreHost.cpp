#include "tools/fcl-restore/RestoreHost.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <thread>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/session/CWzNetwork.h"
#include "platform/settings/WZPlatformAgents.h"
#include "platform/settings/WZPlatformInfo.h"
#include "platform/support/FXErrorUtil.h"
#include "protocol/FsrMessages.h"
#include "protocol/FsrRecords.h"
#include "tools/fcl-restore/BackupIndex.h"
#include "tools/fcl-restore/CutItems.h"
#include "tools/fcl-restore/FailedItems.h"
#include "tools/fcl-restore/FailureReason.h"
#include "tools/fcl-restore/FirAccount.h"
#include "tools/fcl-restore/FirListener.h"
#include "tools/fcl-restore/HostLog.h"
#include "tools/fcl-restore/HostPaths.h"
#include "tools/fcl-restore/HostSettings.h"
#include "tools/fcl-restore/HostSetup.h"
#include "tools/fcl-restore/InterruptWatch.h"
#include "tools/fcl-restore/JobRecord.h"
#include "tools/fcl-restore/PeerRelay.h"
#include "tools/fcl-restore/ProgressDisplay.h"
#include "tools/fcl-restore/RestartKeeper.h"
#include "tools/fcl-restore/ResultsKeeper.h"
#include "tools/fir/FirJob.h"

namespace fclhost {
namespace {

using Clock = std::chrono::steady_clock;

// How many failed items the end of a job names on standard error; the results file lists them all.
constexpr size_t kFailuresShown = 10;

// The job object's destructor is not virtual: it is destroyed as the class it was made.
using JobPtr = std::unique_ptr<FclRestore>;

// What stops the job when the user interrupts it; set once the session exists.
class StopRequest {
public:
    void arm(std::function<void()> stop) {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = std::move(stop);
        if (requested_ && stop_) {
            stop_();
        }
    }
    void request() {
        std::lock_guard<std::mutex> hold(lock_);
        requested_ = true;
        if (stop_) {
            stop_();
        }
    }
    bool requested() const {
        std::lock_guard<std::mutex> hold(lock_);
        return requested_;
    }

private:
    mutable std::mutex lock_;
    std::function<void()> stop_;
    bool requested_ = false;
};

// Data written: the stream's data bytes of the items restored and of the one in progress. Holes are not written, so
// they are not counted.
uint64_t bytesWritten(const FsRestoreStatistics& statistics) {
    return statistics.getNumCompBytesSucceeded() + statistics.getCurrFileCompSize();
}

// Read from the job's own counters, so that the display moves whatever the job reports to its FIR.
ProgressFigures figuresOf(const FsRestoreStatistics& statistics) {
    ProgressFigures figures;
    figures.done = statistics.getNumFilesSucceeded() + statistics.getNumFilesSkipped() + statistics.getNumFilesFailed();
    figures.total = statistics.getNumFilesToRestore();
    figures.bytes = bytesWritten(statistics);
    return figures;
}

// The size of the backup's archive files: nearly all of it the data a whole restore writes.
uint64_t archiveBytes(const std::string& mediaDir) {
    uint64_t total = 0;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(mediaDir.c_str()), closedir);
    while (dir) {
        const dirent* entry = readdir(dir.get());
        if (entry == nullptr) {
            break;
        }
        const std::string name = entry->d_name;
        struct stat st;
        if (name.size() > 6 && name.compare(name.size() - 6, 6, ".afile") == 0 &&
            stat((mediaDir + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            total += static_cast<uint64_t>(st.st_size);
        }
    }
    return total;
}

int64_t jobIdFromClock() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// The job the in-process FIR plays, as the host decided it.
fir::FirJobOptions firOptionsOf(const JobRecord& job, bool resumed) {
    fir::FirJobOptions fo;
    fo.mediaDir = job.mediaDir;
    fo.destDir = job.destDir;
    fo.paths = job.paths;
    fo.stripLevel = job.stripLevel;
    fo.overwrite = job.overwrite;
    fo.jobId = job.jobId;
    fo.zendrelNumber = job.zendrelNumber;
    if (resumed) {
        // The engine opens the job's restart state. Its skip is not asked for: the folders below the restart point
        // would never come again, and folder times are set only at a job's end, so those of a cut job are not set.
        // Every item comes again instead; those the cut job finished are kept as they are.
        fo.extraOptions |= FSR_OPT_RESTART;
    }
    return fo;
}

class HostRun {
public:
    HostRun(const PreparedJob& prepared, const JobRecord* job, bool resumed, unsigned progressSeconds,
            std::ostream& err)
        : prepared_(prepared), job_(job), resumed_(resumed), progressSeconds_(progressSeconds), err_(err) {}
    // `listen`: the external FIR's address; null to play the job with the in-process FIR.
    JobSummary run(const ListenAddress* listen);

private:
    bool connect(const ListenAddress* listen);
    bool listenForFir(const ListenAddress& listen);
    void runJob();
    void onSignal(int signo, int count);
    bool jobSucceeded() const;
    JobFacts factsOfEnd();
    // Gives each failed item the job left without a line one of its own, and takes the items the mapping leaves out
    // apart from the failed and skipped ones.
    void accountInResults(const JobFacts& facts, JobSummary* summary) const;

    const PreparedJob& prepared_;
    const JobRecord* job_;
    const bool resumed_;
    const unsigned progressSeconds_;
    std::ostream& err_;
    StopRequest stop_;
    std::unique_ptr<PeerRelay> relay_;
    std::unique_ptr<CWzNetwork> engineEnd_;
    std::unique_ptr<fir::FirSession> fir_;
    fir::FirJobResult firResult_;
    JobPtr engine_;
    bool started_ = false;
    std::atomic<int> interruptSignal_{0};
    std::string connectError_;
};

void HostRun::onSignal(int signo, int count) {
    if (count > 1) {
        // A second interrupt means now: end the process as the signal would have.
        signal(signo, SIG_DFL);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, signo);
        pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
        raise(signo);
        // The engine may have set the signal to be ignored again in between.
        _exit(128 + signo);
    }
    interruptSignal_ = signo;
    wzlog::writeAll(STDERR_FILENO, "\nfcl-restore: stopping the job (interrupt again to quit at once)\n");
    HOST_STEP("The host was interrupted (signal %d): the job is asked to stop", signo);
    stop_.request();
}

bool HostRun::connect(const ListenAddress* listen) {
    if (listen != nullptr) {
        return listenForFir(*listen);
    }
    std::unique_ptr<CWzNetwork> firEnd;
    CQiError error = CWzNetwork::makePair(&firEnd, &engineEnd_);
    if (error.IsError()) {
        connectError_ = "cannot make the job's session: " + error.AsString();
        return false;
    }
    fir_ = std::make_unique<fir::FirSession>(std::move(firEnd));
    // The stop, then the end: the engine ends a stopped job through its ordinary end, as failed.
    stop_.arm([this] {
        fir_->send(FSR_MSG_STOP);
        fir_->send(FSR_MSG_RESTORE_END);
    });
    return true;
}

bool HostRun::listenForFir(const ListenAddress& listen) {
    std::unique_ptr<FirListener> listener;
    if (!FirListener::open(listen, &listener, &connectError_)) {
        return false;
    }
    err_ << "fcl-restore: waiting for the FIR on " << listener->address() << std::endl;
    // Short waits, so that an interrupt ends the wait for a FIR that never comes.
    std::unique_ptr<CWzNetwork> peer;
    std::string why;
    for (;;) {
        FirListener::Wait wait = listener->accept(1000, &peer, &why);
        if (wait == FirListener::Wait::Accepted) {
            break;
        }
        if (wait == FirListener::Wait::Refused) {
            err_ << "fcl-restore: " << why << std::endl;
            FCL_ERROR("%s", why.c_str());
        } else if (wait == FirListener::Wait::Failed) {
            connectError_ = "no FIR connected: " + why;
            return false;
        }
        if (stop_.requested()) {
            connectError_ = "stopped before a FIR connected";
            return false;
        }
    }
    const std::string dest = prepared_.destDir;
    const std::string settings = prepared_.settingsFile;
    relay_ = std::make_unique<PeerRelay>(
        std::move(peer), [dest, settings](unsigned long code, const char* record, unsigned long length) {
            std::string refused = checkPeerDestination(code, record, length, dest);
            if (refused.empty() && code == FSR_MSG_SET_PARAMS) {
                // The external FIR chooses whether existing items are replaced; the engine reads the choice from the
                // settings once these parameters and the source paths came.
                const auto* params = reinterpret_cast<const FSRSetParams*>(record);
                appendOverwriteChoice(settings, (params->options & FSR_OPT_OVERWRITE) != 0, &refused);
            }
            return refused;
        });
    if (!relay_->start(&connectError_)) {
        return false;
    }
    engineEnd_ = relay_->takeEngineEnd();
    CWzNetwork* session = engineEnd_.get();
    stop_.arm([session] { session->shutdown(); });
    return true;
}

void HostRun::runJob() {
    std::thread firThread;
    if (fir_) {
        firThread = std::thread([this, fo = firOptionsOf(*job_, resumed_)] {
            firResult_ = fir::runDefaultJob(*fir_, fo);
            // The engine sees the FIR leave, also when the driver gave up before the job started.
            fir_->close();
        });
    }
    std::string clientName = WZPI_Focus::getFocusClientName(true);
    std::vector<char> name(clientName.begin(), clientName.end());
    name.push_back('\0');
    engine_ = std::make_unique<FclRestore>();
    started_ = engine_->initialize(engineEnd_.get(), name.data(), nullptr);
    if (started_) {
        const uint64_t backupBytes = job_ != nullptr && job_->paths.empty() ? archiveBytes(prepared_.mediaDir) : 0;
        ProgressDisplay display(STDOUT_FILENO, progressSeconds_, [this, backupBytes] {
            const FsRestoreStatistics* statistics = engine_->getStatistics();
            ProgressFigures figures = statistics == nullptr ? ProgressFigures() : figuresOf(*statistics);
            figures.backupBytes = backupBytes;
            return figures;
        });
        std::unique_ptr<RestartKeeper> keeper;
        if (job_ != nullptr) {
            keeper = std::make_unique<RestartKeeper>(*engine_, job_->zendrelNumber, job_->jobId);
        }
        engine_->receiveRestoreMsgs();
        engine_->finalize();
    }
    // The FIR's waits end with the session.
    engineEnd_->shutdown();
    if (firThread.joinable()) {
        firThread.join();
    }
}

bool HostRun::jobSucceeded() const {
    // As the job's own end decides (finalize); the in-process FIR must also have seen the job end well, and an
    // external one must not have been refused.
    const bool engineSucceeded =
        (engine_->_fatalError == 0 && engine_->_stopReceived == 0) || engine_->_suppressFailure != 0;
    return started_ && engineSucceeded && !stop_.requested() &&
           (!fir_ || firResult_.outcome == fir::FirOutcome::Succeeded ||
            firResult_.outcome == fir::FirOutcome::ItemsMissing) &&
           (!relay_ || relay_->refusal().empty());
}

JobFacts HostRun::factsOfEnd() {
    JobFacts facts;
    facts.interrupted = stop_.requested();
    facts.refusal = relay_ ? relay_->refusal() : "";
    facts.started = started_;
    const bool firFailedFirst =
        fir_ && (firResult_.outcome == fir::FirOutcome::BadMedia || firResult_.outcome == fir::FirOutcome::BadOptions);
    const std::string firAccount = std::string("the FIR driver reports ") + fir::outcomeName(firResult_.outcome) +
                                   (firResult_.reason.empty() ? "" : ": " + firResult_.reason);
    if (firFailedFirst) {
        facts.firGaveUp = firAccount;
    } else if (fir_ && firResult_.outcome != fir::FirOutcome::Succeeded) {
        facts.firAccount = firAccount;
    } else if (relay_ && relay_->peerLeft()) {
        facts.firAccount = "the FIR closed its session before the job's end";
    }
    facts.engineReason = engine_->getFailureReason();
    facts.archiveReason = engine_->getReaderFailure();
    for (const JMPendingCause& cause : wzplatform::pendingCauses()) {
        if (cause.jobId == engine_->getJobID()) {
            facts.pendingCauses.push_back(cause.code);
        }
    }
    facts.currentItem = currentItemOf(*engine_);
    facts.destination = destinationStateOf(prepared_.destDir);
    return facts;
}

void HostRun::accountInResults(const JobFacts& facts, JobSummary* summary) const {
    const bool mapped = job_ != nullptr && !job_->mapFile.empty();
    ResultsTally tally = readResults(summary->resultsFile, kFailuresShown, mapped);
    // The results file lists every failed item: the file a failed job was writing, and the items an ended job gave
    // no result for, get their lines here.
    bool added = false;
    if (!summary->jobSucceeded && summary->interruptSignal == 0 && tally.failed == 0 && !facts.currentItem.empty() &&
        addFailedLine(summary->resultsFile, facts.currentItem, summary->failureReason)) {
        added = true;
        summary->failed += 1;
        summary->notReached -= summary->notReached != 0 ? 1 : 0;
    }
    for (const std::string& item : summary->missing) {
        added = addFailedLine(summary->resultsFile, item, "The job gave no result for the item.") || added;
    }
    if (added) {
        tally = readResults(summary->resultsFile, kFailuresShown, mapped);
    }
    // Items the mapping leaves out are neither failed nor skipped: they were not asked for.
    const uint64_t unmapped = std::min(tally.unmapped, summary->failed);
    const uint64_t excluded = std::min(tally.excluded, summary->skipped);
    summary->failed -= unmapped;
    summary->skipped -= excluded;
    summary->excluded = unmapped + excluded;
    summary->firstFailed = std::move(tally.first);
    summary->failedListed = tally.failed;
    findCauses(prepared_.logFile, prepared_.destDir, &summary->firstFailed);
}

JobSummary HostRun::run(const ListenAddress* listen) {
    JobSummary summary;
    summary.resultsDir = prepared_.resultsDir;
    summary.logFile = prepared_.logFile;
    const auto start = Clock::now();
    // Watched until the summary is gathered: a stopped job's account of its items can take a while, and a second
    // interrupt in that time still ends the host at once.
    InterruptWatch watch([this](int signo, int count) { onSignal(signo, count); });
    if (!connect(listen)) {
        summary.failureReason = connectError_;
        // Interrupted while waiting for a FIR: the status says so, as for a job the interrupt stopped.
        summary.interruptSignal = interruptSignal_;
        return summary;
    }
    runJob();
    summary.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    summary.jobSucceeded = jobSucceeded();
    summary.interruptSignal = interruptSignal_;
    const JobFacts facts = factsOfEnd();
    if (!summary.jobSucceeded) {
        summary.failureReason = explainFailure(facts);
        FCL_ERROR("The job failed: %s", summary.failureReason.c_str());
    }
    if (const FsRestoreStatistics* statistics = engine_->getStatistics()) {
        summary.restored = statistics->getNumFilesSucceeded();
        summary.skipped = statistics->getNumFilesSkipped();
        summary.failed = statistics->getNumFilesFailed();
        // The data of the items restored: a file cut by a stop counts with the items not restored.
        summary.bytes = statistics->getNumCompBytesSucceeded();
        using Loss = FsRestoreStatistics::Loss;
        summary.ownersNotKept = {statistics->getItemsLosing(Loss::Owner), statistics->getLossError(Loss::Owner)};
        summary.aclsOrXattrsLost = {statistics->getItemsLosing(Loss::AclsOrXattrs),
                                    statistics->getLossError(Loss::AclsOrXattrs)};
    }
    const bool ended = summary.jobSucceeded && summary.interruptSignal == 0;
    if (fir_ && ended) {
        // Items the job never answered for are failed items, not a failed job: what it did restore stands.
        summary.missing = itemsWithoutResult(firResult_);
        summary.failed += countWithoutResult(firResult_);
    } else if (fir_) {
        // A job that stopped or failed never came to the rest: they are not reached, not failed.
        const uint64_t done = summary.restored + summary.skipped + summary.failed;
        summary.notReached = firResult_.itemsAsked > done ? firResult_.itemsAsked - done : 0;
    }
    if (engine_->getJobID() > 0) {
        summary.resultsFile = findResultsFile(prepared_.resultsDir, engine_->getJobID());
    }
    if (!summary.resultsFile.empty()) {
        accountInResults(facts, &summary);
    }
    if (summary.failed != 0) {
        summary.itemsReason = explainItemFailures(facts);
        if (fir_ && firResult_.outcome == fir::FirOutcome::ItemsMissing && !firResult_.reason.empty()) {
            summary.itemsReason += (summary.itemsReason.empty() ? "" : "; ") + firResult_.reason;
        }
    }
    engine_.reset();
    return summary;
}

// The job --restart resumes, checked against the command line; false with a reason when there is none to resume.
bool findCutJob(const HostOptions& options, JobRecord* job, std::string* resultsDir, std::string* why) {
    const std::string media = resolvedPath(options.mediaDir);
    const std::string dest = resolvedPath(options.destDir);
    if (options.resultsDir.empty()) {
        const std::string base = resolvedPath(stateDirectory() + "/fcl-restore");
        *resultsDir = findResumableJob(base, media, dest);
        if (resultsDir->empty()) {
            *why = "no cut job restoring " + media + " into " + dest + " under " + base +
                   ": name its results directory with --results";
            return false;
        }
    } else {
        *resultsDir = resolvedPath(options.resultsDir);
    }
    if (!readJobRecord(*resultsDir, job, why)) {
        return false;
    }
    const char* differs = job->mediaDir != media || job->destDir != dest                     ? "MEDIA_DIR or DEST_DIR"
                          : !options.paths.empty() && options.paths != job->paths            ? "--path"
                          : options.stripLevel != 0 && options.stripLevel != job->stripLevel ? "--strip"
                          : options.noSparse && !job->noSparse                               ? "--no-sparse"
                          : !options.mapFile.empty() && resolvedPath(options.mapFile) != job->mapFile ? "--map"
                          : !options.settingsFile.empty()                                             ? "--settings"
                                                                                                      : nullptr;
    if (differs != nullptr) {
        *why = std::string(differs) + " differs from the cut job in " + *resultsDir + ", which restored " +
               job->mediaDir + " into " + job->destDir + ": a resumed job keeps its own";
        return false;
    }
    if (job->state == JobState::Succeeded) {
        *why = "the job in " + *resultsDir + " restored everything it asked for: there is nothing to resume";
        return false;
    }
    return true;
}

// A plain run after a cut job would keep the file that job was writing, partial, as an existing item: it is refused,
// naming the ways on, while the last job restoring the backup into the destination (in the results directory named,
// else in the default ones) is cut: it never ended and no host runs it. True when refused.
bool refusedAfterCutJob(const HostOptions& options, std::ostream& err) {
    const std::string media = resolvedPath(options.mediaDir);
    const std::string dest = resolvedPath(options.destDir);
    JobRecord last;
    std::string why;
    std::string dir = options.resultsDir.empty() ? "" : resolvedPath(options.resultsDir);
    if (dir.empty() || !readJobRecord(dir, &last, &why) || last.mediaDir != media || last.destDir != dest) {
        dir = findLastJob(resolvedPath(stateDirectory() + "/fcl-restore"), media, dest);
        if (dir.empty() || !readJobRecord(dir, &last, &why)) {
            return false;
        }
    }
    if (last.state != JobState::Running || resultsDirectoryHeld(dir)) {
        return false;
    }
    err << "fcl-restore: the last job restoring " << media << " into " << dest << " was cut (its results: " << dir
        << "), and the file it was writing is not whole: resume that job with --restart, which restores the file again "
           "whole, or restore everything again with --overwrite"
        << std::endl;
    return true;
}

// The files the cut job left unfinished, removed so that the resumed job restores them again whole.
bool markCutItems(const JobRecord& job, std::ostream& err, std::string* why) {
    std::vector<fclarchive::IndexEntry> items;
    if (job.overwrite || !readBackupIndex(job.mediaDir, &items, why)) {
        // An overwriting job replaces everything it finds; a backup without its indexes fails the job with a reason.
        return true;
    }
    std::vector<std::string> undecided;
    for (const std::string& path : findCutItems(items, job, &undecided)) {
        if (!removeUnfinished(path, job.destDir, why)) {
            return false;
        }
        err << "fcl-restore: " << path << " was cut while being written: it is restored again whole" << std::endl;
        HOST_STEP("%s was cut while being written: it is restored again whole", path.c_str());
    }
    if (!undecided.empty()) {
        *why = "the destination's file system keeps no birth times, so " + undecided.front() +
               " cannot be told from a file the cut job kept: resume with --restart --overwrite";
        return false;
    }
    return true;
}

void reportFailedItems(const JobSummary& summary, std::ostream& err) {
    for (const FailedItem& item : summary.firstFailed) {
        err << "fcl-restore: not restored: " << describeFailedItem(item) << "\n";
    }
    if (summary.failedListed > summary.firstFailed.size()) {
        err << "fcl-restore: ... and " << summary.failedListed - summary.firstFailed.size() << " more not restored\n";
    }
    err << std::flush;
}

void reportEnd(const JobSummary& summary, std::ostream& err) {
    for (const std::string& item : summary.missing) {
        err << "fcl-restore: " << item << ": asked for and not restored" << std::endl;
    }
    reportFailedItems(summary, err);
    if (summary.ownersNotKept.items != 0) {
        err << "fcl-restore: the owners of " << summary.ownersNotKept.items
            << " item(s) were not kept: " << ownerLossReason(summary.ownersNotKept.error) << std::endl;
    }
    if (summary.aclsOrXattrsLost.items != 0) {
        err << "fcl-restore: " << summary.aclsOrXattrsLost.items
            << " item(s) were restored without their ACLs or extended attributes: "
            << aclLossReason(summary.aclsOrXattrsLost.error) << std::endl;
    }
    if (summary.interruptSignal != 0) {
        err << "fcl-restore: stopped before the job's end: " << summary.restored << " item(s) restored"
            << (summary.resultsFile.empty() ? "" : ", listed in " + summary.resultsFile)
            << (summary.notReached == 0 ? "" : "; " + std::to_string(summary.notReached) + " not reached") << std::endl;
    } else if (!summary.jobSucceeded) {
        err << "fcl-restore: the job failed: " << summary.failureReason << std::endl;
    } else if (summary.failed != 0) {
        err << "fcl-restore: " << summary.failed << " item(s) not restored"
            << (summary.itemsReason.empty() ? "" : ": " + summary.itemsReason)
            << (summary.resultsFile.empty() ? "" : "; " + summary.resultsFile + " lists them") << std::endl;
    }
}

// The default results directories beyond the count the settings keep go, this job's own (held) aside.
void keepLatestResults() {
    unsigned long keep = kDefaultKeptJobs;
    WZPlatformInfo().getNumber("FclRestore", "nKeepJobResults", &keep);
    const std::string base = resolvedPath(stateDirectory() + "/fcl-restore");
    for (const std::string& removed : pruneResultsDirectories(base, keep == 0 ? 1 : keep)) {
        HOST_STEP("Removed the results of an earlier job: %s", removed.c_str());
    }
}

}  // namespace

int runRestoreHost(const HostOptions& options, std::ostream& out, std::ostream& err) {
    // A new job starts now, by the file clock: its tick passes while the job is prepared instead of being waited for.
    timespec called;
    clock_gettime(CLOCK_REALTIME, &called);
    PreparedJob prepared;
    JobRecord job;
    std::string why;
    const bool inProcess = options.listen.empty();
    ListenAddress listen;
    if (!checkLogLevelVariable(&why) || (!inProcess && !parseListenAddress(options.listen, &listen, &why))) {
        err << "fcl-restore: " << why << std::endl;
        return 2;
    }
    if (options.restart) {
        std::string resultsDir;
        if (!findCutJob(options, &job, &resultsDir, &why) || !prepareResumedJob(job, resultsDir, &prepared, &why)) {
            err << "fcl-restore: " << why << std::endl;
            return 2;
        }
        job.overwrite = job.overwrite || options.overwrite;
        if (!appendOverwriteChoice(prepared.settingsFile, job.overwrite, &why)) {
            err << "fcl-restore: " << why << std::endl;
            return 2;
        }
    } else {
        if (inProcess && !options.overwrite && refusedAfterCutJob(options, err)) {
            return 2;
        }
        std::vector<fclarchive::IndexEntry> items;
        if (!options.paths.empty() && readBackupIndex(resolvedPath(options.mediaDir), &items, &why)) {
            std::vector<std::string> unmatched = pathsSelectingNothing(items, options.paths);
            for (const std::string& path : unmatched) {
                err << "fcl-restore: " << path << ": not found in the backup" << std::endl;
            }
            if (!unmatched.empty()) {
                return 2;
            }
        }
        if (!prepareJob(options, &prepared, &why)) {
            err << "fcl-restore: " << why << std::endl;
            return 2;
        }
        job.jobId = jobIdFromClock();
        job.zendrelNumber = fir::FirJobOptions().zendrelNumber;
        job.mediaDir = prepared.mediaDir;
        job.destDir = prepared.destDir;
        job.paths = options.paths;
        job.stripLevel = options.stripLevel;
        job.overwrite = options.overwrite;
        job.noSparse = options.noSparse;
        job.mapFile = options.mapFile.empty() ? "" : resolvedPath(options.mapFile);
        // A resumed job keeps the first start: what a cut left unfinished is told by it, however often it was cut.
        job.started = fileClockTick(called);
    }
    if (!openJobLog(&prepared, options, &why)) {
        err << "fcl-restore: " << why << std::endl;
        return 2;
    }
    HOST_STEP("fcl-restore: media %s, destination %s, results %s", prepared.mediaDir.c_str(), prepared.destDir.c_str(),
              prepared.resultsDir.c_str());
    if (inProcess) {
        if (options.restart && !markCutItems(job, err, &why)) {
            err << "fcl-restore: " << why << std::endl;
            return 2;
        }
        job.state = JobState::Running;
        if (!writeJobRecord(prepared.resultsDir, job, &why)) {
            err << "fcl-restore: " << why << std::endl;
            return 2;
        }
    }
    JobSummary summary = HostRun(prepared, inProcess ? &job : nullptr, options.restart, options.progressSeconds, err)
                             .run(inProcess ? nullptr : &listen);
    if (inProcess) {
        job.state = exitStatus(summary) == 0 ? JobState::Succeeded : JobState::Failed;
        if (!writeJobRecord(prepared.resultsDir, job, &why)) {
            FCL_ERROR("%s", why.c_str());
        }
    }
    HOST_STEP("The job ended: %llu restored, %llu skipped, %llu failed, exit status %d",
              static_cast<unsigned long long>(summary.restored), static_cast<unsigned long long>(summary.skipped),
              static_cast<unsigned long long>(summary.failed), exitStatus(summary));
    out << formatSummary(summary) << std::flush;
    reportEnd(summary, err);
    if (options.resultsDir.empty()) {
        keepLatestResults();
    }
    return exitStatus(summary);
}

}  // namespace fclhost
