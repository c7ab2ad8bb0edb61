// Synchronised restores through the restore host: the user's changed and locked files stay, the backup's copies go
// beside them under conflict names, and two such jobs take turns at the scan lock they share with the sync scan.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "clRestore/objects/SyncConflictRules.h"
#include "platform/settings/PlatformPaths.h"
#include "tests/common/LockedByChild.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

const TreeLayout kTree = {
    file("unchanged.txt", 3000),   file("docs/guide.txt", 500),
    file("modified.txt", 4000),    file("notes", 700),
    file("lib.old/Makefile", 90),  file("locked.dat", 2 * kKiB),
    file("locked-but-old.db", 64), file("link to locked.dat", 300),
};

std::string hostName() {
    char name[256] = "";
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "localhost";
    }
    return name;
}

void setMtime(const std::string& path, time_t mtime) {
    const struct timespec times[2] = {{1000, 0}, {mtime, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Every path under `top` whose name holds the conflict tag.
void conflictNames(const std::string& top, std::vector<std::string>* found) {
    const int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    for (const std::string& name : fcltest::entryNames(fd)) {
        const std::string path = top + "/" + name;
        if (fclsync::hasConflictTag(name)) {
            found->push_back(path);
        }
        conflictNames(path, found);
    }
    close(fd);
}

class SyncRestore : public EndToEnd {
protected:
    // Settings of a synchronised restore that keeps changed files, the last sync backup `lastBackup`, the run
    // directory under beside("install"), and the client's in-progress mark.
    std::string writeSettings(time_t lastBackup) {
        const std::string path = beside("sync.ini");
        fcltest::writeFile(path, "[SyncRestore]\nbSyncRestore = y\nbPreserveModifiedFiles = y\nnLastSyncBackupTime = " +
                                     std::to_string(lastBackup) + "\n[Base]\ndBASEHOME = " + beside("install") +
                                     "\n[FileSystemAgent]\nisRestoreAsSparseFile = y\nsSyncRestoreInProgress = 1\n");
        return path;
    }
    std::string conflictOf(const std::string& path) const {
        std::string name;
        EXPECT_TRUE(fclsync::conflictName(path, fclsync::safeMachineName(hostName().c_str()), &name));
        return name;
    }
};

TEST_F(SyncRestore, ChangedAndLockedFilesStayAndTheBackupGoesBeside) {
    build(kTree);
    ASSERT_EQ(packAndRestore().status, 0);

    // The user works on: some files changed after the last sync backup, one is held locked, the rest are as the
    // backup left them in time though not in content (so that their restore shows).
    const time_t lastBackup = time(nullptr) - 100;
    const std::vector<std::string> changed = {"modified.txt", "notes", "lib.old/Makefile"};
    const std::vector<std::string> locked = {"locked.dat"};
    // The user put a link to the locked file where the backup has a file: the link is kept like the file.
    const std::vector<std::string> linkToLocked = {"link to locked.dat"};
    const std::vector<std::string> plain = {"unchanged.txt", "docs/guide.txt", "locked-but-old.db"};
    for (const std::string& name : changed) {
        fcltest::writeFile(restored(name), "the user's edit of " + name);
        setMtime(restored(name), lastBackup + 50);
    }
    for (const std::string& name : locked) {
        fcltest::writeFile(restored(name), "the user's locked " + name);
        setMtime(restored(name), 1000);
    }
    for (const std::string& name : plain) {
        fcltest::writeFile(restored(name), "stale");
        setMtime(restored(name), 1000);
    }
    for (const std::string& name : linkToLocked) {
        ASSERT_EQ(unlink(restored(name).c_str()), 0);
        ASSERT_EQ(::symlink("locked.dat", restored(name).c_str()), 0);
    }
    const std::string settings = writeSettings(lastBackup);
    fcltest::ProgramRun run;
    {
        fcltest::LockedByChild lock(restored("locked.dat"));
        run = restore({"--overwrite", "--settings", settings});
    }
    ASSERT_EQ(run.status, 0) << run.describe();

    const std::string resultsFile = fcltest::summaryField(run.out, "results file:");
    const std::string lines = fcltest::readFile(resultsFile);
    std::vector<std::string> expectedConflicts;
    for (const std::vector<std::string>* kept : {&changed, &locked, &linkToLocked}) {
        for (const std::string& name : *kept) {
            SCOPED_TRACE(name);
            const std::string conflict = conflictOf(restored(name));
            expectedConflicts.push_back(conflict);
            EXPECT_NE(fcltest::readFile(restored(name)).find("the user's"), std::string::npos) << "not kept";
            EXPECT_EQ(fcltest::readFile(conflict), fcltest::readFile(source(name)));
            EXPECT_NE(lines.find("\n" + conflict + " "), std::string::npos) << lines;
            EXPECT_EQ(lines.find("\n" + restored(name) + " "), std::string::npos) << lines;
        }
    }
    for (const std::string& name : linkToLocked) {
        struct stat st;
        ASSERT_EQ(lstat(restored(name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << name << ": the user's link was replaced";
    }
    for (const std::string& name : plain) {
        SCOPED_TRACE(name);
        EXPECT_EQ(fcltest::readFile(restored(name)), fcltest::readFile(source(name)));
        EXPECT_NE(lines.find("\n" + restored(name) + " "), std::string::npos) << lines;
    }
    std::vector<std::string> found;
    conflictNames(dest(), &found);
    std::sort(found.begin(), found.end());
    std::sort(expectedConflicts.begin(), expectedConflicts.end());
    EXPECT_EQ(found, expectedConflicts) << "a conflict name elsewhere, or a new directory tree";

    // The client's in-progress mark is gone from the settings the job ran with.
    const std::string jobSettings = fcltest::readFile(results() + "/settings.ini");
    EXPECT_NE(jobSettings.find("bSyncRestore"), std::string::npos);
    EXPECT_EQ(jobSettings.find("sSyncRestoreInProgress"), std::string::npos);
}

// The results file of the one job whose results directory is `resultsDir`; "" while there is none.
std::string resultsFile(const std::string& resultsDir) {
    const std::string zendrel = resultsDir + "/2";
    const int fd = open(zendrel.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return "";
    }
    const std::vector<std::string> jobs = fcltest::entryNames(fd);
    close(fd);
    return jobs.size() == 1 ? zendrel + "/" + jobs[0] + "/restore.results" : "";
}

// True while process `pid` waits for a flock: the kernel lists a blocked request with "->" before it.
bool waitsForFlock(int pid) {
    std::istringstream locks(fcltest::readFile("/proc/locks"));
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, arrow, kind, mode, access, owner;
        fields >> number >> arrow >> kind >> mode >> access >> owner;
        if (arrow == "->" && kind == "FLOCK" && owner == std::to_string(pid)) {
            return true;
        }
    }
    return false;
}

bool holds(const std::string& path, const std::string& text) {
    return !path.empty() && exists(path) && fcltest::readFile(path).find(text) != std::string::npos;
}

// True once `done` holds, asking for at most `seconds`.
bool waitFor(const std::function<bool()>& done, int seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

TEST_F(SyncRestore, SecondJobWaitsForTheScanLockThenRuns) {
    build({file("a.txt", 1000), file("sub/b.bin", 70 * kKiB)});
    pack();
    const std::string settings = writeSettings(time(nullptr) - 100);
    // The first job is held at its end, still holding the scan lock, until the hook file goes.
    const std::string runDir = beside("install") + "/run";
    ASSERT_TRUE(wzplatform::makeDirectories(runDir));
    const std::string hook = runDir + "/sync_restore.hook";
    fcltest::writeFile(hook, "");
    // Whatever fails below, the first job is let go at the test's end.
    std::unique_ptr<const std::string, void (*)(const std::string*)> release(
        &hook, [](const std::string* path) { unlink(path->c_str()); });

    auto start = [&](const std::string& results, const std::string& dest) {
        return fcltest::startProgram({fcltest::toolPath("fcl-restore"), "--overwrite", "--settings", settings,
                                      "--results", results, media(), dest},
                                     {"FCL_LOG_LEVEL=5"});
    };
    const std::string firstLog = beside("first") + "/fclrestore.log";
    const std::string secondLog = beside("second") + "/fclrestore.log";
    fcltest::StartedProgram first = start(beside("first"), dest());
    // Its results end when all is restored; the job then stays at its end, holding the lock.
    ASSERT_TRUE(waitFor([&] { return holds(resultsFile(beside("first")), "EndIndexedRestore"); }, 60))
        << "the first job did not reach its end\n"
        << (exists(firstLog) ? fcltest::readFile(firstLog) : "no log");

    fcltest::StartedProgram second = start(beside("second"), beside("dest2"));
    ASSERT_TRUE(waitFor([&] { return waitsForFlock(second.pid); }, 60)) << "the second job never waited for the lock";
    EXPECT_EQ(kill(second.pid, 0), 0) << "the second job ended while the first held the lock";
    EXPECT_EQ(resultsFile(beside("second")), "") << "the second job went on without the lock";
    EXPECT_FALSE(exists(beside("dest2") + source("a.txt"))) << "the second job restored without the lock";

    ASSERT_EQ(unlink(hook.c_str()), 0);
    const fcltest::ProgramRun firstRun = fcltest::finishProgram(first, 120);
    const fcltest::ProgramRun secondRun = fcltest::finishProgram(second, 120);
    EXPECT_EQ(firstRun.status, 0) << firstRun.describe();
    EXPECT_EQ(secondRun.status, 0) << secondRun.describe();
    // Read once the job ended: a log holds back lines of a job going well until the next one comes a second later.
    EXPECT_NE(fcltest::readFile(firstLog).find("Suspending Sync Scan Check"), std::string::npos);
    // Folder times are not restored by synchronised restores: the files are compared.
    for (const char* name : {"a.txt", "sub/b.bin"}) {
        EXPECT_EQ(fcltest::readFile(restored(name)), fcltest::readFile(source(name))) << name;
        EXPECT_EQ(fcltest::readFile(beside("dest2") + source(name)), fcltest::readFile(source(name))) << name;
    }
    const std::string secondText = fcltest::readFile(secondLog);
    EXPECT_NE(secondText.find("Waiting for the sync lock"), std::string::npos);
    EXPECT_NE(secondText.find("Suspending Sync Scan Check"), std::string::npos);
    EXPECT_NE(secondText.find("Resuming Sync Scan Check"), std::string::npos);
}

}  // namespace
}  // namespace e2e
