// Whether a job restores folder times, and the job's timestamp handler.
#include <ostream>

#include "clRestore/options/ServiceObjects.h"
#include "platform/timestamps/CRestoreTimestampHandler.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/options/ServiceFixture.h"

namespace {

const unsigned long kUnixFs = 29;

struct Decision {
    const char* name;
    const char* settings;  // the FileSystemAgent lines, "" for none
    unsigned long appType;
    unsigned long long options;
    bool sync;
    bool enabled;
    const char* line;  // the decision's log line, "" for none
};
void PrintTo(const Decision& d, std::ostream* os) {
    *os << d.name;
}

class FolderTimestampDecision : public fcltest::ServiceFixture, public ::testing::WithParamInterface<Decision> {};

TEST_P(FolderTimestampDecision, FirstMatchingRuleDecidesAndOverridesTheReservedString) {
    const Decision& d = GetParam();
    writeSettings(std::string("[FileSystemAgent]\n") + d.settings);
    unix_._syncRestore = d.sync;
    for (bool earlier : {false, true}) {
        unix_.SetTimestampRestoreEnabled(earlier);
        wzlog::ScopedCapture log;
        fclservices::initializeShouldRestoreFolderTimestamp(unix_, d.appType, d.options);
        EXPECT_EQ(unix_.IsTimestampRestoreEnabled(), d.enabled) << "earlier " << earlier;
        const std::vector<wzlog::CaptureLogWriter::Line> lines = log->lines();
        if (*d.line == '\0') {
            EXPECT_TRUE(lines.empty()) << lines.front().text;
        } else {
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_EQ(lines.front().text, d.line);
            EXPECT_EQ(lines.front().level, 0);
        }
    }
}

const char kSettingOff[] = "Folder timestamp restore is disabled as 'nPreserveFolderTimestamp' set to 0";
const char kIndexCache[] = "Disabling folder timestamp restore as it is an index cache restore";
const char kSync[] = "Disabling folder timestamp restore for Sync restores";
const char kSynthFull[] = "Disabling folder timestamp restore for Synthfull restores";

INSTANTIATE_TEST_SUITE_P(
    Rules, FolderTimestampDecision,
    ::testing::Values(Decision{"SettingAbsent", "", kUnixFs, 0, false, true, ""},
                      Decision{"SettingOne", "nPreserveFolderTimestamp = 1\n", kUnixFs, 0, false, true, ""},
                      Decision{"SettingSeven", "nPreserveFolderTimestamp = 7\n", kUnixFs, 0, false, true, ""},
                      Decision{"SettingMalformed", "nPreserveFolderTimestamp = off\n", kUnixFs, 0, false, true, ""},
                      Decision{"SettingZero", "nPreserveFolderTimestamp = 0\n", kUnixFs, 0, false, false, kSettingOff},
                      Decision{"SettingZeroBeforeEveryOtherRule", "nPreserveFolderTimestamp = 0\n", 5,
                               FSR_OPT_INDEX_CACHE | FSR_OPT_SYNTHETIC_FULL, true, false, kSettingOff},
                      Decision{"DatabaseType", "", 5, 0, false, false,
                               "Disabling folder timestamp restore as it is not a unix fs apptype 5"},
                      Decision{"TypeZero", "", 0, 0, false, false,
                               "Disabling folder timestamp restore as it is not a unix fs apptype 0"},
                      Decision{"LastUnixFsType", "", 0x86, 0, false, true, ""},
                      Decision{"IndexCache", "", kUnixFs, FSR_OPT_INDEX_CACHE, false, false, kIndexCache},
                      Decision{"IndexCacheBeforeSync", "", kUnixFs, FSR_OPT_INDEX_CACHE, true, false, kIndexCache},
                      Decision{"Sync", "", kUnixFs, 0, true, false, kSync},
                      Decision{"SyncBeforeSynthFull", "", kUnixFs, FSR_OPT_SYNTHETIC_FULL, true, false, kSync},
                      Decision{"SynthFull", "", kUnixFs, FSR_OPT_SYNTHETIC_FULL, false, false, kSynthFull},
                      Decision{"OtherOptionBits", "", kUnixFs, FSR_OPT_OUT_OF_PLACE | FSR_OPT_REPORT_PROGRESS | 0x80,
                               false, true, ""}),
    [](const ::testing::TestParamInfo<Decision>& info) { return std::string(info.param.name); });

class TimestampHandlerSetUp : public fcltest::ServiceFixture {
protected:
    ~TimestampHandlerSetUp() override { CRestoreTimestampHandler::allocationFaults().clear(); }
    fclservices::TimestampHandlerArgs args_{7, 4711, nullptr, nullptr};
};

TEST_F(TimestampHandlerSetUp, MakesTheHandlerOnceWithTheJobsArguments) {
    ASSERT_TRUE(fclservices::initializeRestoreTimestampHandler(unix_, args_));
    boost::shared_ptr<CRestoreTimestampHandler> made = *unix_.GetRestoreTsHandler();
    ASSERT_TRUE(made);
    EXPECT_EQ(made->zendrelId(), 7u);
    EXPECT_EQ(made->jobId(), 4711);
    EXPECT_EQ(made->results(), nullptr);

    fclservices::TimestampHandlerArgs other{8, 99, nullptr, nullptr};
    EXPECT_TRUE(fclservices::initializeRestoreTimestampHandler(unix_, other));
    EXPECT_EQ(*unix_.GetRestoreTsHandler(), made);
}

TEST_F(TimestampHandlerSetUp, AFailedAllocationAnswersFalseAndALaterCallMakesIt) {
    CRestoreTimestampHandler::allocationFaults().failNext(1);
    EXPECT_FALSE(fclservices::initializeRestoreTimestampHandler(unix_, args_));
    EXPECT_FALSE(*unix_.GetRestoreTsHandler());
    EXPECT_TRUE(fclservices::initializeRestoreTimestampHandler(unix_, args_));
    EXPECT_TRUE(*unix_.GetRestoreTsHandler());
}

}  // namespace
