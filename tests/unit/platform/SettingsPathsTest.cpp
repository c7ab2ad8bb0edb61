// The directories the platform names live under the results directory unless the settings name them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "tests/unit/platform/PlatformFixture.h"

namespace {

class SettingsPaths : public fcltest::PlatformFixture {
protected:
    SettingsPaths() : oldMask_(umask(022)) {}
    ~SettingsPaths() override { umask(oldMask_); }

    static mode_t modeOf(const std::string& path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? (st.st_mode & 07777) : 0;
    }

    mode_t oldMask_;
};

TEST_F(SettingsPaths, NamedDirectoriesAreCreatedUnderTheResultsDirectoryOnFirstUse) {
    std::string results = scratch_ / "results";
    struct Named {
        std::string path;
        std::string expected;
    } named[] = {
        {wzplatform::agentDirectory(), results + "/agent"},
        {wzplatform::installationDirectory(), results + "/install"},
        {wzplatform::jobResultsDirectory(), results + "/jobresults"},
        {wzplatform::temporaryDirectory(), results + "/tmp"},
        {wzplatform::logDirectory(), results},
    };
    for (const Named& n : named) {
        EXPECT_EQ(n.path, n.expected);
        EXPECT_EQ(modeOf(n.path), 0755u) << n.path;
    }
}

TEST_F(SettingsPaths, SettingsNameInstallationTemporaryAndLogDirectories) {
    writeSettings("[Base]\ndBASEHOME = " + (scratch_ / "home/agent") + "\ndNEBRINTEMPDIR = " + (scratch_ / "t") +
                  "\n[EventManager]\ndEVLOGDIR = " + (scratch_ / "logs") + "\n");
    EXPECT_EQ(wzplatform::installationDirectory(), scratch_ / "home/agent");
    EXPECT_EQ(wzplatform::temporaryDirectory(), scratch_ / "t");
    EXPECT_EQ(wzplatform::logDirectory(), scratch_ / "logs");
    EXPECT_EQ(modeOf(scratch_ / "home/agent"), 0755u);
}

TEST_F(SettingsPaths, RemovedDirectoryIsMadeAgainAndAFileInTheWayIsReported) {
    std::string agent = wzplatform::agentDirectory();
    fcltest::removeTree(agent);
    EXPECT_EQ(modeOf(wzplatform::agentDirectory()), 0755u);
    fcltest::removeTree(agent);
    fcltest::writeFile(agent, "not a directory");
    wzlog::ScopedCapture capture;
    EXPECT_EQ(wzplatform::agentDirectory(), agent);
    EXPECT_TRUE(capture->contains("Cannot create directory"));
}

// Below the results directory nothing is made, entered or opened through a link planted there: the call fails with
// ELOOP, the journal says it cannot append, and what the links point at stays as it was.
TEST_F(SettingsPaths, NothingBelowTheResultsDirectoryGoesThroughALink) {
    const std::string results = wzplatform::resultsDirectory();
    const std::string outside = scratch_ / "outside";
    ASSERT_EQ(mkdir(outside.c_str(), 0755), 0);
    fcltest::writeFile(outside + "/victim", "kept\n");
    ASSERT_EQ(symlink(outside.c_str(), (results + "/agent").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/victim").c_str(), (results + "/journal.log").c_str()), 0);
    ASSERT_EQ(mkdir((results + "/2").c_str(), 0755), 0);
    ASSERT_EQ(symlink(outside.c_str(), (results + "/2/77").c_str()), 0);

    for (const std::string& below : {results + "/agent/RestoreRestart/2", results + "/2/77/made"}) {
        errno = 0;
        EXPECT_FALSE(wzplatform::makeDirectories(below)) << below;
        EXPECT_EQ(errno, ELOOP) << below;
    }
    for (const std::string& file : {results + "/agent/victim", results + "/journal.log", results + "/2/77/victim"}) {
        errno = 0;
        EXPECT_EQ(wzplatform::openFile(file, O_WRONLY | O_APPEND | O_CREAT), -1) << file;
        EXPECT_EQ(errno, ELOOP) << file;
    }
    wzlog::ScopedCapture capture;
    wzplatform::journal("test", "a line");
    EXPECT_TRUE(capture->contains("Cannot append to the job journal"));
    EXPECT_EQ(fcltest::readFile(outside + "/victim"), "kept\n");
    EXPECT_EQ(modeOf(outside + "/RestoreRestart"), 0u);
    EXPECT_EQ(modeOf(outside + "/made"), 0u);

    // A real directory on the way is entered and a file opened in it as ever.
    const int fd = wzplatform::openFile(results + "/2/file", O_WRONLY | O_CREAT);
    EXPECT_GE(fd, 0) << strerror(errno);
    close(fd);
}

TEST(SettingsPathsDefault, UnsetResultsDirectoryIsANewDirectoryUnderTmpdir) {
    fcltest::ScratchDir tmp("fcltmpdir");
    const char* old = getenv("TMPDIR");
    std::string saved = old ? old : "";
    setenv("TMPDIR", tmp.path().c_str(), 1);
    wzplatform::setResultsDirectory("");
    std::string results = wzplatform::resultsDirectory();
    if (old) {
        setenv("TMPDIR", saved.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
    EXPECT_EQ(results.rfind(tmp.path() + "/fclresults.", 0), 0u) << results;
    struct stat st;
    EXPECT_EQ(stat(results.c_str(), &st), 0);
    EXPECT_EQ(wzplatform::resultsDirectory(), results);
    wzplatform::setResultsDirectory("");
}

}  // namespace
