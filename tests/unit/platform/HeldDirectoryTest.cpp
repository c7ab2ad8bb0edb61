// Items of one directory restored one after another, with the directory moved, swapped for a link or removed between
// them by someone else: the looks of the second item may go through the directory the first one held (and so may
// describe it where it went), but its file is made where the name leads now, or not at all, and never in the
// directory that was moved away nor outside the root.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/files/FileCalls.h"
#include "platform/files/ItemFileOpen.h"
#include "tests/unit/platform/GateFixture.h"

namespace {

using gatetest::Layout;

// What happens to the directories between the two items. `away` lies beside the destination, outside the root.
struct Tamper {
    const char* name;
    std::function<void(const Layout&, const std::string& away)> between;
    bool restored;  // whether the second item is made at its name
};

void PrintTo(const Tamper& t, std::ostream* out) {
    *out << t.name;
}

void move(const std::string& from, const std::string& to) {
    ASSERT_EQ(::rename(from.c_str(), to.c_str()), 0) << from << ": " << std::strerror(errno);
}

void linkAt(const std::string& target, const std::string& at) {
    ASSERT_EQ(::symlink(target.c_str(), at.c_str()), 0) << at << ": " << std::strerror(errno);
}

const Tamper kTampers[] = {
    {"ParentMovedOutsideTheRoot",
     [](const Layout& l, const std::string& away) { move(l.dest + "/inside/deep", away + "/deep"); }, true},
    {"ParentReplacedByALinkToOutside",
     [](const Layout& l, const std::string& away) {
         move(l.dest + "/inside/deep", away + "/deep");
         linkAt(away + "/deep", l.dest + "/inside/deep");
     },
     false},
    {"ParentRenamedAndReplacedByALinkClimbingOut",
     [](const Layout& l, const std::string&) {
         move(l.dest + "/inside/deep", l.dest + "/inside/old");
         linkAt("../../outside", l.dest + "/inside/deep");
     },
     false},
    {"ParentRenamedWithinTheRootAndMadeAgain",
     [](const Layout& l, const std::string&) {
         move(l.dest + "/inside/deep", l.dest + "/inside/old");
         ASSERT_EQ(::mkdir((l.dest + "/inside/deep").c_str(), 0755), 0);
     },
     true},
    {"ParentRemovedAndMadeAgain",
     [](const Layout& l, const std::string&) {
         fcltest::removeTree(l.dest + "/inside/deep");
         ASSERT_EQ(::mkdir((l.dest + "/inside/deep").c_str(), 0755), 0);
     },
     true},
    {"ParentRemoved", [](const Layout& l, const std::string&) { fcltest::removeTree(l.dest + "/inside/deep"); }, true},
    {"GrandparentMovedOutAndReplacedByALink",
     [](const Layout& l, const std::string& away) {
         move(l.dest + "/inside", away + "/inside");
         linkAt(away + "/inside", l.dest + "/inside");
     },
     false},
};

// The tamper, whether openat2 is used, and whether the restore looks at each item's name before making it (a new file
// is made without a look, its name taken for free; the look comes only if the name is found taken).
using HeldCase = std::tuple<Tamper, bool, bool>;

class HeldDirectory : public gatetest::GateFixture, public ::testing::TestWithParam<HeldCase> {
protected:
    void SetUp() override {
        buildGated(std::get<1>(GetParam()));
        away_ = layout_.scratch + "/away";
        ASSERT_EQ(::mkdir(away_.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((layout_.dest + "/inside/deep").c_str(), 0755), 0);
    }
    void TearDown() override { tearDown(); }

    // One item as the restore makes it: the look at its name (or none), the one look at its parent (which makes what
    // is missing), the file made without following a link, its data. True when the file was made.
    bool restoreItem(const std::string& path, const std::string& data) {
        wzfiles::ItemCheck check;
        check.looked = std::get<2>(GetParam());
        struct stat st;
        if (check.looked && lstat_utf(path.c_str(), &st) == 0) {
            check.existed = true;
            check.dev = st.st_dev;
            check.ino = st.st_ino;
            check.nlink = st.st_nlink;
        }
        std::vector<char> parent(path.begin(), path.begin() + static_cast<long>(path.rfind('/')));
        parent.push_back('\0');
        handler().CreateDirsIteratively_Long(parent.data(), nullptr);
        const int fd = handler().openRestoreFile_long(path.c_str(), nullptr, true, &check);
        if (fd < 0) {
            return false;
        }
        const bool written = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
        ::close(fd);
        return written;
    }
    static WzLongPathHandler& handler() { return *WzLongPathHandler::GetHandler(); }

    std::string away_;
};

TEST_P(HeldDirectory, TheSecondItemGoesWhereItsNameLeadsNow) {
    const Tamper& tamper = std::get<0>(GetParam());
    const std::string parent = layout_.dest + "/inside/deep";
    ASSERT_TRUE(restoreItem(parent + "/first", "first"));
    const std::string outsideBefore = outsideSnapshot();
    tamper.between(layout_, away_);
    if (HasFatalFailure()) {
        return;
    }
    const std::string awayBefore = filetest::snapshot(away_);

    EXPECT_EQ(restoreItem(parent + "/second", "second"), tamper.restored);
    // Lists the trees too, so that a failure shows where the item went.
    EXPECT_EQ(outsideSnapshot(), outsideBefore);
    EXPECT_EQ(filetest::snapshot(away_), awayBefore);
    if (tamper.restored) {
        struct stat st;
        ASSERT_EQ(::lstat(parent.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(fcltest::readFile(parent + "/second"), "second");
    }
}

INSTANTIATE_TEST_SUITE_P(Tampers, HeldDirectory,
                         ::testing::Combine(::testing::ValuesIn(kTampers), ::testing::Bool(), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<HeldCase>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "" : "WithoutOpenat2") +
                                    (std::get<2>(info.param) ? "" : "WithoutALook");
                         });

class HeldDirectoryLooks : public gatetest::GateFixture, public ::testing::Test {
protected:
    void SetUp() override { buildGated(true); }
    void TearDown() override { tearDown(); }
};

// A look at the held directory's own name describes what stands there now: the directory, or the link the name is.
TEST_F(HeldDirectoryLooks, ALookAtAHeldNameDescribesTheNameItself) {
    const std::string dir = layout_.dest + "/inside";
    struct stat st;
    ASSERT_EQ(lstat_utf((dir + "/file").c_str(), &st), 0);
    ASSERT_EQ(lstat_utf(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    // innerlink -> inside: reached through the link, the directory is not held under the link's name.
    ASSERT_EQ(lstat_utf((layout_.dest + "/innerlink/file").c_str(), &st), 0);
    ASSERT_EQ(lstat_utf((layout_.dest + "/innerlink").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    // The job's own rename lets go of the held directory at once.
    ASSERT_EQ(lstat_utf((dir + "/file").c_str(), &st), 0);
    ASSERT_EQ(rename_utf(dir.c_str(), (layout_.dest + "/renamed").c_str()), 0);
    ASSERT_EQ(symlink_utf("renamed", dir.c_str()), 0);
    ASSERT_EQ(lstat_utf(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(lstat_utf((dir + "/file").c_str(), &st), 0) << std::strerror(errno);
}

}  // namespace
