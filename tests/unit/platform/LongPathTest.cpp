// Paths beyond PATH_MAX, through the `_utf` calls and the long-path handler, never moving the process.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files/DestinationGate.h"
#include "platform/files/FileCallHooks.h"
#include "platform/files/FileCalls.h"
#include "platform/files/LongPathHandler.h"
#include "tests/common/TestSupport.h"
#include "tests/unit/platform/FileTestSupport.h"

namespace {

enum class Resolution { kPlain, kGate, kGateWithoutOpenat2 };

constexpr size_t kDeepLength = 6000;

std::string writeAndClose(int fd, const std::string& text) {
    EXPECT_GE(fd, 0) << std::strerror(errno);
    if (fd < 0) {
        return "";
    }
    EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
    return text;
}

std::string readBack(const std::string& path) {
    int fd = open_utf(path.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0) << std::strerror(errno);
    return filetest::readAll(fd);
}

mode_t modeOf(const std::string& path) {
    struct stat st;
    EXPECT_EQ(lstat_utf(path.c_str(), &st), 0) << std::strerror(errno);
    return st.st_mode & 07777;
}

class LongPaths : public ::testing::TestWithParam<Resolution> {
protected:
    void SetUp() override {
        base_ = scratch_.path();
        deep_ = filetest::deepPath(base_, kDeepLength);
        ASSERT_GT(deep_.size(), static_cast<size_t>(PATH_MAX));
        cwdBefore_ = filetest::workingDirectory();
        descriptorsBefore_ = filetest::openDescriptorCount();
        if (GetParam() != Resolution::kPlain) {
            ASSERT_EQ(wzfiles::setDestinationRoot(base_), 0);
        }
        wzfiles::setOpenat2Disabled(GetParam() == Resolution::kGateWithoutOpenat2);
        std::vector<char> text(deep_.begin(), deep_.end());
        text.push_back('\0');
        ASSERT_EQ(handler().CreateDirsIteratively_Long(text.data(), &created_), 1) << std::strerror(errno);
    }
    void TearDown() override {
        WzLongPathHandler::resetCurrentDirectory();
        wzfiles::clearDestinationRoot();
        wzfiles::setOpenat2Disabled(false);
        EXPECT_EQ(filetest::workingDirectory(), cwdBefore_);
        EXPECT_EQ(filetest::openDescriptorCount(), descriptorsBefore_);
        fcltest::removeTree(base_);
    }
    static WzLongPathHandler& handler() { return *WzLongPathHandler::GetHandler(); }

