// The suffixes the host may have the job put on a path: the restore file name extension and the file version.
#include <gtest/gtest.h>

#include <string>

#include "clRestore/engine/FclRestore.h"

namespace {

struct SuffixCase {
    const char* name;
    const char* marker;     // the init data's extension marker
    const char* extension;  // the init data's extension
    unsigned long appType;
    unsigned int version;
    const char* path;
    const char* withExtension;
    const char* withVersion;
};

class NameSuffixes : public ::testing::TestWithParam<SuffixCase> {};

TEST_P(NameSuffixes, AreAppendedByTheJobsRules) {
    const SuffixCase& c = GetParam();
    FclRestore job;
    FSRInitData init;
    init.suffixTag = const_cast<char*>(c.marker);
    init.restoreSuffix = const_cast<char*>(c.extension);
    init.appType = c.appType;
    job._initData = &init;
    std::string path = c.path;
    job.UpdatePathBasedOnRestoreSuffix(path);
    EXPECT_EQ(path, c.withExtension);
    path = c.path;
    job.UpdatePathBasedOnFileVersion(c.version, path);
    EXPECT_EQ(path, c.withVersion);
    job._initData = nullptr;
}

const char kMarker[] = "for clrestore file extension";

INSTANTIATE_TEST_SUITE_P(
    Table, NameSuffixes,
    ::testing::Values(SuffixCase{"Both", kMarker, ".restored", 33, 7, "/r/a", "/r/a.restored", "/r/a,7"},
                      SuffixCase{"NoMarker", nullptr, ".restored", 33, 0, "/r/a", "/r/a", "/r/a"},
                      SuffixCase{"AnotherMarker", "for something else", ".restored", 33, 4294967295u, "/r/a", "/r/a",
                                 "/r/a,4294967295"},
                      SuffixCase{"MarkerWithoutExtension", kMarker, nullptr, 33, 1, "/r/a", "/r/a", "/r/a,1"},
                      SuffixCase{"EmptyPath", kMarker, ".x", 33, 3, "", ".x", ""},
                      SuffixCase{"ApplicationWithoutVersions37", kMarker, ".x", 37, 3, "/r/a", "/r/a.x", "/r/a"},
                      SuffixCase{"ApplicationWithoutVersions62", nullptr, nullptr, 62, 3, "/r/a", "/r/a", "/r/a"},
                      SuffixCase{"ApplicationWithoutVersions103", nullptr, nullptr, 103, 3, "/r/a", "/r/a", "/r/a"},
                      SuffixCase{"ApplicationWithoutVersions128", nullptr, nullptr, 128, 3, "/r/a", "/r/a", "/r/a"}),
    [](const ::testing::TestParamInfo<SuffixCase>& info) { return std::string(info.param.name); });

TEST(NameSuffixesWithoutInitData, LeaveTheExtensionOut) {
    FclRestore job;
    std::string path = "/r/a";
    job.UpdatePathBasedOnRestoreSuffix(path);
    job.UpdatePathBasedOnFileVersion(2, path);
    EXPECT_EQ(path, "/r/a,2");
}

}  // namespace
