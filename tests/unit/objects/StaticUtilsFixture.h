#pragma once
// What the tests of the static file utilities share: a scratch directory with its own settings file, the process
// state the utilities keep put back around each test, and small views of what a path is.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "clRestore/objects/ProcessRestoreState.h"
#include "clRestore/objects/StaticUtils.h"
#include "platform/files/DestinationGate.h"
#include "platform/files/FileCallHooks.h"
#include "platform/settings/SettingsFile.h"
#include "tests/common/TestSupport.h"

namespace statictest {

// A writable, terminated copy for the calls that cut a path in place.
inline std::vector<char> mutableText(const std::string& path) {
    std::vector<char> text(path.begin(), path.end());
    text.push_back('\0');
    return text;
}

// The lstat mode of `path`, 0 when there is nothing.
inline mode_t modeOf(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

inline bool exists(const std::string& path) {
    return modeOf(path) != 0;
}

class StaticUtilsFixture : public ::testing::Test {
protected:
    explicit StaticUtilsFixture(const char* tag) : scratch_(tag) {
        resetProcessRestoreState();
        unlinkFlag = 0;
        wzplatform::setSettingsFile(scratch_ / "settings.ini");
    }
    ~StaticUtilsFixture() override {
        wzfiles::clearInjectedFailures();
        wzfiles::clearDestinationRoot();
        wzplatform::setSettingsFile("");
        unlinkFlag = 0;
        resetProcessRestoreState();
    }

    fcltest::ScratchDir scratch_;
};

}  // namespace statictest
