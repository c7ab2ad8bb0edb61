// Faults as tests: the FIR leaving in the middle of the stream, a stop in the middle of a file, a full disk, no inodes
// left, a host killed and its job done again. Whatever the fault, the job does not claim success, and its results file
// is true to the disk: every item it calls restored is exact, and no file looks complete (its source's size and time)
// without being so. Each runs as root and, in a child process, as an ordinary user.
#include <fcntl.h>
#include <ftw.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

#include "platform/session/CWzNetwork.h"
#include "tests/e2e/AdversarialSupport.h"
#include "tests/e2e/EndToEnd.h"
#include "tools/fir/FirJob.h"

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

thread_local std::string g_copyRoot;
thread_local std::string g_dest;
thread_local std::string* g_problems;

int lookComplete(const char* path, const struct stat* copy, int type, FTW*) {
    if (type != FTW_F || !S_ISREG(copy->st_mode)) {
        return 0;
    }
    const std::string original = std::string(path).substr(g_dest.size());
    struct stat source;
    if (lstat(original.c_str(), &source) == 0 && source.st_size == copy->st_size && source.st_mtime == copy->st_mtime &&
        fcltest::readFile(original) != fcltest::readFile(path)) {
        *g_problems += std::string(path) + " looks complete but is not\n";
    }
    return 0;
}

// "" when the results file and the copy under `dest` agree: each item called restored is there and holds its source's
// bytes, and each file of the copy that has its source's size and time has its bytes too. The backup's paths are the
// source's own, so an item's source is its path in the copy without `dest`.
std::string untrueResults(const std::string& resultsFile, const std::string& dest, const std::string& copyRoot) {
    std::string problems;
    for (const ResultLine& line : readResults(resultsFile)) {
        if (!line.restored()) {
            continue;
        }
        const std::string path = line.path();
        if (path.compare(0, dest.size(), dest) != 0) {
            problems += "restored outside the destination: " + line.text + "\n";
            continue;
        }
        const std::string original = path.substr(dest.size());
        struct stat source;
        struct stat copy;
        if (lstat(original.c_str(), &source) != 0) {
            continue;
        }
        if (lstat(path.c_str(), &copy) != 0 || (source.st_mode & S_IFMT) != (copy.st_mode & S_IFMT)) {
            problems += "reported restored, but missing or of another kind: " + path + "\n";
        } else if (S_ISREG(source.st_mode) &&
                   (copy.st_size != source.st_size || fcltest::readFile(path) != fcltest::readFile(original))) {
            problems += "reported restored, but its bytes differ: " + path + "\n";
        }
    }
    g_copyRoot = copyRoot;
    g_dest = dest;
    g_problems = &problems;
    nftw(copyRoot.c_str(), lookComplete, 64, FTW_PHYS);
    return problems;
}

size_t restoredLines(const std::string& resultsDir) {
    const std::string file = findResults(resultsDir);
    size_t count = 0;
    for (const ResultLine& line : readResults(file)) {
        count += line.restored() ? 1 : 0;
    }
    return file.empty() ? 0 : count;
}

// Many small files and a few larger ones, so that a job cut anywhere leaves items on both sides of the cut.
TreeLayout manyFiles(int count, uint64_t size) {
    TreeLayout plan;
    for (int i = 0; i < count; ++i) {
        char name[32];
        snprintf(name, sizeof name, "dir%d/f%04d", i % 4, i);
        plan.push_back(file(name, i % 50 == 7 ? 2 * kMiB : size));
    }
    return plan;
}

class FaultFixture : public EndToEnd {
protected:
    virtual Identity who() const = 0;

    void SetUp() override {
        const std::string why = cannotRunAs(who());
        if (!why.empty()) {
            GTEST_SKIP() << why;
        }
    }

    // Builds `plan` owned by the user the job runs as, packs it in small buffers so that the restore takes many steps,
    // and gives the scratch tree to that user.
    void prepare(const TreeLayout& plan) {
        build(plan);
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        giveTree(source(), who());
        pack({"--buffer", "4"});
        ASSERT_EQ(mkdir(results().c_str(), 0755), 0);
        ASSERT_EQ(mkdir(dest().c_str(), 0755), 0);
        giveTree(beside(""), who());
    }

    std::vector<std::string> host(const std::vector<std::string>& options = {}) const {
        std::vector<std::string> argv{fcltest::toolPath("fcl-restore"), "--results", results()};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(media());
        argv.push_back(dest());
        return commandAs(who(), argv);
    }

    void expectResultsTrue(const std::string& context) {
        const std::string file = findResults(results());
        ASSERT_NE(file, "") << "no results file\n" << context;
        EXPECT_EQ(untrueResults(file, dest(), restored()), "") << context;
    }