    fcltest::ScratchDir scratch_{"fcl-long"};
    std::string base_;
    std::string deep_;
    std::string cwdBefore_;
    int descriptorsBefore_ = 0;
    std::map<std::string, bool> created_;
};

TEST_P(LongPaths, CreateDirsMakesEveryLevelWithMode0700AndEntersIt) {
    size_t levels = 0;
    for (size_t at = base_.size() + 1; at <= deep_.size(); at = deep_.find('/', at) + 1) {
        std::string prefix = deep_.substr(0, deep_.find('/', at));
        EXPECT_EQ(created_.count(prefix), 1u) << prefix.size();
        EXPECT_EQ(modeOf(prefix), 0700u);
        ++levels;
        if (prefix.size() == deep_.size()) {
            break;
        }
    }
    EXPECT_EQ(created_.size(), levels);
    std::vector<char> again(deep_.begin(), deep_.end());
    again.push_back('\0');
    std::map<std::string, bool> none;
    EXPECT_EQ(handler().CreateDirsIteratively_Long(again.data(), &none), 1);
    EXPECT_TRUE(none.empty());
}

TEST_P(LongPaths, PathCallsWorkAtDepth) {
    const std::string file = deep_ + "/file";
    writeAndClose(open_utf(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644), "hello");
    EXPECT_EQ(readBack(file), "hello");

    struct stat st;
    ASSERT_EQ(stat_utf(file.c_str(), &st), 0) << std::strerror(errno);
    EXPECT_EQ(st.st_size, 5);
    ASSERT_EQ(chmod_utf(file.c_str(), 0640), 0);
    EXPECT_EQ(modeOf(file), 0640u);
    ASSERT_EQ(lchmod_utf(file.c_str(), 0604), 0) << std::strerror(errno);
    EXPECT_EQ(modeOf(file), 0604u);
    EXPECT_EQ(access_utf(file.c_str(), F_OK), 0);
    struct utimbuf times = {1000, 2000};
    ASSERT_EQ(utime_utf(file.c_str(), &times), 0);
    ASSERT_EQ(stat_utf(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 2000);
    EXPECT_EQ(st.st_atime, 1000);

    const std::string link = deep_ + "/link";
    ASSERT_EQ(symlink_utf("file", link.c_str()), 0);
    char target[64];
    ASSERT_EQ(readlink_utf(link.c_str(), target, sizeof target), 4);
    EXPECT_EQ(std::string(target, 4), "file");
    ASSERT_EQ(lstat_utf(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    errno = 0;
    EXPECT_EQ(lchmod_utf(link.c_str(), 0600), -1);
    EXPECT_EQ(errno, EOPNOTSUPP);

    const std::string hard = deep_ + "/hard";
    const std::string moved = deep_ + "/moved";
    ASSERT_EQ(link_utf(file.c_str(), hard.c_str()), 0);
    ASSERT_EQ(rename_utf(hard.c_str(), moved.c_str()), 0);
    ASSERT_EQ(stat_utf(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 2u);
    if (fcltest::isRoot()) {
        ASSERT_EQ(chown_utf(file.c_str(), 1234, 1235), 0);
        ASSERT_EQ(lchown_utf(link.c_str(), 4321, 4322), 0);
        ASSERT_EQ(stat_utf(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 1234u);
        ASSERT_EQ(lstat_utf(link.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 4321u);
    }

    FILE* stream = fopen_utf((deep_ + "/stream").c_str(), "w");
    ASSERT_NE(stream, nullptr) << std::strerror(errno);
    std::fputs("streamed", stream);
    std::fclose(stream);
    EXPECT_EQ(readBack(deep_ + "/stream"), "streamed");

    for (const std::string& name : {file, link, moved, deep_ + "/stream"}) {
        ASSERT_EQ(unlink_utf(name.c_str()), 0) << std::strerror(errno);
        errno = 0;
        EXPECT_EQ(lstat_utf(name.c_str(), &st), -1);
        EXPECT_EQ(errno, ENOENT);
    }
}

TEST_P(LongPaths, HandlerCallsWorkAtDepth) {
    const std::string file = deep_ + "/file";
    writeAndClose(handler().open_long(file.c_str(), O_WRONLY | O_CREAT, 0600), "x");
    ASSERT_EQ(handler().chmod_long(file.c_str(), 0651), 0);
    struct stat st;
    ASSERT_EQ(handler().lstat_long(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0651u);
    struct utimbuf times = {3000, 4000};
    ASSERT_EQ(handler().utime_long(file.c_str(), &times), 0);
    ASSERT_EQ(handler().lstat_long(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 4000);
    if (fcltest::isRoot()) {
        ASSERT_EQ(handler().chown_long(file.c_str(), 77, 78), 0);
        ASSERT_EQ(handler().lchown_long(file.c_str(), 79, 80), 0);
        ASSERT_EQ(handler().lstat_long(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 79u);
        EXPECT_EQ(st.st_gid, 80u);
    }
    int fd = handler().open_long(file.c_str(), O_RDWR);
    EXPECT_GE(fd, 0);
    ::close(fd);
    errno = 0;
    EXPECT_EQ(handler().open_long((deep_ + "/missing").c_str(), O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST_P(LongPaths, OpenRestoreFileCreatesMissingAncestorsAndHonoursTruncate) {
    const std::string file = deep_ + "/n1/n2/file";
    std::map<std::string, bool> created;
    writeAndClose(handler().openRestoreFile_long(file.c_str(), &created, true), "first");
    EXPECT_EQ(created, (std::map<std::string, bool>{{deep_ + "/n1", true}, {deep_ + "/n1/n2", true}}));
    EXPECT_EQ(modeOf(deep_ + "/n1"), 0700u);
    EXPECT_EQ(modeOf(deep_ + "/n1/n2"), 0700u);
    EXPECT_EQ(modeOf(file), 0600u);

    // Extent items reopen without truncation: the bytes already there stay.
    int fd = handler().openRestoreFile_long(file.c_str(), nullptr, false);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(readBack(file), "first");
    fd = handler().openRestoreFile_long(file.c_str(), nullptr, true);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(readBack(file), "");
}

TEST_P(LongPaths, CreateDirsGivesTheTextBackOnEveryReturn) {
    writeAndClose(open_utf((deep_ + "/file").c_str(), O_WRONLY | O_CREAT, 0600), "");
    struct Case {
        std::string path;
        int result;
        int err;
    };
    const Case cases[] = {
        {deep_ + "/x/y/z", 1, 0},
        {deep_ + "/x/y/z/", 1, 0},
        {deep_ + "/file/z", 0, ENOTDIR},
        {deep_ + "/file", 0, EEXIST},
    };
    for (const Case& c : cases) {
        std::vector<char> text(c.path.begin(), c.path.end());
        text.push_back('\0');
        errno = 0;
        EXPECT_EQ(handler().CreateDirsIteratively_Long(text.data(), nullptr), c.result) << c.path.substr(deep_.size());
        if (c.result == 0) {
            EXPECT_EQ(errno, c.err) << c.path.substr(deep_.size()) << ": " << std::strerror(errno);
        }
        EXPECT_EQ(std::string(text.data()), c.path);
    }
    struct stat st;
    ASSERT_EQ(stat_utf((deep_ + "/x/y/z").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST_P(LongPaths, ChdirLongGivesOnlyTheCallingThreadADirectory) {
    ASSERT_EQ(handler().chdir_long(deep_.c_str()), 0) << std::strerror(errno);
    EXPECT_EQ(filetest::workingDirectory(), cwdBefore_);
    EXPECT_NE(WzLongPathHandler::currentDirectory(), AT_FDCWD);
    EXPECT_EQ(WzLongPathHandler::currentDirectoryPath(), deep_);

    const char* name = "fcl-relative-to-thread-directory";
    writeAndClose(open_utf(name, O_WRONLY | O_CREAT | O_EXCL, 0600), "rel");
    EXPECT_EQ(readBack(deep_ + "/" + name), "rel");
    struct stat st;
    EXPECT_EQ(::fstatat(WzLongPathHandler::currentDirectory(), name, &st, AT_SYMLINK_NOFOLLOW), 0);
    EXPECT_EQ(handler().lstat_long(name, &st), 0);

    int otherThread = 0;
    std::thread([&] {
        struct stat other;
        otherThread = lstat_utf(name, &other) == 0 ? 0 : errno;
        EXPECT_EQ(WzLongPathHandler::currentDirectory(), AT_FDCWD);
    }).join();
    EXPECT_EQ(otherThread, ENOENT);

    // A relative chdir_long moves on from the thread's directory.
    ASSERT_EQ(mkdir_utf("sub", 0700), 0);
    ASSERT_EQ(handler().chdir_long("sub"), 0);
    EXPECT_EQ(WzLongPathHandler::currentDirectoryPath(), deep_ + "/sub");
    ASSERT_EQ(lstat_utf("../fcl-relative-to-thread-directory", &st), 0) << std::strerror(errno);

    errno = 0;
    EXPECT_EQ(handler().chdir_long((deep_ + "/" + name).c_str()), -1);
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_EQ(WzLongPathHandler::currentDirectoryPath(), deep_ + "/sub");

    WzLongPathHandler::resetCurrentDirectory();
    EXPECT_EQ(WzLongPathHandler::currentDirectory(), AT_FDCWD);
    errno = 0;
    EXPECT_EQ(lstat_utf(name, &st), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST_P(LongPaths, ANameLongerThanNameMaxIsRefused) {
    errno = 0;
    EXPECT_EQ(mkdir_utf((deep_ + "/" + std::string(NAME_MAX + 1, 'q')).c_str(), 0700), -1);
    EXPECT_EQ(errno, ENAMETOOLONG);
}

INSTANTIATE_TEST_SUITE_P(Resolutions, LongPaths,
                         ::testing::Values(Resolution::kPlain, Resolution::kGate, Resolution::kGateWithoutOpenat2),
                         [](const ::testing::TestParamInfo<Resolution>& info) {
                             return std::string(info.param == Resolution::kPlain  ? "Plain"
                                                : info.param == Resolution::kGate ? "Gate"
                                                                                  : "GateWithoutOpenat2");
                         });

}  // namespace
