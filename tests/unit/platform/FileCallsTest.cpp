// The `_utf` calls on success: the results their POSIX namesakes give.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <gtest/gtest.h>

#include "platform/files/DestinationGate.h"
#include "platform/files/FileCallHooks.h"
#include "platform/files/FileCalls.h"
#include "tests/common/TestSupport.h"

namespace {

class FileCalls : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        base_ = scratch_.path();
        fcltest::writeFile(at("f"), "data");
        ASSERT_EQ(::chmod(at("f").c_str(), 0644), 0);
        ASSERT_EQ(::symlink("f", at("lnk").c_str()), 0);
        if (GetParam()) {
            ASSERT_EQ(wzfiles::setDestinationRoot(base_), 0);
        }
    }
    void TearDown() override {
        wzfiles::clearDestinationRoot();
        wzfiles::setOpenat2Disabled(false);
    }
    std::string at(const char* name) const { return base_ + "/" + name; }
    mode_t modeOf(const char* name) const {
        struct stat st;
        EXPECT_EQ(::lstat(at(name).c_str(), &st), 0);
        return st.st_mode & 07777;
    }

    fcltest::ScratchDir scratch_{"fcl-calls"};
    std::string base_;
};

// The restore-file flags carry O_ASYNC and a bit foreign to Linux; openat2 would refuse them.
TEST_P(FileCalls, OpenDropsFlagsLinuxDoesNotOpenWith) {
    const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_LARGEFILE | O_ASYNC | 0x1000000;
    int fd = open_utf(at("restored").c_str(), flags, 0600);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_ASYNC, 0);
    ::close(fd);
    EXPECT_EQ(modeOf("restored"), 0600u);
}

TEST_P(FileCalls, TwoArgumentOpenCreatesWithMode0600) {
    int fd = open_utf(at("made").c_str(), O_WRONLY | O_CREAT);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(modeOf("made"), 0600u);
}

TEST_P(FileCalls, LchmodChangesAFileAndLeavesALinkAndItsTargetAlone) {
    ASSERT_EQ(lchmod_utf(at("f").c_str(), 0600), 0) << std::strerror(errno);
    EXPECT_EQ(modeOf("f"), 0600u);
    const mode_t linkMode = modeOf("lnk");
    errno = 0;
    EXPECT_EQ(lchmod_utf(at("lnk").c_str(), 0700), -1);
    EXPECT_EQ(errno, EOPNOTSUPP);
    EXPECT_EQ(modeOf("f"), 0600u);
    EXPECT_EQ(modeOf("lnk"), linkMode);
}

TEST_P(FileCalls, ChmodFollowsALinkToItsTarget) {
    ASSERT_EQ(chmod_utf(at("lnk").c_str(), 0611), 0);
    EXPECT_EQ(modeOf("f"), 0611u);
}

