#pragma once
// A companion made with no owner job, over a settings file of the test's own (absent until written), and the log
// lines it writes.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/SettingsFile.h"
#include "tests/common/TestSupport.h"

namespace fcltest {

// A map of texts as "key=value;" pairs in key order (std::string or CQiString keys and values).
template <class Map>
std::string pairsText(const Map& map) {
    std::string out;
    for (const auto& kv : map) {
        out += std::string(kv.first.c_str()) + "=" + kv.second.c_str() + ";";
    }
    return out;
}

class CompanionTest : public ::testing::Test {
protected:
    CompanionTest() : scratch_("fclcompanion"), settingsPath_(scratch_ / "settings.ini") {
        wzplatform::setSettingsFile(settingsPath_);
    }
    ~CompanionTest() override { wzplatform::setSettingsFile(""); }

    void writeSettings(const std::string& content) { writeFile(settingsPath_, content); }
    // A new companion; the log lines of its construction are in `capture_`.
    FclRestoreUNIX& makeCompanion() {
        companion_.reset(new FclRestoreUNIX(nullptr));
        return *companion_;
    }
    // A new companion with `reserved` parsed into it; the log holds only the lines of the parse.
    CQiError parse(const char* reserved) {
        makeCompanion();
        capture_->clear();
        return companion_->ParseInitDataReservedString(reserved);
    }
    CQiError parse(const std::string& reserved) { return parse(reserved.c_str()); }
    bool logged(const std::string& text) const { return capture_->contains(text); }

    ScratchDir scratch_;
    std::string settingsPath_;
    wzlog::ScopedCapture capture_;
    std::unique_ptr<FclRestoreUNIX> companion_;
};

}  // namespace fcltest
