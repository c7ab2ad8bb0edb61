#pragma once
// A scratch results directory and settings file per test, both forgotten again at the end.
#include <gtest/gtest.h>

#include <string>

#include "platform/events/EvEvent.h"
#include "platform/events/Journal.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/PlatformPaths.h"
#include "platform/settings/SettingsFile.h"
#include "tests/common/TestSupport.h"

namespace fcltest {

class PlatformFixture : public ::testing::Test {
protected:
    PlatformFixture() : scratch_("fclplatform"), settingsPath_(scratch_ / "settings.ini") {
        wzplatform::setResultsDirectory(scratch_ / "results");
        wzplatform::setSettingsFile(settingsPath_);
        wzplatform::clearJournal();
        wzplatform::clearRaisedEvents();
    }
    ~PlatformFixture() override { wzplatform::setSettingsFile(""); }

    void writeSettings(const std::string& content) { writeFile(settingsPath_, content); }

    ScratchDir scratch_;
    std::string settingsPath_;
};

}  // namespace fcltest
