// The default results directories: only the latest are kept, never one another host holds, and nothing outside
// them is touched.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/common/TestSupport.h"
#include "tools/fcl-restore/ResultsKeeper.h"

namespace {

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

void makeJob(const std::string& path) {
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    fcltest::writeFile(path + "/fclrestore.log", "log\n");
}

// Makes `path` look last written `age` seconds ago.
void age(const std::string& path, int age) {
    const timespec when[2] = {{time(nullptr) - age, 0}, {time(nullptr) - age, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), when, AT_SYMLINK_NOFOLLOW), 0);
}

TEST(ResultsKeeper, KeepsTheLatestAndWhatAnotherHostHoldsAndFollowsNoLink) {
    fcltest::ScratchDir scratch("keeper");
    const std::string base = scratch / "fcl-restore";
    ASSERT_EQ(mkdir(base.c_str(), 0700), 0);
    fcltest::writeFile(scratch / "outside", "keep me");
    const char* const jobs[] = {"job-20260101-000000-aaaaaa", "job-20260101-000001-bbbbbb",
                                "job-20260101-000002-cccccc", "job-20260101-000003-dddddd",
                                "job-20260101-000004-eeeeee"};
    for (const char* job : jobs) {
        makeJob(base + "/" + job);
    }
    ASSERT_EQ(mkdir((base + "/not-a-job").c_str(), 0700), 0);
    // A link in an old job's directory is removed, not followed.
    ASSERT_EQ(symlink((scratch / "outside").c_str(), (base + "/job-20260101-000000-aaaaaa/link").c_str()), 0);
    // Another process holds the second oldest.
    fcltest::writeFile(base + "/job-20260101-000001-bbbbbb/host.lock", "");
    for (int i = 0; i < 5; ++i) {
        age(base + "/" + jobs[i], 400 - 100 * i);
    }
    pid_t holder = fork();
    if (holder == 0) {
        int fd = open((base + "/job-20260101-000001-bbbbbb/host.lock").c_str(), O_RDONLY);
        flock(fd, LOCK_EX);
        pause();
        _exit(0);
    }
    // Wait until the lock is held.
    for (int i = 0; i < 500; ++i) {
        int fd = open((base + "/job-20260101-000001-bbbbbb/host.lock").c_str(), O_RDONLY);
        const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
        close(fd);
        if (held) {
            break;
        }
        usleep(10000);
    }

    std::vector<std::string> removed = fclhost::pruneResultsDirectories(base, 2);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);

    EXPECT_EQ(removed,
              (std::vector<std::string>{base + "/job-20260101-000002-cccccc", base + "/job-20260101-000000-aaaaaa"}));
    EXPECT_TRUE(exists(base + "/job-20260101-000004-eeeeee"));
    EXPECT_TRUE(exists(base + "/job-20260101-000003-dddddd"));
    EXPECT_TRUE(exists(base + "/job-20260101-000001-bbbbbb")) << "held by another host";
    EXPECT_TRUE(exists(base + "/not-a-job"));
    EXPECT_EQ(fcltest::readFile(scratch / "outside"), "keep me");
}

TEST(ResultsKeeper, TwoHostsCannotHoldOneResultsDirectory) {
    fcltest::ScratchDir scratch("keeper");
    std::string why;
    EXPECT_FALSE(fclhost::resultsDirectoryHeld(scratch.path())) << "no host has held it yet";
    ASSERT_TRUE(fclhost::holdResultsDirectory(scratch.path(), &why)) << why;
    pid_t other = fork();
    if (other == 0) {
        std::string reason;
        _exit(fclhost::resultsDirectoryHeld(scratch.path()) &&
                      !fclhost::holdResultsDirectory(scratch.path(), &reason) &&
                      reason.find("another fcl-restore is using") != std::string::npos
                  ? 0
                  : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(other, &status, 0), other);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
