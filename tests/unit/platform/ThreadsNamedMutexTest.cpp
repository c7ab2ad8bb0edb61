// The machine-wide named lock: between processes, its time-out, and the lock file's place.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "platform/threads/WzNamedMutex.h"
#include "tests/common/Concurrency.h"
#include "tests/common/TestSupport.h"

namespace {

// A child process that takes the lock, reports it, and holds it until told to end.
class HolderProcess {
public:
    HolderProcess(const std::string& dir, const char* name, bool unlockBeforeExit) {
        int toChild[2];
        int toParent[2];
        if (pipe(toChild) != 0 || pipe(toParent) != 0) {
            ADD_FAILURE() << "pipe failed";
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(toChild[1]);
            close(toParent[0]);
            WzNamedMutex mutex(name, dir.c_str());
            const bool locked = mutex.lock(10000);
            char c = locked ? 'L' : 'F';
            if (write(toParent[1], &c, 1) != 1) {
                _exit(3);
            }
            ssize_t ignored = read(toChild[0], &c, 1);  // returns when the parent closes its end
            (void)ignored;
            if (unlockBeforeExit && !mutex.unlock()) {
                _exit(4);
            }
            _exit(locked ? 0 : 5);  // without unlockBeforeExit, the kernel drops the lock at exit
        }
        close(toChild[0]);
        close(toParent[1]);
        toChild_ = toChild[1];
        fromChild_ = toParent[0];
    }
    ~HolderProcess() { finish(); }

    bool holdsLock() {
        char c = 0;
        return read(fromChild_, &c, 1) == 1 && c == 'L';
    }
    // Lets the child end; its exit status.
    int finish() {
        if (pid_ <= 0) {
            return -1;
        }
        close(toChild_);
        close(fromChild_);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
};

// Another process holds the lock named "sync" in a scratch directory.
class ThreadsNamedMutexHeld : public ::testing::Test {
protected:
    void hold(bool unlockBeforeExit) {
        holder = std::make_unique<HolderProcess>(dir.path(), "sync", unlockBeforeExit);
        ASSERT_TRUE(holder->holdsLock());
    }
    fcltest::ScratchDir dir{"namedmutex"};
    std::unique_ptr<HolderProcess> holder;
    WzNamedMutex mutex{"sync", dir.path().c_str()};
};

TEST_F(ThreadsNamedMutexHeld, ExcludesAnotherProcessAndTimesOut) {
    ASSERT_NO_FATAL_FAILURE(hold(true));
    EXPECT_FALSE(mutex.tryLock());
    bool taken = true;
    long long ms = fcltest::elapsedMs([&] { taken = mutex.lock(300); });
    EXPECT_FALSE(taken);
    EXPECT_EQ(mutex.getLastErrno(), ETIMEDOUT);
    EXPECT_GE(ms, 300);
    EXPECT_LT(ms, 5000);

    EXPECT_EQ(holder->finish(), 0);
    EXPECT_TRUE(mutex.lock(10000));
    EXPECT_TRUE(mutex.unlock());
}

TEST_F(ThreadsNamedMutexHeld, HolderThatDiesReleasesTheLock) {
    ASSERT_NO_FATAL_FAILURE(hold(false));
    EXPECT_FALSE(mutex.tryLock());
    EXPECT_EQ(holder->finish(), 0);
    EXPECT_TRUE(mutex.lock(10000));
}

TEST_F(ThreadsNamedMutexHeld, NoLimitWaitsUntilTheHolderLetsGo) {
    ASSERT_NO_FATAL_FAILURE(hold(true));
    // 2^64 - 1000 ms, what a caller without a configured time-out passes.
    fcltest::finishesWithin(std::chrono::seconds(30), "an unbounded named lock after its holder ended", [&] {
        std::thread letGo([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            holder->finish();
        });
        EXPECT_TRUE(mutex.lock(static_cast<unsigned long>(-1000L)));
        letGo.join();
    });
}

TEST(ThreadsNamedMutex, TwoObjectsOfOneProcessExcludeEachOther) {
    fcltest::ScratchDir dir("namedmutex");
    WzNamedMutex first("job", dir.path().c_str());
    auto second = std::make_unique<WzNamedMutex>("job", dir.path().c_str());
    ASSERT_TRUE(first.lock(1000));
    EXPECT_TRUE(first.lock(0)) << "already held through this object";
    EXPECT_FALSE(second->tryLock());
    EXPECT_TRUE(first.unlock());
    EXPECT_FALSE(first.unlock()) << "not held any more";
    EXPECT_TRUE(second->tryLock());
    second.reset();  // the destructor gives the lock back
    EXPECT_TRUE(first.tryLock());
}

struct NameCase {
    const char* label;
    const char* name;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.label;
}

class ThreadsNamedMutexNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(ThreadsNamedMutexNames, LockFileStaysInsideItsDirectory) {
    fcltest::ScratchDir parent("namedmutex");
    std::string dir = parent / "locks";
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    WzNamedMutex mutex(GetParam().name, dir.c_str());
    ASSERT_TRUE(mutex.lock(1000)) << mutex.getLastError();
    const std::string& path = mutex.getPath();
    EXPECT_EQ(path.rfind('/'), dir.size());
    EXPECT_EQ(path.compare(0, dir.size() + 1, dir + "/"), 0) << path;
    std::string file = path.substr(dir.size() + 1);
    EXPECT_NE(file[0], '.') << path;
    struct stat st;
    EXPECT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
}

INSTANTIATE_TEST_SUITE_P(Names, ThreadsNamedMutexNames,
                         ::testing::Values(NameCase{"plain", "sync_subclient-2.1"}, NameCase{"climbs", "../escape"},
                                           NameCase{"dotdot", ".."}, NameCase{"slashes", "a/b/c"},
                                           NameCase{"absolute", "/etc/passwd"}, NameCase{"hidden", ".hidden"},
                                           NameCase{"spaces", "name with spaces\n"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(ThreadsNamedMutex, LinkPlantedAtTheLockFileIsNotFollowed) {
    fcltest::ScratchDir dir("namedmutex");
    std::string target = dir / "elsewhere";
    ASSERT_EQ(symlink(target.c_str(), (dir / "planted.lock").c_str()), 0);
    WzNamedMutex mutex("planted", dir.path().c_str());
    EXPECT_FALSE(mutex.lock(100));
    EXPECT_EQ(mutex.getLastErrno(), ELOOP);
    EXPECT_NE(access(target.c_str(), F_OK), 0) << "the link's target was created";
}

struct FailureCase {
    const char* label;
    const char* name;
    bool directoryExists;
    int error;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.label;
}

class ThreadsNamedMutexFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ThreadsNamedMutexFailures, FailureIsReportedNotTakenForATimeOut) {
    const FailureCase& c = GetParam();
    fcltest::ScratchDir dir("namedmutex");
    std::string where = c.directoryExists ? dir.path() : dir / "missing";
    WzNamedMutex mutex(c.name, where.c_str());
    EXPECT_EQ(mutex.getLastError(), nullptr);
    EXPECT_FALSE(mutex.lock(100));
    EXPECT_EQ(mutex.getLastErrno(), c.error);
    EXPECT_NE(mutex.getLastError(), nullptr);
    EXPECT_FALSE(mutex.isLocked());
}

INSTANTIATE_TEST_SUITE_P(Cases, ThreadsNamedMutexFailures,
                         ::testing::Values(FailureCase{"missingDirectory", "x", false, ENOENT},
                                           FailureCase{"emptyName", "", true, EINVAL},
                                           FailureCase{"nullName", nullptr, true, EINVAL}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
