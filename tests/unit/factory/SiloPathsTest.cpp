// Silo items: the source path's markers, the mount path the library gives for them, the cache of its answers and
// the failures that leave an item without a destination. The test library is loaded by its path first, so that the
// factory's load by name finds it.
#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "clRestore/factory/SiloPaths.h"
#include "platform/log/LogWriter.h"
#include "tests/unit/factory/NamingFixture.h"

namespace {

const unsigned long kOut = FSR_OPT_OUT_OF_PLACE;
const char kClient[] = "[ClientDirectory]\nclient = 77,silo-host,,20,,\n";

class SiloPaths : public fcltest::NamingFixture {
protected:
    static void SetUpTestSuite() { ASSERT_NE(dlopen(FCL_TEST_MOUNT_PATH_LIBRARY, RTLD_NOW), nullptr) << dlerror(); }

    SiloPaths() : answers_(scratch_ / "mount-paths"), calls_(scratch_ / "calls") {
        setenv("FCL_TEST_MOUNT_PATHS", answers_.c_str(), 1);
        setenv("FCL_TEST_MOUNT_PATH_CALLS", calls_.c_str(), 1);
        writeSettings(kClient);
        job_._siloJob = true;
        initData().destMachine = initText("silo-host");
    }
    ~SiloPaths() override {
        unsetenv("FCL_TEST_MOUNT_PATHS");
        unsetenv("FCL_TEST_MOUNT_PATH_CALLS");
    }

