// The destination gate lets through what stays beneath the root and what lies elsewhere.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "platform/files/FileCalls.h"
#include "tests/unit/platform/GateFixture.h"

namespace {

using gatetest::Layout;

struct stat lstatOf(const std::string& path) {
    struct stat st;
    std::memset(&st, 0, sizeof st);
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

struct InsideCase {
    const char* name;
    std::function<int(const Layout&)> call;
    // Checks the effect inside the root after a success.
    std::function<void(const Layout&)> check;
    // False when the call needs a link followed, which the walk without openat2 refuses.
    bool worksWithoutOpenat2;
};

void PrintTo(const InsideCase& c, std::ostream* out) {
    *out << c.name;
}

int closeIfOpen(int fd) {
    if (fd >= 0) {
        ::close(fd);
        return 0;
    }
    return -1;
}

const InsideCase kInsideCases[] = {
    {"chmodThroughLinkThatStaysInside",
     [](const Layout& l) { return chmod_utf((l.dest + "/innerfile").c_str(), 0600); },
     [](const Layout& l) { EXPECT_EQ(lstatOf(l.dest + "/inside/file").st_mode & 07777, 0600u); }, false},
    {"utimeThroughLinkThatStaysInside",
     [](const Layout& l) {
         const struct utimbuf times = {7, 8};
         return utime_utf((l.dest + "/innerfile").c_str(), &times);
     },
     [](const Layout& l) { EXPECT_EQ(lstatOf(l.dest + "/inside/file").st_mtime, 8); }, false},
    {"openThroughDirectoryLinkThatStaysInside",
     [](const Layout& l) { return closeIfOpen(open_utf((l.dest + "/innerlink/file").c_str(), O_WRONLY | O_TRUNC)); },
     [](const Layout& l) { EXPECT_EQ(lstatOf(l.dest + "/inside/file").st_size, 0); }, false},
    {"mkdirThroughDirectoryLinkThatStaysInside",
     [](const Layout& l) { return mkdir_utf((l.dest + "/innerlink/made").c_str(), 0700); },
     [](const Layout& l) { EXPECT_TRUE(S_ISDIR(lstatOf(l.dest + "/inside/made").st_mode)); }, false},
    {"statThroughLinkThatStaysInside",
     [](const Layout& l) {
         struct stat st;
         int r = stat_utf((l.dest + "/innerlink").c_str(), &st);
         EXPECT_TRUE(r != 0 || S_ISDIR(st.st_mode));
         return r;
     },
     [](const Layout&) {}, false},
    {"dotDotThatStaysInside",
     [](const Layout& l) { return chmod_utf((l.dest + "/inside/../inside/file").c_str(), 0604); },
     [](const Layout& l) { EXPECT_EQ(lstatOf(l.dest + "/inside/file").st_mode & 07777, 0604u); }, true},
    {"createFileBeneath",
     [](const Layout& l) {
         return closeIfOpen(open_utf((l.dest + "/inside/new").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0640));
     },
     [](const Layout& l) { EXPECT_EQ(lstatOf(l.dest + "/inside/new").st_mode & 07777, 0640u); }, true},
    {"rootItself", [](const Layout& l) { return chmod_utf(l.dest.c_str(), 0751); },
     [](const Layout& l) { EXPECT_EQ(lstatOf(l.dest).st_mode & 07777, 0751u); }, true},
};

class GateInside : public gatetest::GateFixture, public ::testing::TestWithParam<std::tuple<InsideCase, bool>> {
protected:
    void SetUp() override { buildGated(std::get<1>(GetParam())); }
    void TearDown() override { tearDown(); }
};

TEST_P(GateInside, WorksBeneathTheRootAndLeavesOutsideAlone) {
    const InsideCase& c = std::get<0>(GetParam());
    const bool withOpenat2 = std::get<1>(GetParam());
    const std::string before = outsideSnapshot();
    errno = 0;
    int result = c.call(layout_);
    if (withOpenat2 || c.worksWithoutOpenat2) {
        ASSERT_EQ(result, 0) << std::strerror(errno);
        c.check(layout_);
    } else {
        EXPECT_EQ(result, -1);
        EXPECT_EQ(errno, ELOOP);
    }
    EXPECT_EQ(outsideSnapshot(), before);
}

std::string insideName(const ::testing::TestParamInfo<GateInside::ParamType>& info) {
    return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_Openat2" : "_ComponentWalk");
}

INSTANTIATE_TEST_SUITE_P(Table, GateInside, ::testing::Combine(::testing::ValuesIn(kInsideCases), ::testing::Bool()),
                         insideName);

class Gate : public gatetest::GateFixture, public ::testing::Test {
protected:
    void SetUp() override { build(); }
    void TearDown() override { tearDown(); }
};

TEST_F(Gate, CallsOnAFinalLinkActOnTheLinkItself) {
    ASSERT_EQ(wzfiles::setDestinationRoot(layout_.dest), 0);
    const std::string before = outsideSnapshot();
    struct stat st;
    ASSERT_EQ(lstat_utf((layout_.dest + "/fileabs").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    char target[256];
    ssize_t n = readlink_utf((layout_.dest + "/fileabs").c_str(), target, sizeof target);
    EXPECT_EQ(std::string(target, n > 0 ? n : 0), layout_.outside + "/sentinel");
    if (fcltest::isRoot()) {
        ASSERT_EQ(lchown_utf((layout_.dest + "/fileabs").c_str(), 99, 98), 0);
        EXPECT_EQ(lstatOf(layout_.dest + "/fileabs").st_uid, 99u);
    }
    ASSERT_EQ(rename_utf((layout_.dest + "/filerel").c_str(), (layout_.dest + "/inside/moved").c_str()), 0);
    EXPECT_TRUE(S_ISLNK(lstatOf(layout_.dest + "/inside/moved").st_mode));
    ASSERT_EQ(unlink_utf((layout_.dest + "/fileabs").c_str()), 0);
    EXPECT_NE(::access((layout_.dest + "/fileabs").c_str(), F_OK), 0);
    EXPECT_EQ(outsideSnapshot(), before);
}

TEST_F(Gate, PathsElsewhereResolveAsUsual) {
    ASSERT_EQ(wzfiles::setDestinationRoot(layout_.dest), 0);
    wzfiles::setOpenat2Disabled(true);
    ASSERT_EQ(chmod_utf((layout_.scratch + "/outlink").c_str(), 0604), 0) << std::strerror(errno);
    EXPECT_EQ(lstatOf(layout_.outside + "/sentinel").st_mode & 07777, 0604u);
    // A neighbour whose name only begins like the root's is elsewhere too.
    ASSERT_EQ(::mkdir((layout_.scratch + "/dest2").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("../outside", (layout_.scratch + "/dest2/out").c_str()), 0);
    int fd = open_utf((layout_.scratch + "/dest2/out/made").c_str(), O_WRONLY | O_CREAT, 0600);
    EXPECT_GE(fd, 0) << std::strerror(errno);
    ::close(fd);
    EXPECT_EQ(::access((layout_.outside + "/made").c_str(), F_OK), 0);
}

TEST_F(Gate, TheRootNamedThroughALinkGuardsBothSpellings) {
    ASSERT_EQ(wzfiles::setDestinationRoot(layout_.scratch + "/destalias/"), 0);
    EXPECT_EQ(wzfiles::destinationRoot(), layout_.scratch + "/destalias");
    const std::string before = outsideSnapshot();
    for (const std::string& root : {layout_.scratch + "/destalias", layout_.dest}) {
        errno = 0;
        EXPECT_EQ(chmod_utf((root + "/rellink/sentinel").c_str(), 0777), -1) << root;
        EXPECT_EQ(errno, EXDEV) << root;
    }
    EXPECT_EQ(outsideSnapshot(), before);
}

TEST_F(Gate, ClearingTheRootRestoresOrdinaryResolution) {
    ASSERT_EQ(wzfiles::setDestinationRoot(layout_.dest), 0);
    EXPECT_EQ(chmod_utf((layout_.dest + "/rellink/sentinel").c_str(), 0600), -1);
    wzfiles::clearDestinationRoot();
    EXPECT_EQ(wzfiles::destinationRoot(), "");
    EXPECT_EQ(chmod_utf((layout_.dest + "/rellink/sentinel").c_str(), 0600), 0);
    EXPECT_EQ(lstatOf(layout_.outside + "/sentinel").st_mode & 07777, 0600u);
}

TEST_F(Gate, ARootThatCannotBeOpenedKeepsThePreviousOne) {
    ASSERT_EQ(wzfiles::setDestinationRoot(layout_.dest), 0);
    errno = 0;
    EXPECT_EQ(wzfiles::setDestinationRoot(layout_.scratch + "/missing"), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(wzfiles::setDestinationRoot(layout_.outside + "/sentinel"), -1);
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_EQ(wzfiles::destinationRoot(), layout_.dest);
    EXPECT_EQ(chmod_utf((layout_.dest + "/rellink/sentinel").c_str(), 0600), -1);
}

// Calls beneath the root hold its descriptor while another thread replaces or clears the root.
TEST_F(Gate, RootChangesWhileCallsRunNeverBreakACall) {
    ASSERT_EQ(wzfiles::setDestinationRoot(layout_.dest), 0);
    const std::string before = outsideSnapshot();
    std::atomic<bool> done{false};
    std::thread changer([&] {
        for (int i = 0; i < 2000; ++i) {
            if (i % 2 == 0) {
                EXPECT_EQ(wzfiles::setDestinationRoot(layout_.dest), 0);
            } else {
                EXPECT_EQ(wzfiles::setDestinationRoot(layout_.scratch + "/destalias"), 0);
            }
        }
        done = true;
    });
    const std::string inside = layout_.dest + "/inside/file";
    const std::string escape = layout_.dest + "/rellink/sentinel";
    int calls = 0;
    while (!done || calls < 1000) {
        struct stat st;
        ASSERT_EQ(lstat_utf(inside.c_str(), &st), 0) << std::strerror(errno);
        ASSERT_EQ(chmod_utf(escape.c_str(), 0777), -1);
        ++calls;
    }
    changer.join();
    EXPECT_EQ(outsideSnapshot(), before);
}

}  // namespace
