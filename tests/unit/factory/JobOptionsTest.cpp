// The job options the factory reads from the task before the first item: absent, set, cleared, the Salesforce
// validate-only rule, and the debug lines each read leaves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"
#include "tests/common/FactoryFixture.h"

namespace {

struct Flags {
    bool stubsOnly;
    bool onlyIfExists;
    bool doNotOverwrite;
    bool skipAppleForks;
    bool dataNotStub;
    bool validateOnly;
};

struct OptionsCase {
    const char* name;
    const char* settings;
    unsigned long options;
    Flags flags;
    std::vector<std::string> lines;  // debug lines that must be there besides the per-flag ones
};

void PrintTo(const OptionsCase& c, std::ostream* os) {
    *os << c.name;
}

const char kAllSet[] =
    "[TaskOptions]\n7.5 = true\n7.49 = true\n7.56 = true\n7.84 = true\n"
    "[RestoreTask]\n0x67d7f74f = false\n0x3fff6c45 = true\n";
const char kAllCleared[] =
    "[TaskOptions]\n7.5 = false\n7.49 = false\n7.56 = false\n7.84 = false\n"
    "[RestoreTask]\n0x67d7f74f = true\n0x3fff6c45 = false\n";

const OptionsCase kCases[] = {
    {"Absent",
     "",
     0,
     {false, false, false, false, false, false},
     {"Unconditionally overwrite stubs only is OFF", "Unconditionally overwrite is OFF",
      "Failed to query if \"Overwrite Files\" option is selected", "ER_EX_NO_STUBS not set.",
      "Failed to query if the 'Validate Only' option is set."}},
    {"AllSet",
     kAllSet,
     FSR_OPT_OVERWRITE,
     {true, true, true, true, true, true},
     {"Unconditionally overwrite stubs only is ON", "Unconditionally overwrite is ON",
      "\"overwriteFiles\" set to false", "\"Validate Only\" option is set."}},
    {"AllCleared",
     kAllCleared,
     0,
     {false, false, false, false, false, false},
     {"\"overwriteFiles\" set to true", "\"Validate Only\" option is not set.", "ER_EX_NO_STUBS not set."}},
    {"OtherCategoriesDoNotCount",
     "[TaskOptions]\n5.5 = true\n8.49 = true\n1.56 = true\n2.84 = true\n",
     0,
     {false, false, false, false, false, false},
     {}},
    {"SalesforceValidateKindRestoresNormally",
     "[RestoreTask]\nappTypeId = 134\n0x3c476952 = 3\n0x3fff6c45 = true\n",
     0,
     {false, false, false, false, false, false},
     {"\"For Salesforce, Validate Only\" option requires FS restores to proceed normally."}},
    {"SalesforceOtherKindFollowsTheBooleanOption",
     "[RestoreTask]\nappTypeId = 134\n0x3c476952 = 2\n0x3fff6c45 = true\n",
     0,
     {false, false, false, false, false, true},
     {"\"Validate Only\" option is set."}},
    {"SalesforceWithoutKindFollowsTheBooleanOption",
     "[RestoreTask]\nappTypeId = 134\n0x3fff6c45 = true\n",
     0,
     {false, false, false, false, false, true},
     {}},
    {"OtherApplicationWithKindThreeFollowsTheBooleanOption",
     "[RestoreTask]\nappTypeId = 29\n0x3c476952 = 3\n0x3fff6c45 = true\n",
     0,
     {false, false, false, false, false, true},
     {}},
};

class JobOptions : public fcltest::FactoryFixture, public ::testing::WithParamInterface<OptionsCase> {};

TEST_P(JobOptions, FlagsFollowTheTaskAndEachReadIsLogged) {
    const OptionsCase& c = GetParam();
    writeSettings(c.settings);
    auto factory = makeFactory(c.options);
    wzlog::ScopedCapture capture;
    factory->InitializeJobOptions(kJobId);

    EXPECT_EQ(factory->getOverwriteStubsOnlyOption(), c.flags.stubsOnly);
    EXPECT_EQ(factory->getRestoreOnlyIfExistsOption(), c.flags.onlyIfExists);
    EXPECT_EQ(factory->getDoNotOverwriteOption(), c.flags.doNotOverwrite);
    EXPECT_EQ(factory->getSkipAppleForkOption(), c.flags.skipAppleForks);
    EXPECT_EQ(factory->getRestoreDataNotStubOption(), c.flags.dataNotStub);
    EXPECT_EQ(factory->getValidateOnlyOption(), c.flags.validateOnly);

    // A flag's own line is there exactly when the flag is set.
    const struct {
        bool set;
        const char* line;
    } perFlag[] = {
        {c.flags.onlyIfExists, "User selected option to restore only if file exists"},
        {c.flags.doNotOverwrite, "User selected option to skip existing files"},
        {c.flags.skipAppleForks, "User selected option to skip Apple Resource Fork data."},
        {c.flags.dataNotStub, "User selected option to restore actual data, not stub."},
    };
    for (const auto& flag : perFlag) {
        EXPECT_EQ(capture->contains(flag.line), flag.set) << flag.line;
    }
    for (const std::string& line : c.lines) {
        EXPECT_TRUE(capture->contains(line)) << line;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, JobOptions, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<OptionsCase>& info) { return info.param.name; });

class ValidateOnly : public fcltest::FactoryFixture {};

// The Salesforce rule wins over a validate-only flag read earlier: the files of such a job are always restored.
TEST_F(ValidateOnly, SalesforceRuleClearsAnEarlierValidateOnlyAnswer) {
    writeSettings("[RestoreTask]\n0x3fff6c45 = true\n");
    auto factory = makeFactory();
    factory->InitializeValidateOnlyOption(kJobId);
    ASSERT_TRUE(factory->getValidateOnlyOption());
    writeSettings("[RestoreTask]\nappTypeId = 134\n0x3c476952 = 3\n0x3fff6c45 = true\n");
    factory->InitializeValidateOnlyOption(kJobId);
    EXPECT_FALSE(factory->getValidateOnlyOption());
}

// A failed validate-only query keeps what the flag was, as the option reader leaves its variable alone.
TEST_F(ValidateOnly, UnreadableOnlyKeepsTheFlag) {
    writeSettings("[RestoreTask]\n0x3fff6c45 = true\n");
    auto factory = makeFactory();
    factory->InitializeValidateOnlyOption(kJobId);
    writeSettings("[RestoreTask]\n0x3fff6c45 = perhaps\n");
    factory->InitializeValidateOnlyOption(kJobId);
    EXPECT_TRUE(factory->getValidateOnlyOption());
}

}  // namespace
