// fcl-restore run as a user runs it: what it refuses, what it creates, what it prints and how it exits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/session/CWzNetwork.h"
#include "protocol/FsrMessages.h"
#include "protocol/FsrRecords.h"
#include "tests/common/TestSupport.h"
#include "tests/common/ToolRunner.h"
#include "tools/fir/FirSession.h"

namespace {

using fcltest::ProgramRun;

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class HostProcess : public ::testing::Test {
protected:
    HostProcess() {
        mkdir(media().c_str(), 0755);
        // A default results directory never reaches the user's own state directory.
        environment_ = {"XDG_STATE_HOME=" + scratch_ / "state"};
    }
    std::string media() const { return scratch_ / "media"; }
    // A backup of one file in a tree of its own, the tree's path returned.
    std::string packOneFile() {
        const std::string tree = scratch_ / "tree";
        mkdir(tree.c_str(), 0755);
        fcltest::writeFile(tree + "/one", "1");
        fcltest::removeTree(media());
        ProgramRun pack = fcltest::runTool("fcl-pack", {tree, media()});
        EXPECT_EQ(pack.status, 0) << pack.describe();
        return tree;
    }
    std::string dest() const { return scratch_ / "dest"; }
    ProgramRun restore(const std::vector<std::string>& arguments) {
        return fcltest::runTool("fcl-restore", arguments, 120, environment_);
    }

    fcltest::ScratchDir scratch_{"hostrun"};
    std::vector<std::string> environment_;
};

TEST_F(HostProcess, HelpExitsZeroAndUsageErrorsTwo) {
    ProgramRun help = restore({"--help"});
    EXPECT_EQ(help.status, 0) << help.describe();
    EXPECT_TRUE(contains(help.out, "Usage: fcl-restore [options] MEDIA_DIR DEST_DIR"));

    ProgramRun wrong = restore({"--strip", "-1", media(), dest()});
    EXPECT_EQ(wrong.status, 2) << wrong.describe();
    EXPECT_TRUE(contains(wrong.err, "fcl-restore: --strip must be a number")) << wrong.err;
    EXPECT_EQ(wrong.out, "");
    EXPECT_FALSE(exists(dest())) << "nothing is made for a command line that is refused";
}

// The conventions of tar, rsync and restic, the same for the three tools: --version, --help with the names of values,
// and a usage error as one line and a pointer to --help.
TEST_F(HostProcess, EveryToolFollowsTheCommandConventions) {
    struct Case {
        const char* tool;
        std::vector<std::string> wrong;
        const char* says;
    };
    const Case cases[] = {
        {"fcl-restore", {"--strip", "-1", "m", "d"}, "--strip must be a number"},
        {"fcl-restore", {"--bogus", "m", "d"}, "unrecognised option '--bogus'"},
        {"fcl-restore", {}, "MEDIA_DIR and DEST_DIR are both required"},
        {"fcl-pack", {"--archives", "x", "s", "m"}, "'--archives'"},
        {"fcl-pack", {"s", "m", "third"}, "too many operands"},
        {"fir", {"--strip", "two", "a", "m", "d"}, "--strip must be a number"},
        {"fir", {"--path", "relative", "a", "m", "d"}, "--path must name an absolute path"},
        {"fir", {"a", "m"}, "DEST_DIR is required"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tool);
        const ProgramRun version = fcltest::runTool(c.tool, {"--version"});
        EXPECT_EQ(version.status, 0) << version.describe();
        EXPECT_EQ(version.out.rfind(std::string(c.tool) + " ", 0), 0u) << version.out;
        EXPECT_EQ(std::count(version.out.begin(), version.out.end(), '\n'), 1) << version.out;

        const ProgramRun help = fcltest::runTool(c.tool, {"--help"});
        EXPECT_EQ(help.status, 0) << help.describe();
        EXPECT_TRUE(contains(help.out, std::string("Usage: ") + c.tool)) << help.out;
        EXPECT_FALSE(contains(help.out, " arg ")) << "values are named: " << help.out;
        EXPECT_FALSE(contains(help.out, "operand-")) << help.out;

        const ProgramRun wrong = fcltest::runTool(c.tool, c.wrong);
        EXPECT_EQ(wrong.status, 2) << wrong.describe();
        EXPECT_EQ(wrong.out, "");
        EXPECT_EQ(wrong.err.rfind(std::string(c.tool) + ": ", 0), 0u) << wrong.err;
        EXPECT_TRUE(contains(wrong.err, c.says)) << c.says << "\n" << wrong.err;
        EXPECT_TRUE(contains(wrong.err, std::string("\nTry '") + c.tool + " --help' for more information.\n"))
            << wrong.err;
        EXPECT_EQ(std::count(wrong.err.begin(), wrong.err.end(), '\n'), 2) << wrong.err;
    }
}

TEST_F(HostProcess, RefusesAResultsDirectoryInsideTheDestinationAndMakesNothing) {
    ASSERT_EQ(mkdir((scratch_ / "elsewhere").c_str(), 0755), 0);
    ASSERT_EQ(symlink(dest().c_str(), (scratch_ / "elsewhere/link-to-dest").c_str()), 0);
    for (const std::string& results :
         {dest(), dest() + "/results", dest() + "/a/../results", scratch_ / "elsewhere/link-to-dest/results"}) {
        ProgramRun run = restore({"--results", results, media(), dest()});
        EXPECT_EQ(run.status, 2) << results << "\n" << run.describe();
        EXPECT_TRUE(contains(run.err, "lies inside the destination")) << run.err;
        EXPECT_FALSE(exists(dest())) << results;
    }
}

TEST_F(HostProcess, RefusesADefaultResultsDirectoryInsideTheDestination) {
    environment_ = {"XDG_STATE_HOME=" + dest() + "/state"};
    ProgramRun run = restore({media(), dest()});
    EXPECT_EQ(run.status, 2) << run.describe();
    EXPECT_TRUE(contains(run.err, "default results directory")) << run.err;
    EXPECT_TRUE(contains(run.err, "--results")) << run.err;
    EXPECT_FALSE(exists(dest()));
}

// A backup the job cannot read fails it before anything is made.
TEST_F(HostProcess, AMediaDirectoryWithoutArchivesIsRefusedAndNothingIsMade) {
    ProgramRun run = restore({media(), dest()});
    EXPECT_EQ(run.status, 2) << run.describe();
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(contains(
        run.err, "fcl-restore: the backup in " + media() + " cannot be restored: no archive files in " + media()))
        << run.err;
    EXPECT_FALSE(exists(dest()));
    EXPECT_FALSE(exists(scratch_ / "state"));
}

TEST_F(HostProcess, AJobGetsANewResultsDirectoryWithItsLogAndSettings) {
    packOneFile();
    ProgramRun run = restore({media(), dest()});
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), "2") << run.out;

    // The default results directory is a new one under the state directory, and holds the log and the settings.
    std::string results = fcltest::summaryField(run.out, "results dir:");
    EXPECT_EQ(results.rfind(scratch_ / "state/fcl-restore/job-", 0), 0u) << results;
    EXPECT_EQ(fcltest::summaryField(run.out, "log:"), results + "/fclrestore.log");
    EXPECT_TRUE(contains(fcltest::readFile(results + "/fclrestore.log"), "fcl-restore: media " + media()));
    std::string settings = fcltest::readFile(results + "/settings.ini");
    EXPECT_TRUE(contains(settings, "isRestoreAsSparseFile = y")) << settings;
    EXPECT_TRUE(contains(settings, "nCreateRawDeviceOnRestore = 1")) << settings;
    EXPECT_TRUE(contains(settings, "xml = <TMMsg_JobOption/>")) << settings;
    EXPECT_TRUE(contains(settings, "UpdateRecoverySec.29 = 1")) << "progress reports each second: " << settings;
    struct stat st;
    EXPECT_TRUE(stat(dest().c_str(), &st) == 0 && S_ISDIR(st.st_mode)) << "the destination is made when missing";
}

