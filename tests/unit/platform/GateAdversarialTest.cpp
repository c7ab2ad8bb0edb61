// The destination gate against hostile paths and links: nothing outside the root changes and the call fails.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files/FileCalls.h"
#include "tests/unit/platform/GateFixture.h"

namespace {

using gatetest::Layout;

struct HostileCase {
    const char* name;
    // True when the call succeeded.
    std::function<bool(const Layout&)> call;
    std::set<int> errors = {EXDEV, ELOOP};
};

void PrintTo(const HostileCase& c, std::ostream* out) {
    *out << c.name;
}

bool opened(int fd) {
    if (fd >= 0) {
        ::close(fd);
    }
    return fd >= 0;
}

const struct utimbuf kTimes = {5, 6};

std::vector<char> text(const std::string& path) {
    std::vector<char> out(path.begin(), path.end());
    out.push_back('\0');
    return out;
}

WzLongPathHandler& handler() {
    return *WzLongPathHandler::GetHandler();
}

const HostileCase kHostileCases[] = {
    {"openDotDot",
     [](const Layout& l) { return opened(open_utf((l.dest + "/../outside/sentinel").c_str(), O_WRONLY | O_TRUNC)); }},
    {"openCreateThroughAbsoluteLink",
     [](const Layout& l) { return opened(open_utf((l.dest + "/abslink/new").c_str(), O_WRONLY | O_CREAT, 0600)); }},
    {"openTruncateThroughRelativeLink",
     [](const Layout& l) { return opened(open_utf((l.dest + "/rellink/sentinel").c_str(), O_WRONLY | O_TRUNC)); }},
    {"openTruncateThroughDeeperClimb",
     [](const Layout& l) { return opened(open_utf((l.dest + "/inside/climb/sentinel").c_str(), O_WRONLY | O_TRUNC)); }},
    {"openCreateOnFinalAbsoluteLink",
     [](const Layout& l) {
         return opened(open_utf((l.dest + "/fileabs").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600));
     }},
    {"openAppendOnFinalRelativeLink",
     [](const Layout& l) { return opened(open_utf((l.dest + "/filerel").c_str(), O_WRONLY | O_APPEND)); }},
    {"openNoFollowOnFinalLink",
     [](const Layout& l) { return opened(open_utf((l.dest + "/filerel").c_str(), O_RDONLY | O_NOFOLLOW)); },
     {ELOOP}},
    {"openExclusiveOnFinalLink",
     [](const Layout& l) { return opened(open_utf((l.dest + "/fileabs").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600)); },
     {EEXIST}},
    {"fopenThroughRelativeLink",
     [](const Layout& l) {
         FILE* f = fopen_utf((l.dest + "/rellink/sentinel").c_str(), "w");
         return f != nullptr && std::fclose(f) == 0;
     }},
    {"chmodFinalLink", [](const Layout& l) { return chmod_utf((l.dest + "/fileabs").c_str(), 0777) == 0; }},
    {"chmodThroughRelativeLink",
     [](const Layout& l) { return chmod_utf((l.dest + "/rellink/sentinel").c_str(), 0777) == 0; }},
    {"chmodDotDotFromInside",
     [](const Layout& l) { return chmod_utf((l.dest + "/inside/../../outside/sentinel").c_str(), 0777) == 0; }},
    {"chmodParentOfRoot", [](const Layout& l) { return chmod_utf((l.dest + "/..").c_str(), 0777) == 0; }},
    {"chmodMessyText",
     [](const Layout& l) { return chmod_utf((l.scratch + "//dest/./rellink/sentinel").c_str(), 0777) == 0; }},
    {"enterRootByDotDotFromOutside",
     [](const Layout& l) { return chmod_utf((l.outside + "/../dest/rellink/sentinel").c_str(), 0777) == 0; }},
    {"enterRootByDotDotFromThreadDirectoryOutside",
     [](const Layout& l) {
         EXPECT_EQ(handler().chdir_long(l.outside.c_str()), 0);
         return chmod_utf("../dest/filerel", 0777) == 0;
     }},
    {"lchmodThroughLink",
     [](const Layout& l) { return lchmod_utf((l.dest + "/rellink/sentinel").c_str(), 0777) == 0; }},
    {"chmodLongThroughLink",
     [](const Layout& l) { return handler().chmod_long((l.dest + "/abslink/sentinel").c_str(), 0777) == 0; }},
    {"chownFinalLink", [](const Layout& l) { return chown_utf((l.dest + "/filerel").c_str(), 4242, 4242) == 0; }},
    {"lchownThroughAbsoluteLink",
     [](const Layout& l) { return lchown_utf((l.dest + "/abslink/sentinel").c_str(), 4242, 4242) == 0; }},
    {"lchownParentOfRoot", [](const Layout& l) { return lchown_utf((l.dest + "/..").c_str(), 4242, 4242) == 0; }},
    {"utimeFinalLink", [](const Layout& l) { return utime_utf((l.dest + "/fileabs").c_str(), &kTimes) == 0; }},
    {"utimeThroughRelativeLink",
     [](const Layout& l) { return utime_utf((l.dest + "/rellink/sentinel").c_str(), nullptr) == 0; }},
    {"utimeLongFinalLink",
     [](const Layout& l) { return handler().utime_long((l.dest + "/filerel").c_str(), &kTimes) == 0; }},
    {"unlinkThroughAbsoluteLink",
     [](const Layout& l) { return unlink_utf((l.dest + "/abslink/sentinel").c_str()) == 0; }},
    {"unlinkDotDot", [](const Layout& l) { return unlink_utf((l.dest + "/../outside/sentinel").c_str()) == 0; }},
    {"unlinkLinkWithTrailingSlash",
     [](const Layout& l) { return unlink_utf((l.dest + "/abslink/").c_str()) == 0; },
     {ENOTDIR}},
    {"renameOutOfOutside",
     [](const Layout& l) {
         return rename_utf((l.dest + "/abslink/sentinel").c_str(), (l.dest + "/inside/stolen").c_str()) == 0;
     }},
    {"renameOntoOutside",
     [](const Layout& l) {
         return rename_utf((l.dest + "/inside/file").c_str(), (l.dest + "/rellink/sentinel").c_str()) == 0;
     }},
    {"linkIntoOutside",
     [](const Layout& l) {
         return link_utf((l.dest + "/inside/file").c_str(), (l.dest + "/abslink/planted").c_str()) == 0;
     }},
    {"linkToOutsideFileByDotDot",
     [](const Layout& l) {
         return link_utf((l.dest + "/../outside/sentinel").c_str(), (l.dest + "/inside/hl").c_str()) == 0;
     }},
    {"linkToOutsideFileThroughLink",
     [](const Layout& l) {
         return link_utf((l.dest + "/rellink/sentinel").c_str(), (l.dest + "/inside/hl").c_str()) == 0;
     }},
    {"symlinkIntoOutside",
     [](const Layout& l) { return symlink_utf("x", (l.dest + "/rellink/planted").c_str()) == 0; }},
    {"mkdirIntoOutside", [](const Layout& l) { return mkdir_utf((l.dest + "/abslink/planted").c_str(), 0700) == 0; }},
    {"mkdirOnLinkWithTrailingSlash",
     [](const Layout& l) { return mkdir_utf((l.dest + "/abslink/").c_str(), 0700) == 0; },
     {EEXIST}},
    {"statFinalLink",
     [](const Layout& l) {
         struct stat st;
         return stat_utf((l.dest + "/fileabs").c_str(), &st) == 0;
     }},
    {"accessThroughLink",
     [](const Layout& l) { return access_utf((l.dest + "/rellink/sentinel").c_str(), F_OK) == 0; }},
    {"createDirsThroughLink",
     [](const Layout& l) {
         std::vector<char> path = text(l.dest + "/abslink/a/b");
         return handler().CreateDirsIteratively_Long(path.data(), nullptr) != 0;
     }},
    {"openRestoreFileThroughLink",
     [](const Layout& l) {
         std::map<std::string, bool> created;
         return opened(handler().openRestoreFile_long((l.dest + "/rellink/n/file").c_str(), &created, true));
     }},
    {"chdirLongThroughLink", [](const Layout& l) { return handler().chdir_long((l.dest + "/abslink").c_str()) == 0; }},
    {"relativeFromProcessDirectory",
     [](const Layout& l) {
         int back = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
         bool ok = ::chdir(l.dest.c_str()) == 0 && chmod_utf("../outside/sentinel", 0777) == 0;
         int err = errno;
         EXPECT_EQ(::fchdir(back), 0);
         ::close(back);
         errno = err;
         return ok;
     }},
    {"relativeFromThreadDirectory",
     [](const Layout& l) {
         EXPECT_EQ(handler().chdir_long((l.dest + "/inside").c_str()), 0);
         return chmod_utf("../rellink/sentinel", 0777) == 0;
     }},
};

class GateAgainstHostilePaths : public gatetest::GateFixture,
                                public ::testing::TestWithParam<std::tuple<HostileCase, bool>> {
protected:
    void SetUp() override { buildGated(std::get<1>(GetParam())); }
    void TearDown() override { tearDown(); }
};

TEST_P(GateAgainstHostilePaths, NothingOutsideChangesAndTheCallFails) {
    const HostileCase& c = std::get<0>(GetParam());
    const std::string before = filetest::snapshot(layout_.scratch);
    errno = 0;
    const bool succeeded = c.call(layout_);
    const int err = errno;
    EXPECT_FALSE(succeeded);
    EXPECT_EQ(c.errors.count(err), 1u) << "errno " << err << " (" << std::strerror(err) << ")";
    EXPECT_EQ(filetest::snapshot(layout_.scratch), before);
}

std::string hostileName(const ::testing::TestParamInfo<GateAgainstHostilePaths::ParamType>& info) {
    return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_Openat2" : "_ComponentWalk");
}

INSTANTIATE_TEST_SUITE_P(Table, GateAgainstHostilePaths,
                         ::testing::Combine(::testing::ValuesIn(kHostileCases), ::testing::Bool()), hostileName);

// The same calls without a root: each that the gate refuses does reach outside, so the table above tests the gate.
class HostilePathsWithoutGate : public gatetest::GateFixture, public ::testing::TestWithParam<HostileCase> {
protected:
    void SetUp() override { build(); }
    void TearDown() override { tearDown(); }
};

TEST_P(HostilePathsWithoutGate, EscapingCallsSucceed) {
    const HostileCase& c = GetParam();
    if (!fcltest::isRoot()) {
        GTEST_SKIP() << "needs root: some calls change owners";
    }
    EXPECT_TRUE(c.call(layout_)) << std::strerror(errno);
}

// Rows refused with another errno fail without the gate too.
std::vector<HostileCase> escapingCases() {
    std::vector<HostileCase> out;
    for (const HostileCase& c : kHostileCases) {
        if (c.errors == std::set<int>{EXDEV, ELOOP}) {
            out.push_back(c);
        }
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(Table, HostilePathsWithoutGate, ::testing::ValuesIn(escapingCases()),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
