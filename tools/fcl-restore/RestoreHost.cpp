#include "tools/fcl-restore/RestoreHost.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <thread>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/log/LogWriter.h"
#include "platform/session/CWzNetwork.h"
#include "platform/settings/WZPlatformAgents.h"
#include "platform/support/FXErrorUtil.h"
#include "protocol/FsrMessages.h"
#include "tools/fcl-restore/HostPaths.h"
#include "tools/fcl-restore/HostSetup.h"
#include "tools/fcl-restore/InterruptWatch.h"
#include "tools/fcl-restore/ProgressDisplay.h"
#include "tools/fir/FirJob.h"

namespace fclhost {
namespace {

using Clock = std::chrono::steady_clock;

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

ProgressFigures figuresOf(const FsRestoreStatistics& statistics) {
    ProgressFigures figures;
    figures.done = statistics.getNumFilesSucceeded() + statistics.getNumFilesSkipped() + statistics.getNumFilesFailed();
    figures.total = statistics.getNumFilesToRestore();
    figures.bytes = statistics.getNumBytesSucceeded();
    return figures;
}

// Keeps the figures of the FIR's progress reports; only the job's first report carries the total.
void takeProgress(ProgressBoard& board, const fir::FirMessage& message) {
    if (!message.progress) {
        return;
    }
    const FSRProgressReport_5_9& report = message.progress->record.progress;
    ProgressFigures figures = board.get();
    figures.done = report.filesSucceeded + report.filesSkipped + report.filesFailed;
    figures.bytes = report.bytesSucceeded;
    if (report.totalFiles != 0) {
        figures.total = report.totalFiles;
    }
    board.set(figures);
}

fir::FirJobOptions firOptionsOf(const HostOptions& options, const PreparedJob& prepared) {
    fir::FirJobOptions fo;
    fo.mediaDir = prepared.mediaDir;
    fo.destDir = prepared.destDir;
    fo.paths = options.paths;
    fo.stripLevel = options.stripLevel;
    fo.overwrite = options.overwrite;
    fo.restart = options.restart;
    return fo;
}

class HostRun {
public:
    HostRun(const HostOptions& options, const PreparedJob& prepared, std::ostream& err)
        : options_(options), prepared_(prepared), err_(err) {}
    JobSummary run();

private:
    bool connect();
    void runJob();
    void onSignal(int signo, int count);
    bool jobSucceeded() const;
    std::string failureReason() const;