// A log level that names none is an error before anything is made, whether it comes from the environment or from
// the settings.
TEST_F(HostProcess, ABadLogLevelIsAnError) {
    fcltest::writeFile(scratch_ / "level.ini", "[FclRestore]\nnLogLevel = loud\n");
    struct Case {
        std::vector<std::string> arguments;
        std::string variable;
        std::string says;
    };
    const Case cases[] = {
        {{media(), dest()}, "FCL_LOG_LEVEL=verbose", "FCL_LOG_LEVEL must be a number from -1 to 100: \"verbose\""},
        {{media(), dest()}, "FCL_LOG_LEVEL=101", "FCL_LOG_LEVEL must be a number from -1 to 100"},
        {{"--settings", scratch_ / "level.ini", "--listen", scratch_ / "s.sock", media(), dest()},
         "",
         "[FclRestore] nLogLevel must be a number from -1 to 100: \"loud\""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> environment = environment_;
        if (!c.variable.empty()) {
            environment.push_back(c.variable);
        }
        ProgramRun run = fcltest::runTool("fcl-restore", c.arguments, 60, environment);
        EXPECT_EQ(run.status, 2) << run.describe();
        EXPECT_TRUE(contains(run.err, c.says)) << c.says << "\n" << run.err;
        EXPECT_FALSE(exists(dest()));
        EXPECT_FALSE(exists(scratch_ / "state"));
    }
}

TEST_F(HostProcess, ProblemsFoundBeforeTheJobFailItAtOnce) {
    struct Case {
        std::vector<std::string> arguments;
        std::string says;
    };
    const Case cases[] = {
        {{scratch_ / "no-media", dest()}, "the media directory " + scratch_ / "no-media" + " is not a directory"},
        {{"--map", scratch_ / "no-map", media(), dest()}, "cannot read the mapping file"},
        {{"--settings", scratch_ / "no.ini", media(), dest()}, "cannot read the settings file"},
        {{"--listen", scratch_ / "no-dir/fir.sock", "--results", scratch_ / "r", media(), dest()}, "cannot listen"},
    };
    for (const Case& c : cases) {
        ProgramRun run = restore(c.arguments);
        EXPECT_EQ(run.status, 2) << run.describe();
        EXPECT_TRUE(contains(run.err + run.out, c.says)) << c.says << "\n" << run.describe();
    }
}

TEST_F(HostProcess, AListenAddressOffThisMachineIsRefusedBeforeAnythingIsMade) {
    for (const char* address : {"0.0.0.0:0", "10.0.0.1:8400", "fir.sock", "127.0.0.1:http"}) {
        ProgramRun run = restore({"--listen", address, "--results", scratch_ / "r", media(), dest()});
        EXPECT_EQ(run.status, 2) << run.describe();
        EXPECT_TRUE(contains(run.err, std::string("fcl-restore: --listen \"") + address + "\"")) << run.err;
        EXPECT_FALSE(exists(address)) << "never a socket file named after the address";
        EXPECT_FALSE(exists(dest()));
        EXPECT_FALSE(exists(scratch_ / "r"));
    }
}

TEST_F(HostProcess, WithUserSettingsTheCommandLineStillWins) {
    const std::string tree = packOneFile();
    fcltest::writeFile(scratch_ / "user.ini", "[FileSystemAgent]\nnSeekMarkerBatchSize = 17\n");
    fcltest::writeFile(scratch_ / "map.txt", "\"" + tree + "\",\"" + dest() + "/mapped\"\n");
    ProgramRun run = restore({"--settings", scratch_ / "user.ini", "--no-sparse", "--map", scratch_ / "map.txt",
                              "--results", scratch_ / "r", media(), dest()});
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(fcltest::readFile(dest() + "/mapped/one"), "1");
    std::string settings = fcltest::readFile(scratch_ / "r/settings.ini");
    EXPECT_TRUE(contains(settings, "nSeekMarkerBatchSize = 17")) << settings;
    EXPECT_TRUE(contains(settings, "isRestoreAsSparseFile = n")) << settings;
    EXPECT_TRUE(contains(settings, "[TaskOptions]\n1 = " + scratch_ / "map.txt")) << settings;
}

// An external FIR: it connects to the socket the host listens on, and plays the job itself.
class HostListening : public HostProcess {
protected:
    void startHost() {
        socket_ = scratch_ / "fir.sock";
        host_ = fcltest::startProgram(
            {fcltest::toolPath("fcl-restore"), "--listen", socket_, "--results", scratch_ / "r", media(), dest()},
            environment_);
    }
    std::unique_ptr<fir::FirSession> connect() {
        std::unique_ptr<CWzNetwork> session;
        for (int i = 0; i < 3000 && session == nullptr; ++i) {
            if (CWzNetwork::connect(socket_, &session).IsError()) {
                session.reset();
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        EXPECT_NE(session, nullptr) << "the host never listened on " << socket_;
        return session != nullptr ? std::make_unique<fir::FirSession>(std::move(session)) : nullptr;
    }
    // A host started and a FIR whose job the engine took; null when it did not.
    std::unique_ptr<fir::FirSession> startJob() {
        startHost();
        std::unique_ptr<fir::FirSession> fir = connect();
        if (fir == nullptr) {
            return nullptr;
        }
        sendInitData(*fir);
        fir::FirMessage answer;
        EXPECT_TRUE(fir->waitFor({FSR_MSG_SUCCESS, FSR_MSG_FAILURE}, 30000, &answer));
        EXPECT_EQ(answer.code, FSR_MSG_SUCCESS);
        return answer.code == FSR_MSG_SUCCESS ? std::move(fir) : nullptr;
    }
    void sendInitData(fir::FirSession& fir) {
        FSRInitData init;
        init.appType = 29;
        init.zendrelNumber = 2;
        init.jobId = 4242;
        char machine[] = "here";
        char subclient[] = "default";
        init.sourceMachine = machine;
        init.destMachine = machine;
        init.subclientName = subclient;
        ASSERT_FALSE(fir.send(FSR_MSG_INIT_DATA, &init, sizeof init).IsError());
    }

    std::string socket_;
    fcltest::StartedProgram host_;
};

TEST_F(HostListening, AJobTheExternalFirStartsAndEndsSucceeds) {
    std::unique_ptr<fir::FirSession> fir = startJob();
    ASSERT_NE(fir, nullptr);
    ASSERT_FALSE(fir->send(FSR_MSG_RESTORE_END).IsError());
    EXPECT_TRUE(fir->waitFor({FSR_MSG_RESTORE_END}, 30000)) << "the job's end reaches the FIR";
    fir.reset();
    ProgramRun run = fcltest::finishProgram(host_, 60);
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_TRUE(contains(run.err, "waiting for the FIR on " + socket_)) << run.err;
    EXPECT_TRUE(contains(run.out, "Restore succeeded\n")) << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), "0");
}

TEST_F(HostListening, TheFirsSocketIsTheUsersAlone) {
    startHost();
    // Looked at before connecting: the host lets go of its listening socket once it has taken its FIR.
    struct stat st;
    int looked = -1;
    for (int i = 0; i < 3000 && looked != 0; ++i) {
        looked = lstat(socket_.c_str(), &st);
        if (looked != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ASSERT_EQ(looked, 0) << "the host never listened on " << socket_;
    std::unique_ptr<fir::FirSession> fir = connect();
    ASSERT_NE(fir, nullptr);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u) << std::oct << st.st_mode;
    ASSERT_FALSE(fir->send(FSR_MSG_STOP).IsError());
    fir.reset();
    fcltest::finishProgram(host_, 60);
    EXPECT_FALSE(exists(socket_)) << "the socket goes with the host";
}

TEST_F(HostListening, ADestinationTheHostDidNotNameIsRefused) {
    ASSERT_EQ(mkdir((scratch_ / "outside").c_str(), 0755), 0);
    struct Case {
        std::string destDir;
        unsigned long options;
        std::string says;  // "" for a destination the host takes
    };
    const Case cases[] = {
        {dest() + "/sub", FSR_OPT_OUT_OF_PLACE, ""},
        {scratch_ / "outside", FSR_OPT_OUT_OF_PLACE, "lies outside the destination " + dest()},
        {dest() + "/../outside", FSR_OPT_OUT_OF_PLACE, "lies outside the destination"},
        {dest(), 0, "a restore in place"},
    };
    for (const Case& c : cases) {
        fcltest::removeTree(dest());
        std::unique_ptr<fir::FirSession> fir = startJob();
        ASSERT_NE(fir, nullptr);
        std::string destDir = c.destDir;
        FSRSetParams params;
        params.destDir = &destDir[0];
        params.options = c.options;
        ASSERT_FALSE(fir->send(FSR_MSG_SET_PARAMS, &params, sizeof params).IsError());
        // A host that refuses the destination may have hung up before the restore end goes out: only a host that
        // took it must take the end.
        const bool endSent = !fir->send(FSR_MSG_RESTORE_END).IsError();
        if (c.says.empty()) {
            ASSERT_TRUE(endSent) << c.destDir;
        }
        fir->waitFor({FSR_MSG_RESTORE_END, FSR_MSG_FAILURE, FSR_MSG_FATAL_ERROR}, 30000);
        fir.reset();
        ProgramRun run = fcltest::finishProgram(host_, 60);
        if (c.says.empty()) {
            EXPECT_NE(run.status, 2) << c.destDir << "\n" << run.describe();
            EXPECT_FALSE(contains(run.out, "Restore failed")) << c.destDir << "\n" << run.out;
        } else {
            EXPECT_EQ(run.status, 2) << c.destDir << "\n" << run.describe();
            EXPECT_TRUE(contains(run.out, "Restore failed: the FIR ")) << run.out;
            EXPECT_TRUE(contains(run.out + run.err, c.says)) << c.says << "\n" << run.describe();
            EXPECT_TRUE(contains(run.err, "fcl-restore: the job failed: ")) << run.err;
        }
        EXPECT_TRUE(fcltest::entryNames(open((scratch_ / "outside").c_str(), O_RDONLY | O_DIRECTORY)).empty());
    }
}

TEST_F(HostListening, AFirThatLeavesMidJobFailsItSayingSo) {
    std::unique_ptr<fir::FirSession> fir = startJob();
    ASSERT_NE(fir, nullptr);
    fir.reset();
    ProgramRun run = fcltest::finishProgram(host_, 60);
    EXPECT_EQ(run.status, 2) << run.describe();
    EXPECT_TRUE(contains(run.err, "fcl-restore: the job failed: ")) << run.err;
    EXPECT_TRUE(contains(run.out, "the FIR closed its session before the job's end")) << run.out;
}

// SIGTERM while the host waits for its FIR ends it as SIGTERM ends a job: 143, the summary saying so.
TEST_F(HostListening, SigtermWhileWaitingForTheFirExits143) {
    startHost();
    // Signalled once it listens.
    for (int i = 0; i < 3000; ++i) {
        struct stat st;
        if (lstat(socket_.c_str(), &st) == 0) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(kill(host_.pid, SIGTERM), 0);
    ProgramRun run = fcltest::finishProgram(host_, 60);
    EXPECT_EQ(run.status, 143) << run.describe();
    EXPECT_TRUE(contains(run.out, "Restore stopped by SIGTERM")) << run.out;
    EXPECT_FALSE(exists(socket_));
}

TEST_F(HostListening, AJobTheExternalFirStopsAtStartFails) {
    startHost();
    std::unique_ptr<fir::FirSession> fir = connect();
    ASSERT_NE(fir, nullptr);
    ASSERT_FALSE(fir->send(FSR_MSG_STOP).IsError());
    fir::FirMessage answer;
    ASSERT_TRUE(fir->waitFor({FSR_MSG_SUCCESS, FSR_MSG_FAILURE}, 30000, &answer));
    EXPECT_EQ(answer.code, FSR_MSG_FAILURE);
    fir.reset();
    ProgramRun run = fcltest::finishProgram(host_, 60);
    EXPECT_EQ(run.status, 2) << run.describe();
    EXPECT_TRUE(contains(run.out, "Restore failed: ")) << run.out;
}

}  // namespace