TEST_P(FileCalls, ReadlinkGivesTheLengthWithoutATerminatorAndTruncates) {
    ASSERT_EQ(symlink_utf("../some/where", at("far").c_str()), 0);
    char buffer[32];
    std::memset(buffer, 'X', sizeof buffer);
    ASSERT_EQ(readlink_utf(at("far").c_str(), buffer, sizeof buffer), 13);
    EXPECT_EQ(std::string(buffer, 13), "../some/where");
    EXPECT_EQ(buffer[13], 'X');
    EXPECT_EQ(readlink_utf(at("far").c_str(), buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "../s");
}

TEST_P(FileCalls, LinkToASymlinkLinksTheSymlinkItself) {
    ASSERT_EQ(link_utf(at("lnk").c_str(), at("hard").c_str()), 0);
    struct stat st;
    ASSERT_EQ(::lstat(at("hard").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(st.st_nlink, 2u);
}

TEST_P(FileCalls, UtimeWithoutTimesSetsNow) {
    struct utimbuf old = {100, 200};
    ASSERT_EQ(utime_utf(at("f").c_str(), &old), 0);
    const time_t before = std::time(nullptr);
    ASSERT_EQ(utime_utf(at("f").c_str(), nullptr), 0);
    struct stat st;
    ASSERT_EQ(stat_utf(at("f").c_str(), &st), 0);
    EXPECT_GE(st.st_mtime, before);
    EXPECT_GE(st.st_atime, before);
}

TEST_P(FileCalls, StatAndLstatTellALinkFromItsTarget) {
    struct stat followed;
    struct stat own;
    struct stat temp;
    ASSERT_EQ(stat_utf(at("lnk").c_str(), &followed), 0);
    ASSERT_EQ(lstat_utf(at("lnk").c_str(), &own), 0);
    ASSERT_EQ(TempFsUTF::stat_utf(at("lnk").c_str(), &temp), 0);
    EXPECT_TRUE(S_ISREG(followed.st_mode));
    EXPECT_EQ(followed.st_size, 4);
    EXPECT_TRUE(S_ISLNK(own.st_mode));
    EXPECT_EQ(temp.st_ino, followed.st_ino);
}

TEST_P(FileCalls, FopenModesBehaveAsStdio) {
    FILE* f = fopen_utf(at("f").c_str(), "a");
    ASSERT_NE(f, nullptr);
    std::fputs("+more", f);
    std::fclose(f);
    EXPECT_EQ(fcltest::readFile(at("f")), "data+more");
    errno = 0;
    EXPECT_EQ(fopen_utf(at("f").c_str(), "wx"), nullptr);
    EXPECT_EQ(errno, EEXIST);
    errno = 0;
    EXPECT_EQ(fopen_utf(at("missing").c_str(), "r"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(fopen_utf(at("f").c_str(), "z"), nullptr);
    EXPECT_EQ(errno, EINVAL);
    f = fopen_utf(at("f").c_str(), "r+");
    ASSERT_NE(f, nullptr);
    std::fputs("D", f);
    std::fclose(f);
    EXPECT_EQ(fcltest::readFile(at("f")), "Data+more");
}

TEST_P(FileCalls, MkdirHonoursTheModeUnderTheUmask) {
    const mode_t mask = ::umask(022);
    EXPECT_EQ(mkdir_utf(at("d").c_str(), 0777), 0);
    ::umask(mask);
    EXPECT_EQ(modeOf("d"), 0755u);
}

// Without fchmodat2 and the AT_EMPTY_PATH forms, the calls reach their objects another way with the same results.
TEST_P(FileCalls, AnOlderKernelGivesTheSameResults) {
    wzfiles::setOpenat2Disabled(true);
    ASSERT_EQ(lchmod_utf(at("f").c_str(), 0602), 0) << std::strerror(errno);
    EXPECT_EQ(modeOf("f"), 0602u);
    errno = 0;
    EXPECT_EQ(lchmod_utf(at("lnk").c_str(), 0700), -1);
    EXPECT_EQ(errno, EOPNOTSUPP);
    ASSERT_EQ(chmod_utf(at("f").c_str(), 0620), 0);
    EXPECT_EQ(modeOf("f"), 0620u);
    EXPECT_EQ(access_utf(at("f").c_str(), R_OK | W_OK), 0);
    errno = 0;
    EXPECT_EQ(access_utf(at("missing").c_str(), F_OK), -1);
    EXPECT_EQ(errno, ENOENT);
    const struct utimbuf times = {300, 400};
    ASSERT_EQ(utime_utf(at("f").c_str(), &times), 0);
    struct stat st;
    ASSERT_EQ(stat_utf(at("f").c_str(), &st), 0);
    EXPECT_EQ(st.st_atime, 300);
    EXPECT_EQ(st.st_mtime, 400);
}

INSTANTIATE_TEST_SUITE_P(Resolutions, FileCalls, ::testing::Bool(), [](const ::testing::TestParamInfo<bool>& info) {
    return std::string(info.param ? "Gate" : "Plain");
});

}  // namespace
