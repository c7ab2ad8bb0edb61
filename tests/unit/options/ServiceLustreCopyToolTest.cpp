// The Lustre copy-tool decision: exactly 1 enables it, and the setting is read once per job.
#include "clRestore/options/ServiceObjects.h"
#include "tests/unit/options/ServiceFixture.h"

namespace {

struct Setting {
    const char* lines;
    bool enabled;
};

class LustreCopyTool : public fcltest::ServiceFixture, public ::testing::WithParamInterface<Setting> {};

TEST_P(LustreCopyTool, OnlyExactlyOneEnablesIt) {
    writeSettings(std::string("[FileSystemAgent]\n") + GetParam().lines);
    EXPECT_EQ(unix_._lustreCopyToolState, -1);
    EXPECT_EQ(fclservices::isLustreCopyToolEnabled(unix_), GetParam().enabled);
    EXPECT_EQ(unix_._lustreCopyToolState, GetParam().enabled ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Values, LustreCopyTool,
                         ::testing::Values(Setting{"", false}, Setting{"bEnableLustreCopyTool = 1\n", true},
                                           Setting{"bEnableLustreCopyTool = 0\n", false},
                                           Setting{"bEnableLustreCopyTool = 2\n", false},
                                           Setting{"bEnableLustreCopyTool = 0x100000001\n", false},
                                           Setting{"bEnableLustreCopyTool = yes\n", false}),
                         [](const ::testing::TestParamInfo<Setting>& info) {
                             std::string lines = info.param.lines;
                             return lines.empty() ? std::string("Absent") : fcltest::nameFromText(lines);
                         });

TEST_F(LustreCopyTool, TheSettingIsReadOncePerJob) {
    writeSettings("[FileSystemAgent]\nbEnableLustreCopyTool = 1\n");
    EXPECT_TRUE(fclservices::isLustreCopyToolEnabled(unix_));
    writeSettings("[FileSystemAgent]\nbEnableLustreCopyTool = 0\nchanged = yes\n");
    EXPECT_TRUE(fclservices::isLustreCopyToolEnabled(unix_));

    FclRestoreUNIX nextJob(nullptr);
    EXPECT_FALSE(fclservices::isLustreCopyToolEnabled(nextJob));
    writeSettings("[FileSystemAgent]\nbEnableLustreCopyTool = 1\nchanged = again\n");
    EXPECT_FALSE(fclservices::isLustreCopyToolEnabled(nextJob));
}

}  // namespace
