// Restores of a reference copy: the job is one when its source client is a reference-copy client, and each absolute
// path's first component, a client GUID, is replaced whole by that client's name, or the path is left as it is.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/unit/options/ClientDirectoryFixture.h"

namespace {

const char kGuid[] = "4C4C4544-0042-3510-8056-B4C04F4A3132";

class ReferenceCopy : public fcltest::ClientDirectoryFixture {
protected:
    ReferenceCopy() {
        addClients({{1, "refcopy", "", 20, false, true, ""},
                    {2, "plain", "", 20, false, false, ""},
                    {3, "alpha", kGuid, 20, false, false, ""},
                    {4, "a-client-name-longer-than-its-guid", "G-short", 20, false, false, ""},
                    // Names no directory can be given.
                    {5, "", "g-empty", 20, false, false, ""},
                    {6, ".", "g-dot", 20, false, false, ""},
                    {7, "..", "g-dotdot", 20, false, false, ""},
                    {8, "a/b", "g-slash", 20, false, false, ""},
                    {9, "/", "g-root", 20, false, false, ""},
                    {10, std::string("ab\0c", 4), "g-nul", 20, false, false, ""}});
    }
};

struct StartCase {
    const char* name;
    const char* sourceMachine;
    int lookupFault;  // the directory fails the question with this error
    bool refCopy;
    int rc;
    const char* line;
};

class ReferenceCopyStart : public ReferenceCopy, public ::testing::WithParamInterface<StartCase> {};

TEST_P(ReferenceCopyStart, TheSourceClientDecides) {
    const StartCase& c = GetParam();
    FSRInitData record;
    record.sourceMachine = const_cast<char*>(c.sourceMachine);
    if (c.lookupFault != 0) {
        wzclients::lookupFaults().failNext(1, c.lookupFault);
    }
    EXPECT_EQ(companion().CheckIfRefCopyRestore(&record), c.rc);
    EXPECT_EQ(companion().IsRefCopyRestore(), c.refCopy);
    EXPECT_TRUE(capture_->contains(c.line)) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Clients, ReferenceCopyStart,
    ::testing::Values(StartCase{"ReferenceCopyClient", "refcopy", 0, true, 0, "reference copy restore [1]"},
                      StartCase{"OrdinaryClient", "plain", 0, false, 0, "reference copy restore [0]"},
                      StartCase{"UnknownClient", "nobody", 0, false, -1, "error checking reference copy restore"},
                      StartCase{"DirectoryFails", "refcopy", 5, false, -1, "error checking reference copy restore"},
                      StartCase{"NoName", nullptr, 0, false, -1, "error checking reference copy restore"}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

TEST_F(ReferenceCopy, NoInitDataIsAFailedQuestion) {
    EXPECT_EQ(companion().CheckIfRefCopyRestore(nullptr), -1);
    EXPECT_FALSE(companion().IsRefCopyRestore());
}

struct PathCase {
    const char* name;
    const char* path;  // null: no path at all
    int rc;
    const char* out;  // what the caller's text holds afterwards; it starts as "untouched"
};

class ReferenceCopyPath : public ReferenceCopy, public ::testing::WithParamInterface<PathCase> {};

TEST_P(ReferenceCopyPath, RewritesOnlyTheGuidComponent) {
    const PathCase& c = GetParam();
    std::string out = "untouched";
    EXPECT_EQ(companion().GetRefCopyPath(c.path, out), c.rc);
    EXPECT_EQ(out, c.out);
}

std::string guidPath(const char* rest) {
    return std::string("/") + kGuid + rest;
}

const std::string kGuidAlone = guidPath("");
const std::string kGuidSlash = guidPath("/");
const std::string kGuidTree = guidPath("/dir/file");
const std::string kGuidRelative = std::string(kGuid) + "/dir/file";

INSTANTIATE_TEST_SUITE_P(
    Paths, ReferenceCopyPath,
    ::testing::Values(PathCase{"GuidAlone", kGuidAlone.c_str(), 0, "/alpha"},
                      PathCase{"GuidAndSlash", kGuidSlash.c_str(), 0, "/alpha/"},
                      PathCase{"GuidAndTree", kGuidTree.c_str(), 0, "/alpha/dir/file"},
                      // The name is used whole, however long: a shortened name may be another client's.
                      PathCase{"NameLongerThanGuid", "/G-short/dir/file", 0,
                               "/a-client-name-longer-than-its-guid/dir/file"},
                      PathCase{"UnknownGuid", "/0000-unknown/dir/file", -2, "/0000-unknown/dir/file"},
                      PathCase{"EmptyName", "/g-empty/dir/file", -2, "/g-empty/dir/file"},
                      PathCase{"DotName", "/g-dot/dir/file", -2, "/g-dot/dir/file"},
                      PathCase{"DotDotName", "/g-dotdot/dir/file", -2, "/g-dotdot/dir/file"},
                      PathCase{"NameWithSlash", "/g-slash/dir/file", -2, "/g-slash/dir/file"},
                      PathCase{"NameIsSlash", "/g-root/dir/file", -2, "/g-root/dir/file"},
                      PathCase{"NameWithNul", "/g-nul/dir/file", -2, "/g-nul/dir/file"},
                      // Only an absolute path begins with a GUID.
                      PathCase{"RelativePath", kGuidRelative.c_str(), -1, kGuidRelative.c_str()},
                      PathCase{"WindowsPath", "C:\\data\\file", -1, "C:\\data\\file"},
                      PathCase{"RootAlone", "/", -1, "/"},
                      PathCase{"EmptyFirstComponent", "//dir/file", -1, "//dir/file"},
                      PathCase{"EmptyPath", "", -1, "untouched"}, PathCase{"NoPath", nullptr, -1, "untouched"}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

struct LookupStep {
    const char* guid;
    int rc;
    const char* name;  // what the caller's name holds afterwards; it starts as "before"
    bool asked;        // the directory is asked
    const char* line;  // logged, or "" for no line
};

// Each GUID is asked of the directory once per job; a failed one is not asked again.
TEST_F(ReferenceCopy, EachGuidIsLookedUpOncePerJob) {
    const LookupStep steps[] = {
        {kGuid, 0, "alpha", true, "mapped guid [4C4C4544-0042-3510-8056-B4C04F4A3132] to [alpha]"},
        {kGuid, 0, "alpha", false, ""},
        {"0000-unknown", -2, "before", true, "mapping guid [0000-unknown]"},
        {"0000-unknown", -3, "", false, ""},
        {"g-dotdot", -2, "before", true, "mapping guid [g-dotdot]"},
        {"g-dotdot", -3, "", false, ""},
        {"", -1, "before", false, ""},
    };
    int index = 0;
    for (const LookupStep& step : steps) {
        capture_->clear();
        const size_t lookups = wzclients::lookupCount();
        std::string guid = step.guid;
        std::string name = "before";
        EXPECT_EQ(companion().GetClientNameFromGuid(guid, name), step.rc) << index;
        EXPECT_EQ(name, step.name) << index;
        EXPECT_EQ(wzclients::lookupCount() - lookups, step.asked ? 1u : 0u) << index;
        if (*step.line != '\0') {
            EXPECT_TRUE(capture_->contains(step.line)) << index;
        } else {
            EXPECT_TRUE(capture_->lines().empty()) << index;
        }
        ++index;
    }

    // Another job asks again.
    FclRestore next;
    std::string guid = "0000-unknown";
    std::string name;
    EXPECT_EQ(next.getUnixCompanion()->GetClientNameFromGuid(guid, name), -2);
}

// The source-path handler and the stream's reader rewrite paths at the same time.
TEST_F(ReferenceCopy, ThreadsRewritingAtOnceShareOneLookupPerGuid) {
    const std::string paths[] = {guidPath("/a"), "/G-short/b", "/0000-unknown/c", "/g-slash/d"};
    const std::string expected[] = {"/alpha/a", "/a-client-name-longer-than-its-guid/b", "/0000-unknown/c",
                                    "/g-slash/d"};
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < 200; ++round) {
                for (size_t i = 0; i < 4; ++i) {
                    std::string out;
                    companion().GetRefCopyPath(paths[i].c_str(), out);
                    wrong += out != expected[i] ? 1 : 0;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(wzclients::lookupCount(), 4u);
}

}  // namespace
