#include "tests/e2e/EndToEnd.h"

#include <ftw.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <boost/make_shared.hpp>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/log/LogWriter.h"
#include "platform/session/CWzNetwork.h"
#include "platform/settings/PlatformPaths.h"
#include "platform/settings/SettingsFile.h"
#include "tools/fcl-restore/HostSettings.h"
#include "tools/fir/FirJob.h"

namespace e2e {
namespace {

thread_local uint64_t g_count = 0;

int countOne(const char*, const struct stat*, int, FTW*) {
    ++g_count;
    return 0;
}

std::string realPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

}  // namespace

EndToEnd::EndToEnd() {
    // Real paths: the packed root is recorded resolved, and the destination must match it.
    top_ = realPath(scratch_.path());
    source_ = top_ + "/src";
    media_ = top_ + "/media";
    dest_ = top_ + "/dest";
    results_ = top_ + "/results";
    mkdir(source_.c_str(), 0755);
    mkdir(media_.c_str(), 0755);
}

void EndToEnd::build(const TreeLayout& plan) {
    if (needsRoot(plan) && !fcltest::isRoot()) {
        GTEST_SKIP() << "the tree gives items owners: needs root";
    }
    std::string why;
    ASSERT_TRUE(buildTree(source_, plan, &why)) << why;
    for (const Item& item : plan) {
        if (item.holes.empty()) {
            continue;
        }
        if (dataRuns(source(item.name)) != expectedRuns(item)) {
            GTEST_SKIP() << "the scratch file system does not keep the holes of " << item.name;
        }
    }
}

void EndToEnd::pack(const std::vector<std::string>& options) {
    std::vector<std::string> arguments = options;
    arguments.push_back(source_);
    arguments.push_back(media_);
    fcltest::ProgramRun run = fcltest::runTool("fcl-pack", arguments);
    ASSERT_EQ(run.status, 0) << run.describe();
}

fcltest::ProgramRun EndToEnd::restore(const std::vector<std::string>& options) {
    std::vector<std::string> arguments{"--results", results_};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.push_back(media_);
    arguments.push_back(dest_);
    return fcltest::runTool("fcl-restore", arguments);
}

fcltest::ProgramRun EndToEnd::restoreThroughFir(const std::vector<std::string>& firOptions, fcltest::ProgramRun* fir) {
    const std::string socket = beside("fir.sock");
    unlink(socket.c_str());
    fcltest::StartedProgram host = fcltest::startProgram(
        {fcltest::toolPath("fcl-restore"), "--listen", socket, "--results", results_, media_, dest_});
    struct stat st;
    for (int i = 0; i < 30000 && lstat(socket.c_str(), &st) != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::vector<std::string> arguments = firOptions;
    arguments.insert(arguments.end(), {socket, media_, dest_});
    fcltest::ProgramRun firRun = fcltest::runTool("fir", arguments, 120);
    fcltest::ProgramRun hostRun = fcltest::finishProgram(host, 120);
    if (fir != nullptr) {
        *fir = firRun;
    }
    return hostRun;
}

namespace {

// The process's ids, supplementary groups and file-creation mask.
std::string processIdentity() {
    std::vector<gid_t> groups(static_cast<size_t>(NGROUPS_MAX) + 1);
    const int count = getgroups(static_cast<int>(groups.size()), groups.data());
    groups.resize(count > 0 ? static_cast<size_t>(count) : 0);
    std::sort(groups.begin(), groups.end());
    const mode_t mask = umask(0);
    umask(mask);
    std::ostringstream text;
    text << "uid " << getuid() << "/" << geteuid() << " gid " << getgid() << "/" << getegid() << " groups";
    for (gid_t group : groups) {
        text << " " << group;
    }
    text << " umask " << std::oct << mask;
    char cwd[PATH_MAX];
    text << " cwd " << (getcwd(cwd, sizeof cwd) != nullptr ? cwd : "?");
    return text.str();
}

// How a FIR-driven job in a child process restores.
struct ChildJob {
    std::string dest = "/";
    bool inPlace = true;
    bool imageLevel = false;
    InPlaceChoice choice;
};

// The child's part of restoreInPlace and restoreImageLevel: set up as the host does, run the job, write what it
// reports to `report`.
void runChildJob(const std::string& media, const std::string& results, const std::string& report, const ChildJob& how) {
    std::string settings;
    std::string why;
    // The restore task leaves existing items to the options word and the rules of the item's time, as it does for
    // jobs the host has no option for.
    fclhost::SettingsChoice host;
    host.overwrite = true;
    fclhost::composeSettings(host, &settings, &why);
    std::ofstream(results + "/settings.ini") << settings << how.choice.settings;
    wzplatform::setResultsDirectory(results);
    wzplatform::setSettingsFile(results + "/settings.ini");
    FsRestoreArchive::setMediaDirectory(media);
    // Level 3: tests read the per-item status lines.
    g_ptrLogWriter = boost::make_shared<wzlog::FileLogWriter>(results + "/fclrestore.log", 3);

    std::unique_ptr<CWzNetwork> firEnd;
    std::unique_ptr<CWzNetwork> engineEnd;
    InPlaceRun run;
    run.identityBefore = processIdentity();
    if (CWzNetwork::makePair(&firEnd, &engineEnd).IsError()) {
        run.reason = "no session";
    } else {
        fir::FirSession session(std::move(firEnd));
        fir::FirJobOptions options;
        options.mediaDir = media;
        options.destDir = how.dest;
        options.inPlace = how.inPlace;
        options.overwrite = how.inPlace;
        options.imageLevel = how.imageLevel;
        options.droppedOptions = how.choice.droppedOptions;
        options.reservedOptions = how.choice.reservedOptions;
        options.appType = how.choice.appType;
        fir::FirJobResult fir;
        std::thread driver([&] {
            fir = fir::runDefaultJob(session, options);
            session.close();
        });
        char name[] = "fcl-e2e";
        FclRestore job;
        const bool started = job.initialize(engineEnd.get(), name, nullptr);
        if (started) {
            if (how.choice.prepareJob) {
                how.choice.prepareJob(job);
            }
            job.receiveRestoreMsgs();
            job.finalize();
        }
        engineEnd->shutdown();
        driver.join();
        run.succeeded = started && ((job._fatalError == 0 && job._stopReceived == 0) || job._suppressFailure != 0) &&
                        fir.outcome == fir::FirOutcome::Succeeded;
        run.reason = job.getFailureReason() + " / FIR: " + fir::outcomeName(fir.outcome) + " " + fir.reason;
        if (const FsRestoreStatistics* statistics = job.getStatistics()) {
            run.restored = statistics->getNumFilesSucceeded();
            run.failed = statistics->getNumFilesFailed();
            run.skipped = statistics->getNumFilesSkipped();
        }
    }
    run.identityAfter = processIdentity();
    std::ofstream(report) << run.succeeded << " " << run.restored << " " << run.failed << " " << run.skipped << "\n"
                          << run.identityBefore << "\n"
                          << run.identityAfter << "\n"
                          << run.reason;
}

InPlaceRun runInChild(const std::string& media, const std::string& results, const ChildJob& how) {
    mkdir(results.c_str(), 0755);
    const std::string report = results + "/in-place-run";
    fflush(nullptr);
    // The engine changes the process's signal dispositions and keeps process-wide state: a child of its own.
    const pid_t child = fork();
    if (child == 0) {
        runChildJob(media, results, report, how);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    InPlaceRun run;
    std::ifstream in(report);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        !(in >> run.succeeded >> run.restored >> run.failed >> run.skipped)) {
        run.reason = "the job's process ended with status " + std::to_string(status);
        return run;
    }
    std::getline(in >> std::ws, run.identityBefore);
    std::getline(in, run.identityAfter);
    std::getline(in, run.reason);
    return run;
}

}  // namespace

InPlaceRun EndToEnd::restoreInPlace(const InPlaceChoice& choice) {
    ChildJob how;
    how.choice = choice;
    if (choice.intoDest) {
        how.dest = dest_;
        how.inPlace = false;
    }
    return runInChild(media_, results_, how);
}

InPlaceRun EndToEnd::restoreImageLevel() {
    ChildJob how;
    how.dest = dest_;
    how.inPlace = false;
    how.imageLevel = true;
    return runInChild(media_, results_, how);
}

InPlaceRun EndToEnd::restoreInChild(const InPlaceChoice& choice) {
    ChildJob how;
    how.dest = dest_;
    how.inPlace = false;
    how.choice = choice;
    return runInChild(media_, results_, how);
}

fcltest::ProgramRun EndToEnd::packAndRestore(const std::vector<std::string>& options) {
    fcltest::ProgramRun run;
    pack();
    if (HasFatalFailure()) {
        return run;
    }
    run = restore(options);
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), std::to_string(sourceItems())) << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), "0") << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items skipped:"), "0") << run.out;
    return run;
}

std::string EndToEnd::differences(Holes holes) const {
    return rsyncDifferences(source(), restored()) + contentDifferences(source(), restored(), holes);
}

uint64_t EndToEnd::sourceItems() const {
    g_count = 0;
    nftw(source_.c_str(), countOne, 64, FTW_PHYS);
    return g_count;
}

}  // namespace e2e
