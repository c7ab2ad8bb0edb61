// The tools as people run them: a restore stopped by a signal, its progress on a terminal and through a pipe, the
// results directories it keeps, fcl-pack's command line and the fir command driving a
// listening host.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// fcl-restore running with its standard output on a pipe or on a pseudo-terminal, read as it comes.
class LiveHost {
public:
    LiveHost(const std::vector<std::string>& arguments, bool terminal, const std::string& errFile,
             const std::vector<std::string>& environment) {
        int child = -1;
        if (terminal) {
            EXPECT_EQ(openpty(&out_, &child, nullptr, nullptr, nullptr), 0);
        } else {
            int ends[2];
            EXPECT_EQ(pipe2(ends, O_CLOEXEC), 0);
            out_ = ends[0];
            child = ends[1];
        }
        std::vector<std::string> argv = {fcltest::toolPath("fcl-restore")};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        pid_ = fork();
        if (pid_ == 0) {
            setsid();
            int in = open("/dev/null", O_RDONLY);
            int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(in, 0);
            dup2(child, 1);
            dup2(err, 2);
            for (const std::string& variable : environment) {
                putenv(strdup(variable.c_str()));
            }
            std::vector<char*> args;
            for (const std::string& arg : argv) {
                args.push_back(const_cast<char*>(arg.c_str()));
            }
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(child);
        reader_ = std::thread([this] {
            char buffer[4096];
            ssize_t got;
            // A terminal's reads end with EIO once the program is gone.
            while ((got = read(out_, buffer, sizeof buffer)) > 0) {
                std::lock_guard<std::mutex> hold(lock_);
                text_.append(buffer, static_cast<size_t>(got));
            }
        });
    }
    ~LiveHost() {
        if (pid_ > 0 && status_ < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (reader_.joinable()) {
            reader_.join();
        }
        close(out_);
    }
    void signal(int signo) { ASSERT_EQ(kill(pid_, signo), 0); }
    // Holds the running job still for `seconds`, so that a display's next step falls due however fast the job is.
    void pause(double seconds) {
        signal(SIGSTOP);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        signal(SIGCONT);
    }
    // The wait status, or -1 when the program is still running after `seconds` (it is then killed).
    int wait(double seconds) {
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = status;
                reader_.join();
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    std::string out() {
        std::lock_guard<std::mutex> hold(lock_);
        return text_;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = -1;
    std::mutex lock_;
    std::string text_;
    std::thread reader_;
};

// Enough small files that a restore lasts well beyond the moments a test needs.
TreeLayout manySmallFiles(int directories, int filesEach) {
    TreeLayout plan;
    for (int d = 0; d < directories; ++d) {
        for (int f = 0; f < filesEach; ++f) {
            char name[64];
            snprintf(name, sizeof name, "d%03d/f%04d", d, f);
            plan.push_back(file(name, 700));
        }
    }
    return plan;
}

// The results file's lines of restored items ("<path>[  <kind>] \t5"): the paths they name.
std::vector<std::string> restoredPaths(const std::string& resultsFile) {
    std::vector<std::string> paths;
    std::string text = fcltest::readFile(resultsFile);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        if (line.size() > 2 && line.compare(line.size() - 2, 2, "\t5") == 0) {
            std::string name = line.substr(0, line.size() - 2);
            for (const char* tail : {" ", "  DATA", "  STUB"}) {
                size_t length = strlen(tail);
                if (name.size() > length && name.compare(name.size() - length, length, tail) == 0) {
                    name.resize(name.size() - length);
                }
            }
            paths.push_back(name);
        }
    }
    return paths;
}

size_t countOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class HostUse : public EndToEnd {
protected:
    std::vector<std::string> environment() const { return {"XDG_STATE_HOME=" + beside("state")}; }
    std::string errFile() const { return beside("stderr.txt"); }
    // Waits until the restore has written its first items, so that a signal lands in the middle of the job.
    void waitForFirstItems() {
        const auto end = Clock::now() + std::chrono::seconds(60);
        while (!exists(restored("d001")) && Clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ASSERT_TRUE(exists(restored("d001"))) << "the restore never began";
    }
};

TEST_F(HostUse, AnInterruptStopsTheJobWithinSecondsAndSumsUpWhatWasRestored) {
    build(manySmallFiles(60, 400));
    pack();
    struct Case {
        int signo;
        bool terminal;
        int status;
        const char* says;
    };
    for (const Case& c : {Case{SIGINT, false, 130, "Restore stopped by SIGINT"},
                          Case{SIGTERM, true, 143, "Restore stopped by SIGTERM"}}) {
        SCOPED_TRACE(c.says);
        fcltest::removeTree(dest());
        fcltest::removeTree(results());
        LiveHost host({"--results", results(), media(), dest()}, c.terminal, errFile(), environment());
        waitForFirstItems();
        host.signal(c.signo);
        const auto signalled = Clock::now();
        const int status = host.wait(60);
        ASSERT_NE(status, -1) << "still running a minute after the signal";
        EXPECT_LT(std::chrono::duration<double>(Clock::now() - signalled).count(), 10.0);
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), c.status);

        const std::string out = host.out();
        const std::string err = fcltest::readFile(errFile());
        EXPECT_TRUE(contains(out, c.says)) << out;
        EXPECT_TRUE(contains(err, "stopping the job")) << err;
        EXPECT_TRUE(contains(err, "stopped before the job's end")) << err;
        // What the summary and the results file call restored is in the destination; the job was really cut.
        const std::string resultsFile = fcltest::summaryField(out, "results file:");
        const std::vector<std::string> paths = restoredPaths(resultsFile.substr(0, resultsFile.find('\r')));
        EXPECT_TRUE(contains(out, "items restored: " + std::to_string(paths.size()))) << out;
        EXPECT_LT(paths.size(), sourceItems());
        // The items it never came to are not reached, not failed; every failed item has its line.
        const std::string results = fcltest::readFile(resultsFile.substr(0, resultsFile.find('\r')));
        const std::string failed = fcltest::summaryField(out, "items failed:");
        EXPECT_EQ(failed.substr(0, failed.find('\r')), std::to_string(countOf(results, "\t3\n"))) << out;
        EXPECT_TRUE(contains(out, "not reached:")) << out;
        uint64_t bytes = 0;
        for (const std::string& path : paths) {
            struct stat st;
            ASSERT_EQ(lstat(path.c_str(), &st), 0) << path;
            bytes += S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
        }
        EXPECT_TRUE(contains(out, "  bytes:          " + std::to_string(bytes) + "\r\n") ||
                    contains(out, "  bytes:          " + std::to_string(bytes) + "\n"))
            << "the bytes of the items restored: " << out;
    }
}

TEST_F(HostUse, ASecondInterruptEndsTheHostAtOnce) {
    build(manySmallFiles(60, 400));
    pack();
    LiveHost host({"--results", results(), media(), dest()}, false, errFile(), environment());
    waitForFirstItems();
    host.signal(SIGINT);
    // Signals of one kind merge while pending: the second is sent once the host took the first.
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (!contains(fcltest::readFile(errFile()), "stopping the job") && Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    host.signal(SIGINT);
    const int status = host.wait(5);
    ASSERT_NE(status, -1) << "still running after a second interrupt";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 130) {
        GTEST_SKIP() << "the first interrupt's stop ended the host before the second came";
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_FALSE(contains(host.out(), "Restore ")) << host.out();
}

TEST_F(HostUse, ProgressRedrawsOneLineOnATerminalAndStaysOffAPipe) {
    build(manySmallFiles(20, 400));
    pack();
    {
        LiveHost host({"--results", results(), media(), dest()}, true, errFile(), environment());
        waitForFirstItems();
        for (int step = 0; step < 3; ++step) {
            host.pause(0.3);
        }
        const int status = host.wait(300);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << host.out();
        const std::string out = host.out();
        const size_t summary = out.find("Restore succeeded");
        ASSERT_NE(summary, std::string::npos) << out;
        const std::string progress = out.substr(0, summary);
        EXPECT_EQ(progress.find('\n'), std::string::npos) << "one line, redrawn: " << progress;
        // The last line drawn before the display cleared it for the summary.
        std::string line;
        for (size_t at = progress.find("\r\033[K"); at != std::string::npos;) {
            const size_t next = progress.find("\r\033[K", at + 4);
            const std::string drawn = progress.substr(at + 4, next == std::string::npos ? next : next - at - 4);
            line = drawn.empty() ? line : drawn;
            at = next;
        }
        EXPECT_TRUE(contains(line, "/" + std::to_string(sourceItems()) + " items")) << line;
        for (const char* part : {"%", " MB  ", " MB/s", " left"}) {
            EXPECT_TRUE(contains(line, part)) << part << " in " << line;
        }
        EXPECT_GT(std::count(progress.begin(), progress.end(), '\r'), 2) << "the line moves";
    }
    fcltest::removeTree(dest());
    {
        LiveHost host({"--results", results(), media(), dest()}, false, errFile(), environment());
        ASSERT_EQ(host.wait(300), 0);
        EXPECT_EQ(host.out().rfind("Restore succeeded\n", 0), 0u) << host.out();
        // Successful items write no log lines at the default level.
        struct stat log;
        ASSERT_EQ(stat((results() + "/fclrestore.log").c_str(), &log), 0);
        EXPECT_LT(log.st_size, 8 * 1024) << fcltest::readFile(results() + "/fclrestore.log").substr(0, 4000);
    }
    fcltest::removeTree(dest());
    {
        LiveHost host({"--progress-every", "1", "--results", results(), media(), dest()}, false, errFile(),
                      environment());
        waitForFirstItems();
        host.pause(1.2);
        ASSERT_EQ(host.wait(300), 0);
        const std::string out = host.out();
        EXPECT_EQ(out.find('\r'), std::string::npos) << out;
        const std::string first = out.substr(0, out.find('\n'));
        EXPECT_TRUE(contains(first, " items ") && contains(first, "MB/s")) << out;
    }
}

TEST_F(HostUse, OnlyTheLatestDefaultResultsDirectoriesAreKept) {
    build({file("one", 10)});
    pack();
    const std::string base = beside("state") + "/fcl-restore";
    // A run refused before its job starts leaves nothing behind.
    fcltest::ProgramRun refused = fcltest::runTool("fcl-restore", {beside("no-media"), dest()}, 60, environment());
    EXPECT_EQ(refused.status, 2) << refused.describe();
    EXPECT_FALSE(exists(beside("state"))) << "no results directory for a refused run";

    fcltest::writeFile(beside("keep.ini"), "[FclRestore]\nnKeepJobResults = 2\n");
    std::string last;
    for (int run = 0; run < 4; ++run) {
        fcltest::ProgramRun job = fcltest::runTool(
            "fcl-restore", {"--overwrite", "--settings", beside("keep.ini"), media(), dest()}, 120, environment());
        ASSERT_EQ(job.status, 0) << job.describe();
        last = fcltest::summaryField(job.out, "results dir:");
    }
    const int dir = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::vector<std::string> kept = fcltest::entryNames(dir);
    close(dir);
    EXPECT_EQ(kept.size(), 2u);
    EXPECT_EQ(last.rfind(base + "/job-", 0), 0u) << last;
    EXPECT_TRUE(exists(last + "/fclrestore.log")) << "the summary names this job's own directory";
}

TEST_F(HostUse, PackUsageErrorsNameItsOwnOptionsAndGoToStandardError) {
    fcltest::ProgramRun help = fcltest::runTool("fcl-pack", {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(contains(help.out, "Usage: fcl-pack") && contains(help.out, "Exit status:")) << help.out;
    EXPECT_EQ(help.err, "");
    struct Case {
        std::vector<std::string> arguments;
        std::string says;
    };
    const Case cases[] = {
        {{}, "SOURCE_DIR and MEDIA_DIR are both required"},
        {{source()}, "MEDIA_DIR is required"},
        {{source(), media(), dest()}, "too many operands"},
        {{"--bogus", source(), media()}, "'--bogus'"},
        {{"--buffer", "0", source(), media()}, "--buffer must lie between 1 and"},
        {{"--archives", "x", source(), media()}, "'--archives'"},
    };
    for (const Case& c : cases) {
        fcltest::ProgramRun run = fcltest::runTool("fcl-pack", c.arguments);
        EXPECT_EQ(run.status, 2) << run.describe();
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(contains(run.err, c.says)) << c.says << "\n" << run.err;
        EXPECT_TRUE(contains(run.err, "Try 'fcl-pack --help'")) << run.err;
        EXPECT_FALSE(contains(run.err, "--source") || contains(run.err, "--media")) << run.err;
    }
}

TEST_F(HostUse, TheFirCommandDrivesAListeningHost) {
    build({file("a/one", 100), file("a/deeper/two", 70000), symlink("a/link", "one"), file("top", 10)});
    pack();
    const std::string socket = beside("fir.sock");
    fcltest::StartedProgram host = fcltest::startProgram(
        {fcltest::toolPath("fcl-restore"), "--listen", socket, "--results", results(), media(), dest()}, environment());
    for (int i = 0; i < 3000 && !exists(socket); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    fcltest::ProgramRun fir = fcltest::runTool("fir", {socket, media(), dest()}, 120);
    fcltest::ProgramRun hostRun = fcltest::finishProgram(host, 120);
    EXPECT_EQ(fir.status, 0) << fir.describe();
    EXPECT_TRUE(contains(fir.out, " ended: " + std::to_string(sourceItems()) + " restored, 0 skipped, 0 failed\n"))
        << fir.out;
    EXPECT_EQ(hostRun.status, 0) << hostRun.describe();
    EXPECT_EQ(fcltest::summaryField(hostRun.out, "items restored:"), std::to_string(sourceItems()));
    EXPECT_EQ(differences(), "");

    fcltest::ProgramRun nobody = fcltest::runTool("fir", {beside("nobody.sock"), media(), dest()}, 60);
    EXPECT_EQ(nobody.status, 2) << nobody.describe();
    EXPECT_TRUE(contains(nobody.err, "fir: cannot reach a host on")) << nobody.err;
}

}  // namespace
}  // namespace e2e
