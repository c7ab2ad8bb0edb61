// The `_utf` calls report errno exactly as their POSIX namesakes, with and without the destination gate.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/files/DestinationGate.h"
#include "platform/files/FileCallHooks.h"
#include "platform/files/FileCalls.h"
#include "tests/common/TestSupport.h"

namespace {

enum class Resolution { kPlain, kGate, kGateWithoutOpenat2 };

struct ErrnoCase {
    const char* name;
    std::function<long(const std::string& base)> call;
    int expected;
    // What the gate answers instead when it must walk without openat2 and so refuses every link (0: the same).
    int withoutOpenat2;
};

void PrintTo(const ErrnoCase& c, std::ostream* out) {
    *out << c.name;
}

long closeIfOpen(int fd) {
    if (fd >= 0) {
        ::close(fd);
    }
    return fd;
}

const std::string kLongName(256, 'n');

const ErrnoCase kErrnoCases[] = {
    {"mkdirExisting", [](const std::string& b) { return mkdir_utf((b + "/d").c_str(), 0700); }, EEXIST, 0},
    {"mkdirMissingParent", [](const std::string& b) { return mkdir_utf((b + "/no/x").c_str(), 0700); }, ENOENT, 0},
    {"mkdirUnderFile", [](const std::string& b) { return mkdir_utf((b + "/f/x").c_str(), 0700); }, ENOTDIR, 0},
    {"mkdirOnDanglingLink", [](const std::string& b) { return mkdir_utf((b + "/dangle").c_str(), 0700); }, EEXIST, 0},
    {"mkdirNameTooLong", [](const std::string& b) { return mkdir_utf((b + "/" + kLongName).c_str(), 0700); },
     ENAMETOOLONG, 0},
    {"openExclusiveExisting",
     [](const std::string& b) { return closeIfOpen(open_utf((b + "/f").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600)); },
     EEXIST, 0},
    {"openExclusiveOnDanglingLink",
     [](const std::string& b) {
         return closeIfOpen(open_utf((b + "/dangle").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600));
     },
     EEXIST, 0},
    {"openMissing", [](const std::string& b) { return closeIfOpen(open_utf((b + "/missing").c_str(), O_RDONLY)); },
     ENOENT, 0},
    {"openCreateMissingParent",
     [](const std::string& b) { return closeIfOpen(open_utf((b + "/no/x").c_str(), O_WRONLY | O_CREAT, 0600)); },
     ENOENT, 0},
    {"openDirectoryForWriting",
     [](const std::string& b) { return closeIfOpen(open_utf((b + "/d").c_str(), O_WRONLY)); }, EISDIR, 0},
    {"openLinkNoFollow",
     [](const std::string& b) { return closeIfOpen(open_utf((b + "/lnk").c_str(), O_RDONLY | O_NOFOLLOW)); }, ELOOP, 0},
    {"openFileAsDirectory",
     [](const std::string& b) { return closeIfOpen(open_utf((b + "/f").c_str(), O_RDONLY | O_DIRECTORY)); }, ENOTDIR,
     0},
    {"openThroughFile", [](const std::string& b) { return closeIfOpen(open_utf((b + "/f/x").c_str(), O_RDONLY)); },
     ENOTDIR, 0},
    {"statDanglingLink",
     [](const std::string& b) {
         struct stat st;
         return stat_utf((b + "/dangle").c_str(), &st);
     },
     ENOENT, ELOOP},
    {"statThroughFile",
     [](const std::string& b) {
         struct stat st;
         return stat_utf((b + "/f/x").c_str(), &st);
     },
     ENOTDIR, 0},
    {"statFileWithTrailingSlash",
     [](const std::string& b) {
         struct stat st;
         return stat_utf((b + "/f/").c_str(), &st);
     },
     ENOTDIR, 0},
    {"statEmptyPath",
     [](const std::string&) {
         struct stat st;
         return stat_utf("", &st);
     },
     ENOENT, 0},
    {"statNullPath",
     [](const std::string&) {
         struct stat st;
         return stat_utf(nullptr, &st);
     },
     EFAULT, 0},
    {"lstatMissing",
     [](const std::string& b) {
         struct stat st;
         return lstat_utf((b + "/missing").c_str(), &st);
     },
     ENOENT, 0},
    {"accessMissing", [](const std::string& b) { return access_utf((b + "/missing").c_str(), F_OK); }, ENOENT, 0},
    {"chmodMissing", [](const std::string& b) { return chmod_utf((b + "/missing").c_str(), 0600); }, ENOENT, 0},
    {"chmodDanglingLink", [](const std::string& b) { return chmod_utf((b + "/dangle").c_str(), 0600); }, ENOENT, ELOOP},
    {"lchmodLink", [](const std::string& b) { return lchmod_utf((b + "/lnk").c_str(), 0600); }, EOPNOTSUPP, 0},
    {"lchmodMissing", [](const std::string& b) { return lchmod_utf((b + "/missing").c_str(), 0600); }, ENOENT, 0},
    {"chownMissing", [](const std::string& b) { return chown_utf((b + "/missing").c_str(), 0, 0); }, ENOENT, 0},
    {"lchownMissing", [](const std::string& b) { return lchown_utf((b + "/missing").c_str(), 0, 0); }, ENOENT, 0},
    {"utimeMissing", [](const std::string& b) { return utime_utf((b + "/missing").c_str(), nullptr); }, ENOENT, 0},
    {"unlinkDirectory", [](const std::string& b) { return unlink_utf((b + "/d").c_str()); }, EISDIR, 0},
    {"unlinkMissing", [](const std::string& b) { return unlink_utf((b + "/missing").c_str()); }, ENOENT, 0},
    {"unlinkThroughFile", [](const std::string& b) { return unlink_utf((b + "/f/x").c_str()); }, ENOTDIR, 0},
    {"renameMissing", [](const std::string& b) { return rename_utf((b + "/missing").c_str(), (b + "/n").c_str()); },
     ENOENT, 0},
    {"renameDirectoryOntoFile", [](const std::string& b) { return rename_utf((b + "/d").c_str(), (b + "/f").c_str()); },
     ENOTDIR, 0},
    {"renameFileOntoDirectory", [](const std::string& b) { return rename_utf((b + "/f").c_str(), (b + "/d").c_str()); },
     EISDIR, 0},
    {"renameOntoNonEmptyDirectory",
     [](const std::string& b) { return rename_utf((b + "/d").c_str(), (b + "/full").c_str()); }, ENOTEMPTY, 0},
    {"renameIntoItself",
     [](const std::string& b) { return rename_utf((b + "/d").c_str(), (b + "/d/inner/x").c_str()); }, EINVAL, 0},
    {"linkOntoExisting", [](const std::string& b) { return link_utf((b + "/f").c_str(), (b + "/lnk").c_str()); },
     EEXIST, 0},
    {"linkDirectory", [](const std::string& b) { return link_utf((b + "/d").c_str(), (b + "/d2").c_str()); }, EPERM, 0},
    {"linkMissing", [](const std::string& b) { return link_utf((b + "/missing").c_str(), (b + "/n").c_str()); }, ENOENT,
     0},
    {"symlinkOntoExisting", [](const std::string& b) { return symlink_utf("t", (b + "/f").c_str()); }, EEXIST, 0},
    {"symlinkMissingParent", [](const std::string& b) { return symlink_utf("t", (b + "/no/x").c_str()); }, ENOENT, 0},
    {"readlinkNotALink",
     [](const std::string& b) {
         char buffer[64];
         return readlink_utf((b + "/f").c_str(), buffer, sizeof buffer);
     },
     EINVAL, 0},
    {"readlinkMissing",
     [](const std::string& b) {
         char buffer[64];
         return readlink_utf((b + "/missing").c_str(), buffer, sizeof buffer);
     },
     ENOENT, 0},
};

class FileCallsErrno : public ::testing::TestWithParam<std::tuple<ErrnoCase, Resolution>> {
protected:
    void SetUp() override {
        base_ = scratch_ / "tree";
        ASSERT_EQ(::mkdir(base_.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((base_ + "/d").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((base_ + "/d/inner").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((base_ + "/full").c_str(), 0755), 0);
        fcltest::writeFile(base_ + "/full/x", "x");
        fcltest::writeFile(base_ + "/f", "data");
        ASSERT_EQ(::symlink("f", (base_ + "/lnk").c_str()), 0);
        ASSERT_EQ(::symlink("missing", (base_ + "/dangle").c_str()), 0);
        resolution_ = std::get<1>(GetParam());
        if (resolution_ != Resolution::kPlain) {
            ASSERT_EQ(wzfiles::setDestinationRoot(base_), 0);
        }
        wzfiles::setOpenat2Disabled(resolution_ == Resolution::kGateWithoutOpenat2);
    }
    void TearDown() override {
        wzfiles::clearDestinationRoot();
        wzfiles::setOpenat2Disabled(false);
    }

    fcltest::ScratchDir scratch_{"fcl-errno"};
    std::string base_;
    Resolution resolution_ = Resolution::kPlain;
};

TEST_P(FileCallsErrno, FailsWithThePosixErrno) {
    const ErrnoCase& c = std::get<0>(GetParam());
    int expected = c.expected;
    if (resolution_ == Resolution::kGateWithoutOpenat2 && c.withoutOpenat2 != 0) {
        expected = c.withoutOpenat2;
    }
    errno = 0;
    long result = c.call(base_);
    int err = errno;
    EXPECT_EQ(result, -1);
    EXPECT_EQ(err, expected) << "got " << std::strerror(err) << ", expected " << std::strerror(expected);
}

std::string caseName(const ::testing::TestParamInfo<FileCallsErrno::ParamType>& info) {
    static const char* const kResolution[] = {"Plain", "Gate", "GateWithoutOpenat2"};
    return std::string(std::get<0>(info.param).name) + "_" + kResolution[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Table, FileCallsErrno,
                         ::testing::Combine(::testing::ValuesIn(kErrnoCases),
                                            ::testing::Values(Resolution::kPlain, Resolution::kGate,
                                                              Resolution::kGateWithoutOpenat2)),
                         caseName);

}  // namespace