    // The library's answers, one "<id> <answer>" line each.
    void answer(const std::string& lines) { fcltest::writeFile(answers_, lines); }
    // The calls the library received, one line each.
    std::string calls() const {
        std::ifstream in(calls_);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string answers_;
    std::string calls_;
};

struct GrammarCase {
    const char* name;
    const char* from;
    const char* answers;  // the library's answers
    const char* to;       // "" when the item gets no destination
    const char* call;     // the library call: "<id> <client> <volume> [<guid>]"
};

const GrammarCase kGrammar[] = {
    {"AllThreeMarkers", "/x/ZENDREL_G1/MPATHID_12/V_345/a/b", "12 /mnt/m1", "/mnt/m1/WZ_MAGNETIC/V_345/a/b",
     "12 77 345 [G1]"},
    {"BackslashesAreSlashes", "\\x\\ZENDREL_G1\\MPATHID_12\\V_345\\a\\b", "12 /mnt/m1", "/mnt/m1/WZ_MAGNETIC/V_345/a/b",
     "12 77 345 [G1]"},
    {"MountPathIdLastComponentIsIdZero", "/x/MPATHID_7", "0 /mnt/zero\n7 /mnt/seven", "/mnt/zero/WZ_MAGNETIC/",
     "0 77 0 []"},
    {"NoZendrelNoVolume", "/x/MPATHID_3/a", "3 /m3", "/m3/WZ_MAGNETIC/a", "3 77 0 []"},
    {"MarkerInsideAComponentCounts", "/x/AV_5/MPATHID_3/a", "3 /m3", "/m3/WZ_MAGNETIC/a", "3 77 5 []"},
    {"IdStopsAtTheFirstNonDigit", "/x/MPATHID_12x/a", "12 /m12", "/m12/WZ_MAGNETIC/a", "12 77 0 []"},
    {"GuidRunsToTheEnd", "/x/MPATHID_4/a/ZENDREL_G9", "4 /m4", "/m4/WZ_MAGNETIC/a/ZENDREL_G9", "4 77 0 [G9]"},
    {"BackslashedMountPathGetsSlashes", "/x/MPATHID_2/a", "2 \\mnt\\m2", "/mnt/m2/WZ_MAGNETIC/a", "2 77 0 []"},
    // The name is checked in its normal form: the double '/' the library's trailing one gives is made one.
    {"TrailingSlashOfTheMountPathIsKept", "/x/MPATHID_2/a", "2 /mnt/m2/", "/mnt/m2/WZ_MAGNETIC/a", "2 77 0 []"},
    // A mount path that climbs or is relative would take the item out of every folder the job names.
    {"MountPathThatClimbsIsRefused", "/x/MPATHID_2/a", "2 /mnt/../etc", "#0x1700005b", "2 77 0 []"},
    {"RelativeMountPathIsRefused", "/x/MPATHID_2/a", "2 mnt/m2", "", "2 77 0 []"},
    {"LibraryFailure", "/x/MPATHID_2/a", "2 !fail", "", "2 77 0 []"},
    {"LibraryGivesNoPath", "/x/MPATHID_2/a", "2 !null", "", "2 77 0 []"},
    {"LibraryGivesAnEmptyPath", "/x/MPATHID_2/a", "2 !empty", "", "2 77 0 []"},
    {"UnknownMountPath", "/x/MPATHID_9/a", "2 /m2", "", "9 77 0 []"},
};

class SiloGrammar : public SiloPaths, public ::testing::WithParamInterface<GrammarCase> {};

TEST_P(SiloGrammar, ItemGoesUnderTheMountPathOfItsMarkers) {
    const GrammarCase& c = GetParam();
    answer(c.answers);
    makeNamingFactory(kOut);
    wzlog::ScopedCapture capture;
    EXPECT_EQ(translate(c.from), c.to);
    EXPECT_EQ(calls(), std::string(c.call) + "\n");
    if (std::string(c.to).empty()) {
        EXPECT_TRUE(capture->contains("for silo restore!"));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SiloGrammar, ::testing::ValuesIn(kGrammar),
                         [](const ::testing::TestParamInfo<GrammarCase>& info) { return info.param.name; });

TEST_F(SiloPaths, EachMountPathIsAskedOnceAndKeptForTheJob) {
    answer("12 /mnt/first\n13 /mnt/other");
    makeNamingFactory(kOut);
    EXPECT_EQ(translate("/x/MPATHID_12/a"), "/mnt/first/WZ_MAGNETIC/a");
    // The library would now answer otherwise: the job keeps its first answer.
    answer("12 /mnt/second\n13 /mnt/other");
    wzlog::ScopedCapture capture;
    EXPECT_EQ(translate("\\y\\MPATHID_12\\b"), "/mnt/first/WZ_MAGNETIC/b");
    EXPECT_TRUE(capture->contains("Silo restore: cached mountPathId 12"));
    EXPECT_EQ(translate("/x/MPATHID_13/c"), "/mnt/other/WZ_MAGNETIC/c");
    EXPECT_EQ(calls(), "12 77 0 []\n13 77 0 []\n");

    // A new job asks again.
    makeNamingFactory(kOut);
    EXPECT_EQ(translate("/x/MPATHID_12/a"), "/mnt/second/WZ_MAGNETIC/a");
}

TEST_F(SiloPaths, FailedLookupIsNotKeptAndTheNextItemAsksAgain) {
    answer("5 !fail");
    makeNamingFactory(kOut);
    EXPECT_EQ(translate("/x/MPATHID_5/a"), "");
    answer("5 /m5");
    EXPECT_EQ(translate("/x/MPATHID_5/b"), "/m5/WZ_MAGNETIC/b");
    EXPECT_EQ(calls(), "5 77 0 []\n5 77 0 []\n");
}

TEST_F(SiloPaths, FailuresLogTheirCause) {
    struct Row {
        const char* answers;
        const char* settings;  // of the client directory
        const char* line;
    } rows[] = {
        {"1 /m1", "", "Error in getting the client id"},
        {"1 !fail", kClient, "Silo restore: getMMClientApiMountPathInfo22 failed for path [/x/MPATHID_1/a]"},
        {"1 !null", kClient, "Silo restore: getMMClientApiMountPathInfo22 failed for path [/x/MPATHID_1/a]"},
        {"1 !empty", kClient, "Silo restore: getMMClientApiMountPathInfo22 failed for path [/x/MPATHID_1/a]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.answers);
        writeSettings(row.settings);
        answer(row.answers);
        makeNamingFactory(kOut);
        std::string to = "kept";
        wzlog::ScopedCapture capture;
        EXPECT_FALSE(factory_->translateSiloPathname(to, "\\x\\MPATHID_1\\a"));
        EXPECT_EQ(to, "kept");
        EXPECT_TRUE(capture->contains(row.line)) << row.line;
    }
    // Without a client id the library is not asked.
    EXPECT_EQ(calls(), "1 77 0 []\n1 77 0 []\n1 77 0 []\n");
}

TEST(SiloPathPieces, ParsersCutTheirPieceOrLeaveTheSlotAlone) {
    char path[] = "/a/ZENDREL_G/MPATHID_-1/V_99999999999999999999999/r";
    char* rest = nullptr;
    EXPECT_EQ(getMountPathId(path, &rest), strtoul("-1", nullptr, 10));
    ASSERT_NE(rest, nullptr);
    EXPECT_STREQ(rest, "V_99999999999999999999999/r");
    free(rest);
    EXPECT_EQ(getVolumeId(path), strtoul("99999999999999999999999", nullptr, 10));
    EXPECT_EQ(getZendrelGUID(path), "G");

    char noSlash[] = "/a/MPATHID_4";
    char marker[] = "untouched";
    char* slot = marker;
    EXPECT_EQ(getMountPathId(noSlash, &slot), 0u);
    EXPECT_EQ(slot, marker);
    EXPECT_EQ(getVolumeId(noSlash), 0u);
    EXPECT_EQ(getZendrelGUID(noSlash), "");

    char digits[] = "123abc";
    char none[] = "x1";
    EXPECT_EQ(atoul2(digits), 123u);
    EXPECT_EQ(atoul2(none), 0u);
    char* cut = nullptr;
    AllocAndSet(&cut, digits, 2);
    EXPECT_STREQ(cut, "12");
    free(cut);
}

}  // namespace