    // Starts the host and kills it once `restoredItems` items are in the results file.
    fcltest::ProgramRun killedPartWay(size_t restoredItems) {
        fcltest::StartedProgram started = fcltest::startProgram(host());
        const auto deadline = Clock::now() + std::chrono::seconds(120);
        while (restoredLines(results()) < restoredItems && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        kill(started.pid, SIGKILL);
        return fcltest::finishProgram(started, 60);
    }
};

// The state letter of process `pid` in /proc (T stopped, Z ended), or 0 when it is gone.
char processState(int pid) {
    const std::string stat = fcltest::readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t nameEnd = stat.rfind(')');
    return nameEnd != std::string::npos && nameEnd + 2 < stat.size() ? stat[nameEnd + 2] : '\0';
}

class Faults : public FaultFixture, public ::testing::WithParamInterface<Identity> {
protected:
    Identity who() const override { return GetParam(); }
};

TEST_P(Faults, TheFirLeavingMidStreamFailsTheJobAndTheResultsStayTrue) {
    prepare(manyFiles(160, 64 * kKiB));
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    const std::string socket = beside("fir.sock");
    fcltest::StartedProgram started = fcltest::startProgram(host({"--listen", socket}));
    const std::string media = this->media();
    const std::string dest = this->dest();
    // The FIR runs as the host's user: only that user may connect.
    const std::string fir = runAs(who(), [&] {
        std::unique_ptr<CWzNetwork> session;
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        while (CWzNetwork::connect(socket, &session).IsError() && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!session) {
            return std::string("no host to connect to");
        }
        fir::FirSession firSession(std::move(session));
        std::atomic<int> statuses{0};
        firSession.setObserver([&](const fir::FirMessage& message) {
            if (message.extentStatus && ++statuses == 40) {
                firSession.close();
            }
        });
        fir::FirJobOptions options;
        options.mediaDir = media;
        options.destDir = dest;
        const fir::FirJobResult result = fir::runDefaultJob(firSession, options);
        return std::to_string(statuses.load()) + " item statuses, then " + fir::outcomeName(result.outcome);
    });
    const fcltest::ProgramRun run = fcltest::finishProgram(started, 120);
    const std::string context = "FIR: " + fir + "\n" + run.describe();
    EXPECT_NE(run.status, 0) << context;
    EXPECT_LT(restoredLines(results()), sourceItems()) << "the FIR left after the job had ended\n" << context;
    expectResultsTrue(context);
}

TEST_P(Faults, AStopInTheMiddleOfAFileLeavesNoFileLookingComplete) {
    if (const PendingMend* pending = pendingMend("StopInTheMiddleOfAFile")) {
        GTEST_SKIP() << "pending: " << pending->mend;
    }
    prepare({file("a small one", 10), file("big", 64 * kMiB), file("z after", 10)});
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    fcltest::StartedProgram started = fcltest::startProgram(host());
    const std::string big = restored("big");
    const auto sizeOf = [&big] {
        struct stat st;
        return stat(big.c_str(), &st) == 0 ? st.st_size : static_cast<off_t>(-1);
    };
    bool caught = false;
    const auto deadline = Clock::now() + std::chrono::seconds(120);
    while (!caught && Clock::now() < deadline) {
        const off_t seen = sizeOf();
        if (seen >= 0 && seen < static_cast<off_t>(32 * kMiB)) {
            // The host is held still from the moment the file is there, and the stop is sent while it is: however
            // loaded the machine, the stop then finds at least half the file unwritten, far more than it takes to
            // reach the reader.
            kill(started.pid, SIGSTOP);
            for (char state = processState(started.pid); state != 'T' && state != 'Z' && state != '\0';
                 state = processState(started.pid)) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            const off_t held = sizeOf();
            if (held > 0 && held < static_cast<off_t>(32 * kMiB)) {
                caught = kill(started.pid, SIGINT) == 0;
            }
            kill(started.pid, SIGCONT);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const fcltest::ProgramRun run = fcltest::finishProgram(started, 60);
    ASSERT_TRUE(caught) << "the big file was never seen part-way\n" << run.describe();
    EXPECT_EQ(run.status, 128 + SIGINT) << "as a shell reports a program stopped by Ctrl-C\n" << run.describe();
    EXPECT_NE(run.out.find("stopped"), std::string::npos) << run.describe();
    expectResultsTrue(run.describe());
}

// A small file system of its own at the destination, in a mount namespace of a child process: the job and the checks
// run there, and the mount goes with the child.
struct SmallDiskRun {
    std::string skipped;  // why it could not run, "" when it ran
    int status = -1;
    std::string output;    // the host's standard output and error
    std::string problems;  // what the results file claims that the disk does not hold
};

SmallDiskRun onSmallDisk(Identity who, const std::string& dest, const std::string& mountOptions,
                         const std::vector<std::string>& command, const std::string& results,
                         const std::string& copyRoot) {
    const std::string text = runAs(Identity::Root, [&]() -> std::string {
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return std::string("S") + "no mount namespace: " + strerror(errno);
        }
        const std::string options =
            mountOptions + ",uid=" + std::to_string(uidOf(who)) + ",gid=" + std::to_string(gidOf(who)) + ",mode=0755";
        if (mount("tmpfs", dest.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            return std::string("S") + "cannot mount a tmpfs: " + strerror(errno);
        }
        const fcltest::ProgramRun run = fcltest::runProgram(command, 120);
        const std::string file = findResults(results);
        const std::string problems = file.empty() ? "no results file\n" : untrueResults(file, dest, copyRoot);
        return "R" + std::to_string(run.status) + "\n" + std::to_string(problems.size()) + "\n" + problems +
               run.describe();
    });
    SmallDiskRun run;
    if (text.empty() || text[0] != 'R') {
        // 'S': the machine allows no small file system here; anything else is the child's own failure.
        if (!text.empty() && text[0] == 'S') {
            run.skipped = text.substr(1);
        } else {
            run.output = text;
        }
        return run;
    }
    std::istringstream in(text.substr(1));
    size_t problemsLength = 0;
    in >> run.status >> problemsLength;
    in.get();
    run.problems.resize(problemsLength);
    in.read(&run.problems[0], static_cast<std::streamsize>(problemsLength));
    run.output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return run;
}

// A file system that runs out of room, or of inodes, under the job.
struct DiskFault {
    std::string name;
    const char* mountOptions;
    TreeLayout plan;
    std::vector<const char*> saying;  // one of these tells what ran out
    std::string item;                 // the item that did not fit
};

void PrintTo(const DiskFault& fault, std::ostream* out) {
    *out << fault.name;
}

const DiskFault kDiskFaults[] = {
    {"FullDisk",
     "size=1m",
     {file("a", 300 * kKiB), file("b", 300 * kKiB), file("c", 300 * kKiB), file("d", 300 * kKiB), file("e", 300 * kKiB),
      file("z", 10)},
     {"No space left", "full"},
     "src/d"},
    // The root of the file system and the directories down to the copy take four of the twelve.
    {"NoInodes", "size=16m,nr_inodes=12", manyFiles(30, 10), {"No space left", "inode"}, "src/dir"},
};

class SmallDisk : public FaultFixture, public ::testing::WithParamInterface<std::tuple<DiskFault, Identity>> {
protected:
    Identity who() const override { return std::get<1>(GetParam()); }
    const DiskFault& fault() const { return std::get<0>(GetParam()); }
};

TEST_P(SmallDisk, FailsTheJobSayingWhatRanOutAndTheResultsStayTrue) {
    if (!fcltest::isRoot()) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    prepare(fault().plan);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    const SmallDiskRun run = onSmallDisk(who(), dest(), fault().mountOptions, host(), results(), restored());
    if (!run.skipped.empty()) {
        GTEST_SKIP() << run.skipped;
    }
    ASSERT_NE(run.status, -1) << "the job did not run: " << run.output;
    EXPECT_NE(run.status, 0) << run.output;
    EXPECT_EQ(run.problems, "") << run.output;
    if (const PendingMend* pending = pendingMend(fault().name + "SaysSo")) {
        GTEST_SKIP() << "the results hold; the rest is pending: " << pending->mend;
    }
    bool said = false;
    for (const char* text : fault().saying) {
        said = said || run.output.find(text) != std::string::npos;
    }
    EXPECT_TRUE(said) << "the job does not say what ran out\n" << run.output;
    EXPECT_NE(run.output.find(fault().item), std::string::npos) << "the job does not name the item\n" << run.output;
}

std::string diskFaultName(const ::testing::TestParamInfo<std::tuple<DiskFault, Identity>>& info) {
    return std::get<0>(info.param).name + "_" + identityName(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Faults, SmallDisk,
                         ::testing::Combine(::testing::ValuesIn(kDiskFaults),
                                            ::testing::Values(Identity::Root, Identity::User)),
                         diskFaultName);

TEST_P(Faults, AKilledHostRedoneWithOverwriteIsExact) {
    prepare(manyFiles(300, 32 * kKiB));
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    const fcltest::ProgramRun killed = killedPartWay(60);
    EXPECT_EQ(killed.status, 128 + SIGKILL) << killed.describe();
    EXPECT_LT(restoredLines(results()), sourceItems()) << "the job ended before it was killed";
    expectResultsTrue(killed.describe());

    const fcltest::ProgramRun again = fcltest::runProgram(host({"--overwrite"}), 300);
    EXPECT_EQ(again.status, 0) << again.describe();
    EXPECT_EQ(differences(), "");
}

TEST_P(Faults, AKilledHostResumedWithRestartIsExact) {
    prepare(manyFiles(300, 32 * kKiB));
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    const fcltest::ProgramRun killed = killedPartWay(60);
    EXPECT_EQ(killed.status, 128 + SIGKILL) << killed.describe();
    expectResultsTrue(killed.describe());
    if (const PendingMend* pending = pendingMend("KilledHostResumedWithRestart")) {
        GTEST_SKIP() << "the cut job's results hold; the rest is pending: " << pending->mend;
    }
    const fcltest::ProgramRun resumed = fcltest::runProgram(host({"--restart"}), 300);
    EXPECT_EQ(resumed.status, 0) << resumed.describe();
    EXPECT_EQ(differences(), "");
    expectResultsTrue(resumed.describe());
}

INSTANTIATE_TEST_SUITE_P(Faults, Faults, ::testing::Values(Identity::Root, Identity::User),
                         [](const ::testing::TestParamInfo<Identity>& info) { return identityName(info.param); });

}  // namespace
}  // namespace e2e
