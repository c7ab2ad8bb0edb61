// The destination of a path a pre-header carries: the job's mapping, else path translation, else the path itself;
// every failure is an id, and nothing the naming throws leaves the call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/factory/NamingFixture.h"

namespace {

enum class Call { Translate, Mapped, Restore };
enum class Job { Plain, Silo, CacheDb };

const unsigned long kKeep = FSR_OPT_OUT_OF_PLACE | FSR_OPT_KEEP_DIR_STRUCTURE;
const std::string kTooLong(1024, 'w');

struct PathCase {
    const char* name;
    Call call;
    const char* mapFile;  // null: no mapping
    unsigned long options;
    Job job;
    std::string sources;  // "path:strip ..."
    std::string source;
    bool isDir;
    int result;
    std::string out;  // what `out` holds afterwards ("unset" when untouched)
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << c.name;
}

const PathCase kCases[] = {
    {"MappedPath", Call::Translate, "\"/a\",\"/m\"\n", kKeep, Job::Plain, "", "/a/x", false, 0, "/m/x"},
    {"MappedWindowsPath", Call::Translate, "\"/C:/a\",\"/m\"\n", kKeep, Job::Plain, "", "C:\\a\\x", false, 0, "/m/x"},
    {"NotMapped", Call::Translate, "\"/a\",\"/m\"\n", kKeep, Job::Plain, "", "/b/x", false, 0x1700005b, "unset"},
    {"ExcludedByTheMapping", Call::Translate, "\"/a\",\"\"\n", kKeep, Job::Plain, "", "/a/x", false, 0x1700005c,
     "unset"},
    {"MappedClimbRefused", Call::Translate, "\"/a\",\"/m\"\n", kKeep, Job::Plain, "", "/a/..\\..\\etc", false,
     0x1700005b, "unset"},
    {"MappedTooLongForTheConversion", Call::Translate, "\"/a\",\"/m\"\n", kKeep, Job::Plain, "", kTooLong, false,
     0x1700002e, "unset"},
    {"WithoutMappingTheJobHasNone", Call::Mapped, nullptr, kKeep, Job::Plain, "", "/a/x", false, -1, "unset"},
    {"TranslatedWithoutMapping", Call::Translate, nullptr, kKeep, Job::Plain, "/data:1", "/data/x", false, 0, "/r/x"},
    {"TranslatedDirectory", Call::Restore, nullptr, kKeep, Job::Plain, "/data:1", "/data/x", true, 0, "/r/x/"},
    {"TranslatedForASiloJob", Call::Restore, nullptr, 0, Job::Silo, "/a:1", "/x/MPATHID_1/f", false, 0x1700002d,
     "unset"},
    {"TranslationWithoutDestination", Call::Restore, nullptr, kKeep, Job::Plain, "/data:1", "/d/e", false, 0x1700002d,
     "unset"},
    {"TranslatedClimbRefused", Call::Restore, nullptr, kKeep, Job::Plain, "/data:1", "/data/../../x", false, 0x1700005b,
     "unset"},
    {"TranslatedTooLongForTheConversion", Call::Restore, nullptr, kKeep, Job::Plain, "/data:1", kTooLong, false,
     0x1700002e, "unset"},
    {"StripThatCannotBeMade", Call::Restore, nullptr, kKeep, Job::CacheDb, "/d:1", "/d/f", false, 0x17000039, "unset"},
    {"InPlaceKeepsThePath", Call::Translate, nullptr, 0, Job::Plain, "", "/a//b", false, 0, "/a/b"},
    {"InPlaceClimbRefused", Call::Restore, nullptr, 0, Job::Plain, "", "/a/../../b", false, 0x1700005b, "unset"},
    {"SyntheticFullKeepsThePath", Call::Restore, nullptr, kKeep | FSR_OPT_SYNTHETIC_FULL, Job::Plain, "/a:1", "/a/b",
     false, 0, "/a/b"},
};

class PreHeaderPaths : public fcltest::NamingFixture, public ::testing::WithParamInterface<PathCase> {};

TEST_P(PreHeaderPaths, AnswerAnIdPerPath) {
    const PathCase& c = GetParam();
    addSources(c.sources);
    if (c.job == Job::Silo) {
        job_._siloJob = true;
    } else if (c.job == Job::CacheDb) {
        companion()._cacheDbRestore = true;
    }
    std::string settings;
    if (c.mapFile != nullptr) {
        fcltest::writeFile(scratch_ / "map", c.mapFile);
        settings = "[TaskOptions]\n1 = " + (scratch_ / "map") + "\n";
    }
    writeSettings(settings);
    fcltest::NamingFactory& factory = makeNamingFactory(c.options);
    ASSERT_EQ(factory.InitializeForMappedRestores(kJobId), 0);
    std::string out = "unset";
    int result = 0;
    switch (c.call) {
        case Call::Translate:
            result = companion().TranslatePath(&factory, c.source, c.isDir, out);
            break;
        case Call::Mapped:
            result = companion().ComputeMappedPath(&factory, c.source, out);
            break;
        case Call::Restore:
            result = companion().ComputeRestorePath(&factory, c.source, c.isDir, out);
            break;
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(out, c.out);
}

INSTANTIATE_TEST_SUITE_P(Table, PreHeaderPaths, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PathCase>& info) { return info.param.name; });

TEST(PreHeaderPathsWithoutFactory, AnswerNoDestinationPath) {
    FclRestore job;
    std::string out = "unset";
    EXPECT_EQ(job.getUnixCompanion()->TranslatePath(nullptr, "/a", false, out), 0x1700002d);
    EXPECT_EQ(job.getUnixCompanion()->ComputeMappedPath(nullptr, "/a", out), 0x1700002d);
    EXPECT_EQ(job.getUnixCompanion()->ComputeRestorePath(nullptr, "/a", true, out), 0x1700002d);
    EXPECT_EQ(out, "unset");
}

}  // namespace