    const HostOptions& options_;
    const PreparedJob& prepared_;
    std::ostream& err_;
    StopRequest stop_;
    std::unique_ptr<CWzNetwork> engineEnd_;
    std::unique_ptr<fir::FirSession> fir_;
    fir::FirJobResult firResult_;
    JobPtr job_;
    bool started_ = false;
    ProgressBoard board_;
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
    wzlog::writeAll(STDERR_FILENO, "\nfcl-restore: stopping the job (interrupt again to quit at once)\n");
    FCL_LOG(0, "The host was interrupted (signal %d): the job is asked to stop", signo);
    stop_.request();
}

bool HostRun::connect() {
    if (options_.listen.empty()) {
        std::unique_ptr<CWzNetwork> firEnd;
        CQiError error = CWzNetwork::makePair(&firEnd, &engineEnd_);
        if (error.IsError()) {
            connectError_ = "cannot make the job's session: " + error.AsString();
            return false;
        }
        fir_ = std::make_unique<fir::FirSession>(std::move(firEnd));
        fir_->setObserver([this](const fir::FirMessage& message) { takeProgress(board_, message); });
        // The stop, then the end: the engine ends a stopped job through its ordinary end, as failed.
        stop_.arm([this] {
            fir_->send(FSR_MSG_STOP);
            fir_->send(FSR_MSG_RESTORE_END);
        });
        return true;
    }
    std::unique_ptr<CWzListener> listener;
    CQiError error = CWzListener::listen(options_.listen, &listener);
    if (error.IsError()) {
        connectError_ = "cannot listen on " + options_.listen + ": " + error.AsString();
        return false;
    }
    err_ << "fcl-restore: waiting for the FIR on " << listener->address() << std::endl;
    // Short waits, so that an interrupt ends the wait for a FIR that never comes.
    do {
        error = listener->accept(1, &engineEnd_);
    } while (error.IsError() && FXErrorUtil::IsErrNo(error, ETIMEDOUT) && !stop_.requested());
    if (error.IsError()) {
        connectError_ = stop_.requested() ? "stopped before a FIR connected" : "no FIR connected: " + error.AsString();
        return false;
    }
    CWzNetwork* session = engineEnd_.get();
    stop_.arm([session] { session->shutdown(); });
    return true;
}

void HostRun::runJob() {
    std::thread firThread;
    if (fir_) {
        firThread = std::thread([this, fo = firOptionsOf(options_, prepared_)] {
            firResult_ = fir::runDefaultJob(*fir_, fo);
            // The engine sees the FIR leave, also when the driver gave up before the job started.
            fir_->close();
        });
    }
    std::string clientName = WZPI_Focus::getFocusClientName(true);
    std::vector<char> name(clientName.begin(), clientName.end());
    name.push_back('\0');
    job_ = std::make_unique<FclRestore>();
    started_ = job_->initialize(engineEnd_.get(), name.data(), nullptr);
    if (started_) {
        ProgressDisplay display(STDOUT_FILENO, [this] {
            const FsRestoreStatistics* statistics = job_->getStatistics();
            return fir_ || statistics == nullptr ? board_.get() : figuresOf(*statistics);
        });
        job_->receiveRestoreMsgs();
        job_->finalize();
    }
    // The FIR's waits end with the session.
    engineEnd_->shutdown();
    if (firThread.joinable()) {
        firThread.join();
    }
}

bool HostRun::jobSucceeded() const {
    // As the job's own end decides (finalize); the in-process FIR must also have seen the job end well.
    const bool engineSucceeded = (job_->_fatalError == 0 && job_->_stopReceived == 0) || job_->_suppressFailure != 0;
    return started_ && engineSucceeded && !stop_.requested() &&
           (!fir_ || firResult_.outcome == fir::FirOutcome::Succeeded);
}

std::string HostRun::failureReason() const {
    if (stop_.requested()) {
        return "stopped by an interrupt";
    }
    const bool firFailedFirst =
        fir_ && (firResult_.outcome == fir::FirOutcome::BadMedia || firResult_.outcome == fir::FirOutcome::BadOptions);
    std::string engineReason = job_->getFailureReason();
    if (!firFailedFirst && !engineReason.empty()) {
        return engineReason;
    }
    if (fir_ && firResult_.outcome != fir::FirOutcome::Succeeded) {
        return std::string("the FIR driver reports ") + fir::outcomeName(firResult_.outcome) +
               (firResult_.reason.empty() ? "" : ": " + firResult_.reason);
    }
    return started_ ? "the job ended without its final status" : "the job did not start";
}

JobSummary HostRun::run() {
    JobSummary summary;
    summary.resultsDir = prepared_.resultsDir;
    summary.logFile = prepared_.logFile;
    const auto start = Clock::now();
    {
        InterruptWatch watch([this](int signo, int count) { onSignal(signo, count); });
        if (!connect()) {
            summary.failureReason = connectError_;
            return summary;
        }
        runJob();
    }
    summary.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    summary.jobSucceeded = jobSucceeded();
    if (!summary.jobSucceeded) {
        summary.failureReason = failureReason();
        FCL_ERROR("The job failed: %s", summary.failureReason.c_str());
    }
    if (const FsRestoreStatistics* statistics = job_->getStatistics()) {
        summary.restored = statistics->getNumFilesSucceeded();
        summary.skipped = statistics->getNumFilesSkipped();
        summary.failed = statistics->getNumFilesFailed();
        summary.bytes = statistics->getNumBytesSucceeded();
    }
    if (job_->getJobID() > 0) {
        summary.resultsFile = findResultsFile(prepared_.resultsDir, job_->getJobID());
    }
    job_.reset();
    return summary;
}

}  // namespace

int runRestoreHost(const HostOptions& options, std::ostream& out, std::ostream& err) {
    PreparedJob prepared;
    std::string why;
    if (!prepareJob(options, &prepared, &why) || !openJobLog(&prepared, &why)) {
        err << "fcl-restore: " << why << std::endl;
        return 2;
    }
    FCL_LOG(0, "fcl-restore: media %s, destination %s, results %s", prepared.mediaDir.c_str(), prepared.destDir.c_str(),
            prepared.resultsDir.c_str());
    JobSummary summary = HostRun(options, prepared, err).run();
    out << formatSummary(summary) << std::flush;
    return exitStatus(summary);
}

}  // namespace fclhost
