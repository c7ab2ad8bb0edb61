// The directories the platform names live under the results directory unless the settings name them.
#include <sys/stat.h>

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
