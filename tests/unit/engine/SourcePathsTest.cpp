// The source paths of a job: stored at their index as the job kind requires, and at the last index the set is sorted
// and the restore-object factory built, with the restart point of a restartable job.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "clRestore/engine/FsRestoreRestart.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/events/EvEvent.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/PlatformPaths.h"
#include "platform/settings/WZPlatformAgents.h"
#include "tests/unit/engine/JobFixture.h"
#include "tests/unit/engine/SourcePathsFixture.h"

namespace jobtest {
namespace {

class SourcePathsTest : public SourcePathsFixture {};

// Descriptors of this process open on a restart file.
int openRestartFiles() {
    int n = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (dirent* entry = readdir(dir)) {
        char target[4096];
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
        if (length > 0) {
            target[length] = '\0';
            n += std::string(target).find("/RestartInfo") != std::string::npos;
        }
    }
    closedir(dir);
    return n;
}

TEST_F(SourcePathsTest, PathsAreStoredAtTheirIndexAndTheLastBuildsTheFactory) {
    FclRestore& job = prepare(3);
    char message[] = "/b/two";
    ASSERT_TRUE(send(job, 1, message, 2));
    ASSERT_TRUE(send(job, 0, "/a/one", 1));
    EXPECT_EQ(job._factory, nullptr) << "only the last index completes the set";
    EXPECT_STREQ(job._srcPaths[1].path, "/b/two");
    EXPECT_NE(job._srcPaths[1].path, message) << "the job keeps a copy of its own";
    message[1] = 'X';
    EXPECT_STREQ(job._srcPaths[1].path, "/b/two");

    ASSERT_TRUE(send(job, 2, "/a/0-first", 3));
    ASSERT_NE(job._factory, nullptr);
    EXPECT_FALSE(job.isFatalError());
    EXPECT_EQ(job._factory->getSrcPaths(), job._srcPaths) << "the factory works on the job's array";
    EXPECT_EQ(job._factory->getNumSrcPaths(), 3);
    EXPECT_EQ(job._factory->getOptions(), static_cast<unsigned long>(job._setParams->options));
    EXPECT_STREQ(job._factory->getDestDir(), destination_.c_str());
    EXPECT_TRUE(job.isCaseSensitive());
    // Sorted by text; each record keeps the index and strip level it came with.
    EXPECT_EQ(stored(job), (std::vector<std::string>{"2 /a/0-first 3", "0 /a/one 1", "1 /b/two 2"}));
}

TEST_F(SourcePathsTest, OneSourcePathCompletesTheSet) {
    FclRestore& job = prepare(1);
    ASSERT_TRUE(send(job, 0, "/only"));
    EXPECT_NE(job._factory, nullptr);
    EXPECT_EQ(job._restart, nullptr) << "a job that is not restartable has no restart state";
}

TEST_F(SourcePathsTest, AnAutoScaleIndexRestoreKeepsTheIndexOrder) {
    FclRestore& job = prepare(3);
    job._fclRestoreUnix->_autoScaleIndexRestore = true;
    send(job, 0, "/z");
    send(job, 1, "/m");
    send(job, 2, "/a");
    ASSERT_NE(job._factory, nullptr);
    EXPECT_EQ(stored(job), (std::vector<std::string>{"0 /z 0", "1 /m 0", "2 /a 0"}));
}

TEST_F(SourcePathsTest, PathsAreRewrittenAsTheJobKindRequires) {
    struct Case {
        const char* name;
        void (*kind)(FclRestore& job);
        unsigned long appType;
        const char* path;
        unsigned long long strip;
        const char* expected;  // "index path strip" of the stored record
    };
    const Case cases[] = {
        {"windows path", [](FclRestore&) {}, 29, "C:\\dir\\f", 0, "0 /C:/dir/f 0"},
        {"windows path of a sync restore", [](FclRestore& job) { job._fclRestoreUnix->_syncRestore = true; }, 29,
         "C:\\dir\\f", 0, "0 C:\\dir\\f 0"},
        {"reference copy", [](FclRestore& job) { job._fclRestoreUnix->_refCopyRestore = true; }, 29, "/guid/x", 4,
         "0 /guid/x 0"},
        {"reference copy of PostgreSQL", [](FclRestore& job) { job._fclRestoreUnix->_refCopyRestore = true; }, 0x7d,
         "/guid/x", 4, "0 /guid/x 1"},
        {"PostgreSQL", [](FclRestore&) {}, 0x7d, "/pg/data", 2, "0 /pg/data 3"},
        {"silo marker", [](FclRestore& job) { job._siloJob = true; }, 29, "\\WZ_SIDB\\a\\b", 0, "0 /WZ_SIDB/a/b 0"},
        {"silo without its marker", [](FclRestore& job) { job._siloJob = true; }, 29, "/x\\y", 0, "0 /x\\y 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FclRestore& job = prepare(2, FSR_OPT_OUT_OF_PLACE, c.appType);
        c.kind(job);
        ASSERT_TRUE(send(job, 0, c.path, c.strip));
        EXPECT_EQ(stored(job)[0], c.expected);
        destroyJob();
    }
}

TEST_F(SourcePathsTest, TheCacheDbMonikerMarksFullAndPartialRestores) {
    struct Case {
        const char* path;
        bool cacheDb;
        const char* logLine;
    };
    const Case cases[] = {
        {"/%CACHEDB%", true, "this IS FULL Cache DB Restore"},
        {"/%CACHEDB%/", true, "this IS FULL Cache DB Restore"},
        {"/%cachedb%/x", true, "this IS PARTIAL Cache DB Restore"},
        {"/%CACHEDB%x", false, "Cache DB Restore"},
        {"/data", false, "Cache DB Restore"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        wzlog::ScopedCapture log;
        FclRestore& job = prepare(2);
        send(job, 0, c.path);
        EXPECT_EQ(job.IsCacheDBRestore(), c.cacheDb);
        EXPECT_EQ(log->contains(c.logLine), c.cacheDb);
        destroyJob();
    }
}

TEST_F(SourcePathsTest, MultiplexedDatabaseRestoresListEveryPath) {
    FclRestore& job = prepare(2);
    job._fclRestoreUnix->setDBRestoreFromMultiplexedBackup(true);
    send(job, 0, "C:\\db");
    send(job, 1, "/db/two");
    EXPECT_FALSE(job.isFatalError());
    EXPECT_EQ(job.getDBPathRestoreList(), (std::vector<std::string>{"C:\\db", "/db/two"})) << "as the FIR sent them";
}

TEST_F(SourcePathsTest, TheFactoryIsBuiltWithTheRestartPoint) {
    struct Case {
        const char* name;
        std::string record;  // "" leaves the file absent
        unsigned long point;
    };
    const Case cases[] = {
        {"first run", "", 0},
        {"a whole record", restartRecord(17, "/src/f17"), 17},
        {"a short record", restartRecord(17, "/src/f17").substr(0, 1000), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FclRestore& job = prepare(1, FSR_OPT_OUT_OF_PLACE | FSR_OPT_RESTART | FSR_OPT_RESTART_SKIP);
        writeRestartFile(c.record);
        ASSERT_TRUE(send(job, 0, "/src"));
        ASSERT_NE(job._factory, nullptr);
        ASSERT_NE(job._restart, nullptr);
        EXPECT_EQ(job._restartFileNum, c.point);
        destroyJob();
    }
}

TEST_F(SourcePathsTest, ARestartStateThatCannotOpenLeavesTheJobRunningFromTheStart) {
    wzlog::ScopedCapture log;
    FclRestore& job = prepare(1, FSR_OPT_OUT_OF_PLACE | FSR_OPT_RESTART);
    wzplatform::clearRaisedEvents();
    WZPI_FileSystemAgent::invalidFaults().failNext(1);
    EXPECT_FALSE(send(job, 0, "/src"));
    EXPECT_NE(job._factory, nullptr);
    EXPECT_EQ(job._restart, nullptr);
    EXPECT_EQ(job._restartFileNum, 0u);
    EXPECT_FALSE(job.isFatalError());
    EXPECT_TRUE(log->contains("Could not initialize FsRestoreRestart object"));
    ASSERT_EQ(wzplatform::raisedEvents().size(), 1u);
    EXPECT_EQ(wzplatform::raisedEvents()[0].severity, EV_MAJOR);
    EXPECT_EQ(wzplatform::raisedEvents()[0].messageId, 0x17000035);
}

TEST_F(SourcePathsTest, ASecondRoundReplacesTheFactoryAndTheRestartState) {
    FclRestore& job = prepare(2, FSR_OPT_OUT_OF_PLACE | FSR_OPT_RESTART);
    writeRestartFile(restartRecord(5, "/five"));
    send(job, 0, "/old/b");
    send(job, 1, "/old/a");
    ASSERT_NE(job._factory, nullptr);
    EXPECT_EQ(job._restartFileNum, 5u);

    writeRestartFile(restartRecord(9, "/nine"));
    job._setParams->options |= FSR_OPT_OVERWRITE;
    ASSERT_TRUE(send(job, 0, "/new/x"));
    EXPECT_EQ(stored(job), (std::vector<std::string>{"0 /new/x 0", "0 /old/b 0"}))
        << "the round refills the sorted array by position";
    ASSERT_TRUE(send(job, 1, "/new/y", 1));
    ASSERT_NE(job._factory, nullptr);
    EXPECT_FALSE(job.isFatalError());
    EXPECT_EQ(stored(job), (std::vector<std::string>{"0 /new/x 0", "1 /new/y 1"}));
    EXPECT_EQ(job._factory->getSrcPaths(), job._srcPaths);
    EXPECT_NE(job._factory->getOptions() & FSR_OPT_OVERWRITE, 0u) << "the new factory has the new options";
    EXPECT_EQ(job._restartFileNum, 9u);
    EXPECT_NE(job._restart, nullptr);
    EXPECT_EQ(openRestartFiles(), 1) << "the first round's restart state went with its descriptor";
}

TEST_F(SourcePathsTest, PathsThatContradictTheParametersStopTheJob) {
    struct Step {
        long long index;
        const char* path;
    };
    struct Case {
        const char* name;
        int count;
        std::vector<Step> steps;  // the last one is refused
        const char* logLine;
        const char* firstPath;  // what position 0 holds afterwards
    };
    const Case cases[] = {
        {"index past the count", 2, {{0, "/a"}, {2, "/b"}}, "Source path index 2 is outside the 2 source paths", "/a"},
        {"negative index", 2, {{-1, "/a"}}, "Source path index -1 is outside the 2 source paths", nullptr},
        {"index beyond 32 bits", 2, {{0, "/a"}, {1LL << 32, "/evil"}}, "Source path index 4294967296 is outside", "/a"},
        {"no parameters", 0, {{0, "/a"}}, "Source path index 0 is outside the 0 source paths", nullptr},
        {"no path", 2, {{0, nullptr}}, "Source path 0 came without a path", nullptr},
        {"repeated index", 3, {{0, "/a"}, {0, "/b"}}, "Source path 0 came a second time", "/a"},
        {"last before the others",
         3,
         {{1, "/b"}, {2, "/c"}},
         "Source path 0 of 3 did not come before the last one",
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wzlog::ScopedCapture log;
        FclRestore& job = prepare(c.count);
        for (size_t k = 0; k + 1 < c.steps.size(); ++k) {
            ASSERT_TRUE(send(job, c.steps[k].index, c.steps[k].path));
        }
        EXPECT_FALSE(send(job, c.steps.back().index, c.steps.back().path));
        EXPECT_TRUE(log->contains(c.logLine));
        EXPECT_TRUE(job.isFatalError());
        EXPECT_EQ(job.getFailureReason(), "Restore: The source paths received do not match the job's parameters.");
        EXPECT_EQ(job._factory, nullptr);
        if (c.count > 0) {
            if (c.firstPath != nullptr) {
                EXPECT_STREQ(job._srcPaths[0].path, c.firstPath);
            } else {
                EXPECT_EQ(job._srcPaths[0].path, nullptr);
            }
        }
        destroyJob();
    }
}

TEST_F(SourcePathsTest, AMappingThatCannotBeSetUpStopsTheJob) {
    fcltest::writeFile(settingsPath_, "[TaskOptions]\n1 = " + (scratch_ / "no-such-map") + "\n");
    wzlog::ScopedCapture log;
    FclRestore& job = prepare(1);
    giveRestoreJobClient(job);
    EXPECT_FALSE(send(job, 0, "/src"));
    EXPECT_TRUE(job.isFatalError());
    EXPECT_EQ(job.getFailureReason(), "Restore: Nothing to restore in a mapping file restore - map file not found.");
    EXPECT_TRUE(log->contains("Error in initializing the mapping file restore."));
    EXPECT_EQ(pendingCauseCodes(), std::vector<int>{0x1700005d});
}

TEST_F(SourcePathsTest, AMissingHostFactoryStopsTheJob) {
    wzlog::ScopedCapture log;
    FclRestore& job = prepare(1, FSR_OPT_OUT_OF_PLACE, 0x6a);
    job._fclRestoreUnix->_useVsrstFactory = true;
    EXPECT_TRUE(send(job, 0, "/vm"));
    EXPECT_TRUE(log->contains("Could not locate symbol getVSRSTFactory"));
    EXPECT_EQ(job._factory, nullptr);
    EXPECT_TRUE(job.isFatalError()) << "a job without a factory must not go on to report success";
}

TEST_F(SourcePathsTest, SourceSharesThatCannotBeMountedStopTheJob) {
    wzlog::ScopedCapture log;
    FclRestore& job = prepare(1);
    giveRestoreJobClient(job);
    job._fclRestoreUnix->_autoMountShare = true;
    EXPECT_FALSE(send(job, 0, "/share"));
    EXPECT_TRUE(job.isFatalError());
    EXPECT_TRUE(log->contains(" [Source] ["));
    std::vector<JMPendingCause> causes = wzplatform::pendingCauses();
    ASSERT_EQ(causes.size(), 1u);
    EXPECT_EQ(causes[0].code, 0x170000b7);
    EXPECT_TRUE(causes[0].withEvent);
    ASSERT_EQ(causes[0].arguments.size(), 1u);
    EXPECT_EQ(causes[0].arguments[0].rfind(" [Source] [", 0), 0u);
}

TEST_F(SourcePathsTest, UserNamesSplitAtTheirLastBackslash) {
    struct Case {
        const char* full;
        const char* domain;
        const char* user;
    };
    const Case cases[] = {
        {"DOM\\user", "DOM", "user"}, {"user", ".", "user"}, {"a\\b\\c", "a\\b", "c"}, {"", ".", ""},
        {"\\lead", "", "lead"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.full);
        std::string full(c.full);
        std::vector<char> text(full.begin(), full.end());
        text.push_back('\0');
        std::vector<char> domain(full.size() + 2, '#');
        std::vector<char> user(full.size() + 2, '#');
        FclRestore::parseUserName(text.data(), domain.data(), user.data());
        EXPECT_STREQ(domain.data(), c.domain);
        EXPECT_STREQ(user.data(), c.user);
    }
}

}  // namespace
}  // namespace jobtest
