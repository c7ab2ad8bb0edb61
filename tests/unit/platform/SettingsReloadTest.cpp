// The settings are cached, yet a changed file, another file or a removed file is seen at the next read.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>

#include "platform/settings/WZPlatformInfo.h"
#include "tests/unit/platform/PlatformFixture.h"

namespace {

unsigned long readK() {
    unsigned long value = 0;
    WZPlatformInfo().getNumber("S", "k", &value);
    return value;
}

// Moves the file's modification time so that a rewrite within one clock tick is still a change.
void touchForward(const std::string& path, int seconds) {
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    times[1].tv_sec += seconds;
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class SettingsReload : public fcltest::PlatformFixture {};

TEST_F(SettingsReload, RewrittenFileIsReadAgain) {
    writeSettings("[S]\nk = 1\n");
    EXPECT_EQ(readK(), 1u);
    EXPECT_EQ(readK(), 1u);
    writeSettings("[S]\nk = 2\n");  // same size: only the times tell
    touchForward(settingsPath_, 10);
    EXPECT_EQ(readK(), 2u);
    writeSettings("[S]\nk = 300\n");
    EXPECT_EQ(readK(), 300u);
}

TEST_F(SettingsReload, RemovedFileMakesSettingsAbsentAndReturningFileIsSeen) {
    writeSettings("[S]\nk = 5\n");
    EXPECT_EQ(readK(), 5u);
    ASSERT_EQ(unlink(settingsPath_.c_str()), 0);
    EXPECT_EQ(readK(), 0u);
    writeSettings("[S]\nk = 6\n");
    EXPECT_EQ(readK(), 6u);
}

TEST_F(SettingsReload, HostFileWinsOverEnvironmentUntilForgotten) {
    std::string envFile = scratch_ / "env.ini";
    fcltest::writeFile(envFile, "[S]\nk = 11\n");
    writeSettings("[S]\nk = 22\n");
    ASSERT_EQ(setenv("FCL_SETTINGS", envFile.c_str(), 1), 0);
    EXPECT_EQ(readK(), 22u);
    wzplatform::setSettingsFile("");
    EXPECT_EQ(wzplatform::settingsFile(), envFile);
    EXPECT_EQ(readK(), 11u);
    unsetenv("FCL_SETTINGS");
    EXPECT_EQ(readK(), 0u);
}

}  // namespace
