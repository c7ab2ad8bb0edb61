// Failures injected into the file calls by name, as later tests use them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files/FileCallHooks.h"
#include "platform/files/FileCalls.h"
#include "platform/files/LongPathHandler.h"
#include "tests/common/TestSupport.h"

namespace {

using wzfiles::FileCall;

WzLongPathHandler& handler() {
    return *WzLongPathHandler::GetHandler();
}

class FileCallHooks : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = scratch_.path();
        fcltest::writeFile(base_ + "/f", "data");
        ASSERT_EQ(::mkdir((base_ + "/d").c_str(), 0755), 0);
        ASSERT_EQ(::symlink("f", (base_ + "/lnk").c_str()), 0);
    }
    void TearDown() override { wzfiles::clearInjectedFailures(); }
    std::string at(const char* name) const { return base_ + "/" + name; }

    fcltest::ScratchDir scratch_{"fcl-hooks"};
    std::string base_;
};

int openAndClose(const std::string& path, int flags) {
    int fd = open_utf(path.c_str(), flags, 0600);
    if (fd >= 0) {
        ::close(fd);
        return 0;
    }
    return -1;
}

TEST_F(FileCallHooks, TheNextCallsFailWithTheErrnoAndTouchNothing) {
    wzfiles::failNextCalls(FileCall::kOpen, EACCES, 2);
    for (int i = 0; i < 2; ++i) {
        errno = 0;
        EXPECT_EQ(openAndClose(at("new"), O_WRONLY | O_CREAT), -1);
        EXPECT_EQ(errno, EACCES);
        EXPECT_NE(::access(at("new").c_str(), F_OK), 0);
    }
    EXPECT_EQ(openAndClose(at("new"), O_WRONLY | O_CREAT), 0);
}

