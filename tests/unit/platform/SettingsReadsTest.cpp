// The typed reads of WZPlatformInfo and WZGlobalParam: narrowing, booleans, texts, and the caller's preset.
#include "platform/settings/WZGlobalParam.h"
#include "platform/settings/WZPlatformInfo.h"
#include "tests/unit/platform/PlatformFixture.h"

namespace {

class SettingsReads : public fcltest::PlatformFixture {};

TEST_F(SettingsReads, NarrowNumberKeepsLow32BitsWhenFound) {
    writeSettings("[Vornak]\nnBlockSize = 0x100000005\nzero = 0\n");
    unsigned int value = 77;
    WZPlatformInfo info;
    EXPECT_EQ(info.getNumber("Vornak", "nBlockSize", &value), 1);
    EXPECT_EQ(value, 5u);
    EXPECT_EQ(info.getNumber("Vornak", "zero", &value), 1);
    EXPECT_EQ(value, 0u);
}

TEST_F(SettingsReads, NarrowNumberLeavesPresetWhenAbsentOrMalformed) {
    writeSettings("[Vornak]\nbad = 5x\n");
    WZPlatformInfo info;
    for (const char* key : {"missing", "bad"}) {
        unsigned int value = 77;
        EXPECT_EQ(info.getNumber("Vornak", key, &value), 0) << key;
        EXPECT_EQ(value, 77u) << key;
    }
    EXPECT_EQ(info.getLastError(), static_cast<unsigned long>(EINVAL));
}

struct BooleanCase {
    const char* text;
    bool found;
    bool value;
};
void PrintTo(const BooleanCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class SettingsBooleans : public fcltest::PlatformFixture, public ::testing::WithParamInterface<BooleanCase> {};

TEST_P(SettingsBooleans, AcceptsTheDocumentedFormsOnly) {
    const BooleanCase& c = GetParam();
    writeSettings(std::string("[FileSystemAgent]\nnReplicateHadoopExtentsAfterConcat = ") + c.text + "\n");
    for (bool preset : {false, true}) {
        bool value = preset;
        EXPECT_EQ(WZPlatformInfo().getBoolean("FileSystemAgent", "nReplicateHadoopExtentsAfterConcat", &value) != 0,
                  c.found);
        EXPECT_EQ(value, c.found ? c.value : preset);
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, SettingsBooleans,
                         ::testing::Values(BooleanCase{"1", true, true}, BooleanCase{"0", true, false},
                                           BooleanCase{"Y", true, true}, BooleanCase{"no", true, false},
                                           BooleanCase{"TRUE", true, true}, BooleanCase{"off", true, false},
                                           BooleanCase{"2", true, true}, BooleanCase{"0x0", true, false},
                                           BooleanCase{"yes please", false, false}, BooleanCase{"", false, false},
                                           BooleanCase{"-1", false, false}),
                         [](const ::testing::TestParamInfo<BooleanCase>& info) {
                             return "Text_" + fcltest::nameFromText(info.param.text);
                         });

TEST_F(SettingsReads, StringIsTheTrimmedValueAndMayBeEmpty) {
    writeSettings("[FileSystemAgent]\nisRestoreAsSparseFile =  y \nempty =\n[Base]\ndBASEHOME = /opt/agent;x#y = z\n");
    WZPlatformInfo info;
    std::string value = "preset";
    EXPECT_EQ(info.getString("FileSystemAgent", "isRestoreAsSparseFile", &value), 1);
    EXPECT_EQ(value, "y");
    EXPECT_EQ(info.getString("FileSystemAgent", "empty", &value), 1);
    EXPECT_EQ(value, "");
    EXPECT_EQ(info.getString("Base", "dBASEHOME", &value), 1);
    EXPECT_EQ(value, "/opt/agent;x#y = z");
    value = "preset";
    EXPECT_EQ(info.getString("Base", "absent", &value), 0);
    EXPECT_EQ(value, "preset");
}

TEST_F(SettingsReads, NullArgumentsAnswerNotFound) {
    writeSettings("[S]\nk = 1\n");
    WZPlatformInfo info;
    unsigned long value = 3;
    EXPECT_EQ(info.getNumber(nullptr, "k", &value), 0);
    EXPECT_EQ(info.getNumber("S", nullptr, &value), 0);
    EXPECT_EQ(value, 3u);
    EXPECT_EQ(info.getNumber("S", "k", static_cast<unsigned long*>(nullptr)), 1);
}

TEST_F(SettingsReads, GlobalParameterIsEmptyWhenUnset) {
    writeSettings("[GlobalParams]\nEnforceUnixUserPermissionsOnRestore = 1\nUpdateRecoverySec.29 = 60\n");
    std::string value = "stale";
    EXPECT_NE(WZGlobalParam::getProperty("EnforceUnixUserPermissionsOnRestore", value), 0);
    EXPECT_EQ(value, "1");
    EXPECT_EQ(WZGlobalParam::getProperty("Unset", value), 0);
    EXPECT_EQ(value, "");
    EXPECT_TRUE(WZGlobalParam::getUpdateRecoverySec(29, value));
    EXPECT_EQ(value, "60");
    EXPECT_FALSE(WZGlobalParam::getUpdateRecoverySec(0x4b, value));
}

}  // namespace
