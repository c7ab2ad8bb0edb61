// Deleting a settings field removes that field of that section from the settings file and nothing else, and hook
// files hold a caller until they go.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>

#include "platform/settings/WZPlatformInfo.h"
#include "platform/support/FXMisc.h"
#include "tests/unit/platform/PlatformFixture.h"

namespace {

class SettingsFieldDelete : public fcltest::PlatformFixture {};

TEST_F(SettingsFieldDelete, OnlyTheFieldOfTheNamedSectionGoes) {
    struct Case {
        const char* before;
        const char* after;
    } cases[] = {
        {"[FileSystemAgent]\nsSyncRestoreInProgress = 1\nnKeep = 2\n", "[FileSystemAgent]\nnKeep = 2\n"},
        {"[Other]\nsSyncRestoreInProgress = 1\n[FileSystemAgent]\r\n  sSyncRestoreInProgress=1\r\n; note\n",
         "[Other]\nsSyncRestoreInProgress = 1\n[FileSystemAgent]\r\n; note\n"},
        {"[FileSystemAgent]\nsSyncRestoreInProgress = 1\nsSyncRestoreInProgress = 2\n[ FileSystemAgent ]\n"
         "sSyncRestoreInProgress = 3",
         "[FileSystemAgent]\n[ FileSystemAgent ]\n"},
        {"[FileSystemAgent]\nsSyncRestoreInProgressOld = 1\n", "[FileSystemAgent]\nsSyncRestoreInProgressOld = 1\n"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        writeSettings(c.before);
        WZPlatformInfo info;
        EXPECT_NE(info.delRegField("Nebrin/Instance001/FileSystemAgent", "sSyncRestoreInProgress"), 0);
        EXPECT_EQ(fcltest::readFile(settingsPath_), c.after);
        std::string value;
        EXPECT_EQ(WZPlatformInfo().getString("FileSystemAgent", "sSyncRestoreInProgress", &value), 0);
    }
}

TEST_F(SettingsFieldDelete, NoFileIsNothingToDelete) {
    unlink(settingsPath_.c_str());
    EXPECT_NE(WZPlatformInfo().delRegField("Nebrin/x/FileSystemAgent", "sSyncRestoreInProgress"), 0);
    struct stat st;
    EXPECT_NE(lstat(settingsPath_.c_str(), &st), 0) << "a settings file was made";
}

TEST_F(SettingsFieldDelete, HookFileHoldsUntilItGoesOrTheWaitEnds) {
    const std::string hook = wzplatform::runDirectory() + "/test.hook";
    EXPECT_EQ(FXMisc::WaitForHookFile("test.hook", 7, 0), 0) << "no hook, no wait";

    fcltest::writeFile(hook + ".8", "");
    EXPECT_EQ(FXMisc::WaitForHookFile("test.hook", 7, 0), 0) << "another job's hook";
    EXPECT_EQ(FXMisc::WaitForHookFile("test.hook", 8, 1), -1) << "this job's hook stays";

    fcltest::writeFile(hook, "");
    auto waiting = std::async(std::launch::async, [] { return FXMisc::WaitForHookFile("test.hook", 7, 0); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    ASSERT_EQ(unlink(hook.c_str()), 0);
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), 0);
}

}  // namespace