TEST_F(FileCallHooks, APathPartPicksTheCallsItTakes) {
    wzfiles::failNextCalls(FileCall::kOpen, ENOSPC, 1, "victim");
    EXPECT_EQ(openAndClose(at("other"), O_WRONLY | O_CREAT), 0);
    errno = 0;
    EXPECT_EQ(openAndClose(at("victim"), O_WRONLY | O_CREAT), -1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(openAndClose(at("victim"), O_WRONLY | O_CREAT), 0);

    wzfiles::failNextCalls(FileCall::kRename, EXDEV, 1, "target");
    errno = 0;
    EXPECT_EQ(rename_utf(at("victim").c_str(), at("target").c_str()), -1);
    EXPECT_EQ(errno, EXDEV);
}

TEST_F(FileCallHooks, ClearingDisarmsEveryInjection) {
    wzfiles::failNextCalls(FileCall::kStat, EIO, 5);
    wzfiles::failNextCalls(FileCall::kMkdir, EIO, 5);
    wzfiles::clearInjectedFailures();
    struct stat st;
    EXPECT_EQ(stat_utf(at("f").c_str(), &st), 0);
    EXPECT_EQ(mkdir_utf(at("m").c_str(), 0700), 0);
}

TEST_F(FileCallHooks, AFullDiskReachesTheHandlersCreatingCalls) {
    wzfiles::failNextCalls(FileCall::kOpen, ENOSPC, 1);
    std::map<std::string, bool> created;
    errno = 0;
    EXPECT_EQ(handler().openRestoreFile_long(at("a/b/file").c_str(), &created, true), -1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_TRUE(created.empty());

    // A quota hit while making the first missing ancestor keeps its errno.
    std::string path = at("a/b/c");
    std::vector<char> text(path.begin(), path.end());
    text.push_back('\0');
    wzfiles::failNextCalls(FileCall::kMkdir, EDQUOT, 1);
    errno = 0;
    EXPECT_EQ(handler().CreateDirsIteratively_Long(text.data(), &created), 0);
    EXPECT_EQ(errno, EDQUOT);
    EXPECT_EQ(std::string(text.data()), path);
    EXPECT_TRUE(created.empty());

    // The same on the way forward: the walk back meets a/b/c and a/b missing, makes a, then a/b hits the quota.
    wzfiles::failNextCalls(FileCall::kMkdir, ENOENT, 2, "/a/b");
    wzfiles::failNextCalls(FileCall::kMkdir, EDQUOT, 1, "/a/b");
    errno = 0;
    EXPECT_EQ(handler().CreateDirsIteratively_Long(text.data(), &created), 0);
    EXPECT_EQ(errno, EDQUOT);
    EXPECT_EQ(std::string(text.data()), path);
    EXPECT_EQ(created, (std::map<std::string, bool>{{at("a"), true}}));
}

struct HookCase {
    const char* name;
    FileCall call;
    std::function<long(const std::string& base)> run;
};

void PrintTo(const HookCase& c, std::ostream* out) {
    *out << c.name;
}

const struct utimbuf kTimes = {1, 2};

const HookCase kHookCases[] = {
    {"open", FileCall::kOpen, [](const std::string& b) { return openAndClose(b + "/f", O_RDONLY); }},
    {"fopen", FileCall::kOpen,
     [](const std::string& b) {
         FILE* f = fopen_utf((b + "/f").c_str(), "r");
         return f != nullptr ? std::fclose(f) : -1;
     }},
    {"openLong", FileCall::kOpen,
     [](const std::string& b) {
         int fd = handler().open_long((b + "/f").c_str(), O_RDONLY);
         return fd >= 0 ? ::close(fd) : -1;
     }},
    {"stat", FileCall::kStat,
     [](const std::string& b) {
         struct stat st;
         return stat_utf((b + "/f").c_str(), &st);
     }},
    {"tempFsStat", FileCall::kStat,
     [](const std::string& b) {
         struct stat st;
         return TempFsUTF::stat_utf((b + "/f").c_str(), &st);
     }},
    {"lstat", FileCall::kLstat,
     [](const std::string& b) {
         struct stat st;
         return lstat_utf((b + "/f").c_str(), &st);
     }},
    {"lstatLong", FileCall::kLstat,
     [](const std::string& b) {
         struct stat st;
         return handler().lstat_long((b + "/f").c_str(), &st);
     }},
    {"access", FileCall::kAccess, [](const std::string& b) { return access_utf((b + "/f").c_str(), F_OK); }},
    {"chmod", FileCall::kChmod, [](const std::string& b) { return chmod_utf((b + "/f").c_str(), 0600); }},
    {"chmodLong", FileCall::kChmod,
     [](const std::string& b) { return handler().chmod_long((b + "/f").c_str(), 0600); }},
    {"lchmod", FileCall::kLchmod, [](const std::string& b) { return lchmod_utf((b + "/f").c_str(), 0600); }},
    {"chown", FileCall::kChown,
     [](const std::string& b) { return chown_utf((b + "/f").c_str(), ::geteuid(), ::getegid()); }},
    {"chownLong", FileCall::kChown,
     [](const std::string& b) { return handler().chown_long((b + "/f").c_str(), ::geteuid(), ::getegid()); }},
    {"lchown", FileCall::kLchown,
     [](const std::string& b) { return lchown_utf((b + "/lnk").c_str(), ::geteuid(), ::getegid()); }},
    {"lchownLong", FileCall::kLchown,
     [](const std::string& b) { return handler().lchown_long((b + "/lnk").c_str(), ::geteuid(), ::getegid()); }},
    {"utime", FileCall::kUtime, [](const std::string& b) { return utime_utf((b + "/f").c_str(), &kTimes); }},
    {"utimeLong", FileCall::kUtime,
     [](const std::string& b) { return handler().utime_long((b + "/f").c_str(), &kTimes); }},
    {"link", FileCall::kLink, [](const std::string& b) { return link_utf((b + "/f").c_str(), (b + "/hard").c_str()); }},
    {"symlink", FileCall::kSymlink, [](const std::string& b) { return symlink_utf("f", (b + "/sym").c_str()); }},
    {"readlink", FileCall::kReadlink,
     [](const std::string& b) {
         char buffer[16];
         return readlink_utf((b + "/lnk").c_str(), buffer, sizeof buffer) == 1 ? 0 : -1;
     }},
    {"unlink", FileCall::kUnlink, [](const std::string& b) { return unlink_utf((b + "/lnk").c_str()); }},
    {"rename", FileCall::kRename,
     [](const std::string& b) { return rename_utf((b + "/f").c_str(), (b + "/g").c_str()); }},
    {"mkdir", FileCall::kMkdir, [](const std::string& b) { return mkdir_utf((b + "/m").c_str(), 0700); }},
    {"chdirLong", FileCall::kChdir,
     [](const std::string& b) {
         int r = handler().chdir_long((b + "/d").c_str());
         WzLongPathHandler::resetCurrentDirectory();
         return r;
     }},
};

class FileCallHookWiring : public FileCallHooks, public ::testing::WithParamInterface<HookCase> {};

TEST_P(FileCallHookWiring, EachCallHonoursItsOwnInjection) {
    const HookCase& c = GetParam();
    wzfiles::failNextCalls(c.call, EIO, 1);
    errno = 0;
    EXPECT_EQ(c.run(base_), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(c.run(base_), 0) << std::strerror(errno);
}

INSTANTIATE_TEST_SUITE_P(Calls, FileCallHookWiring, ::testing::ValuesIn(kHookCases),
                         [](const ::testing::TestParamInfo<HookCase>& info) { return std::string(info.param.name); });

}  // namespace
