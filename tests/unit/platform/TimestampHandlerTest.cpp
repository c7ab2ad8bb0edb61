// The folder-time handler on real trees: exact times applied after the folders were filled, folders replaced by
// links or files left alone, long and relative names, the store's bound, and the handler's end.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include "platform/events/Journal.h"
#include "platform/files/DestinationGate.h"
#include "platform/files/FileCallHooks.h"
#include "platform/files/FileCalls.h"
#include "platform/files/LongPathHandler.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/timestamps/CRestoreTimestampHandler.h"
#include "tests/unit/platform/FileTestSupport.h"
#include "tests/unit/platform/GateFixture.h"
#include "tests/unit/platform/PlatformFixture.h"

namespace {

const long long kJobId = 4711;

struct Times {
    long long access;
    long long modified;
};

boost::shared_ptr<CTimestampData> folder(const std::string& path, long long access, long long modified) {
    auto data = boost::make_shared<CTimestampData>();
    data->SetFileName(path);
    data->SetCreationTime(CTimeStamp::FromUnixTime(modified));
    data->SetModifiedTime(CTimeStamp::FromUnixTime(modified));
    if (access != 0) {
        data->SetAccessTime(CTimeStamp::FromUnixTime(access));
    }
    return data;
}

Times timesOf(const std::string& path) {
    struct stat st;
    EXPECT_EQ(lstat_utf(path.c_str(), &st), 0) << path << ": " << std::strerror(errno);
    EXPECT_EQ(st.st_atim.tv_nsec, 0) << path;
    EXPECT_EQ(st.st_mtim.tv_nsec, 0) << path;
    return Times{static_cast<long long>(st.st_atim.tv_sec), static_cast<long long>(st.st_mtim.tv_sec)};
}

// The times a test gives an item before the handler may touch it.
void setTimes(const std::string& path, long long access, long long modified) {
    const struct timespec times[2] = {{static_cast<time_t>(access), 0}, {static_cast<time_t>(modified), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

void expectTimes(const std::string& path, long long access, long long modified) {
    Times got = timesOf(path);
    EXPECT_EQ(got.access, access) << path;
    EXPECT_EQ(got.modified, modified) << path;
}

void makeDirectory(const std::string& path, mode_t mode = 0755) {
    ASSERT_EQ(::mkdir(path.c_str(), mode), 0) << path << ": " << std::strerror(errno);
}

class TimestampHandler : public fcltest::PlatformFixture {
protected:
    CRestoreTimestampHandler handler_{2, kJobId, nullptr, nullptr};
    fcltest::ScratchDir tree_{"fcl-times"};
};

TEST_F(TimestampHandler, AppliesExactTimesToFoldersFilledAfterTheyWereQueued) {
    struct Case {
        const char* name;
        Times times;
    };
    const Case folders[] = {
        {"a", {1000001, 2000001}},   {"a/b", {1000002, 2000002}},     {"a/b/c", {1000003, 2000003}},
        {"a/d", {1000004, 2000004}}, {"e", {1500000000, 1600000000}},
    };
    for (const Case& c : folders) {
        makeDirectory(tree_ / c.name);
        ASSERT_FALSE(handler_.Add(folder(tree_ / c.name, c.times.access, c.times.modified)).IsError()) << c.name;
    }
    // What the rest of the restore does inside the folders after each was closed.
    for (const Case& c : folders) {
        fcltest::writeFile(tree_ / (std::string(c.name) + "/file"), "data");
        makeDirectory(tree_ / (std::string(c.name) + "/late"));
    }

    CQiError applied = handler_.Apply();
    ASSERT_FALSE(applied.IsError()) << applied.AsString(eErrorOutputDetailed);
    for (const Case& c : folders) {
        expectTimes(tree_ / c.name, c.times.access, c.times.modified);
    }
    EXPECT_EQ(handler_.queuedFolders(), 0u);
}

TEST_F(TimestampHandler, AClearAccessTimeLeavesTheFoldersAccessTime) {
    const std::string dir = tree_ / "only-mtime";
    makeDirectory(dir);
    setTimes(dir, 777777, 888888);
    ASSERT_FALSE(handler_.Add(folder(dir, 0, 123456789)).IsError());
    ASSERT_FALSE(handler_.Apply().IsError());
    expectTimes(dir, 777777, 123456789);
}

TEST_F(TimestampHandler, AFolderWithoutAnyPermissionStillGetsItsTimes) {
    const std::string dir = tree_ / "closed";
    makeDirectory(dir, 0755);
    ASSERT_FALSE(handler_.Add(folder(dir, 5000, 6000)).IsError());
    ASSERT_EQ(::chmod(dir.c_str(), 0), 0);
    CQiError applied = handler_.Apply();
    ::chmod(dir.c_str(), 0755);
    ASSERT_FALSE(applied.IsError()) << applied.AsString(eErrorOutputDetailed);
    expectTimes(dir, 5000, 6000);
}

TEST_F(TimestampHandler, AFolderReplacedByAFileIsLeftAloneAndTheOthersStillApply) {
    const std::string replaced = tree_ / "was-a-folder";
    const std::string kept = tree_ / "kept";
    makeDirectory(replaced);
    makeDirectory(kept);
    ASSERT_FALSE(handler_.Add(folder(replaced, 10, 20)).IsError());
    ASSERT_FALSE(handler_.Add(folder(kept, 30, 40)).IsError());
    ASSERT_EQ(::rmdir(replaced.c_str()), 0);
    fcltest::writeFile(replaced, "a file now");
    setTimes(replaced, 111, 222);

    wzlog::ScopedCapture log;
    CQiError applied = handler_.Apply();
    ASSERT_TRUE(applied.IsError());
    EXPECT_TRUE(FXErrorUtil::IsErrNo(applied, ENOTDIR)) << applied.AsString();
    EXPECT_TRUE(log->contains("Cannot restore the times of folder [" + replaced + "]"));
    expectTimes(replaced, 111, 222);
    expectTimes(kept, 30, 40);
}

TEST_F(TimestampHandler, RelativeNamesAreTakenFromTheQueuingThreadsDirectory) {
    makeDirectory(tree_ / "here");
    makeDirectory(tree_ / "here/rel");
    ASSERT_EQ(WzLongPathHandler::GetHandler()->chdir_long((tree_ / "here").c_str()), 0);
    CQiError added = handler_.Add(folder("rel", 3333, 4444));
    WzLongPathHandler::resetCurrentDirectory();
    ASSERT_FALSE(added.IsError());

    CQiError applied;
    std::thread other([&] { applied = handler_.Apply(); });
    other.join();
    ASSERT_FALSE(applied.IsError()) << applied.AsString(eErrorOutputDetailed);
    expectTimes(tree_ / "here/rel", 3333, 4444);
}

TEST_F(TimestampHandler, LongNamesBeyondPathMaxApply) {
    std::string deep = filetest::deepPath(tree_.path(), PATH_MAX + 600);
    std::vector<char> text(deep.begin(), deep.end());
    text.push_back('\0');
    ASSERT_EQ(WzLongPathHandler::GetHandler()->CreateDirsIteratively_Long(text.data(), nullptr), 1);
    ASSERT_FALSE(handler_.Add(folder(deep, 1234567, 7654321)).IsError());
    ASSERT_FALSE(handler_.Apply().IsError());
    expectTimes(deep, 1234567, 7654321);
}

TEST_F(TimestampHandler, AFullStoreRefusesTheFolderWhichKeepsItsTimes) {
    CRestoreTimestampHandler small(2, kJobId, nullptr, nullptr, 160);
    const std::string first = tree_ / "first";
    const std::string refused = tree_ / "refused-because-the-store-is-full";
    makeDirectory(first);
    makeDirectory(refused);
    setTimes(refused, 1111, 2222);
    ASSERT_FALSE(small.Add(folder(first, 1, 2)).IsError());
    CQiError added = small.Add(folder(refused, 3, 4));
    ASSERT_TRUE(added.IsError());
    EXPECT_TRUE(FXErrorUtil::IsErrNo(added, ENOMEM));
    EXPECT_NE(FXErrorUtil::GetMessage(added).find(refused), std::string::npos);
    ASSERT_FALSE(small.Apply().IsError());
    expectTimes(first, 1, 2);
    expectTimes(refused, 1111, 2222);
}

TEST_F(TimestampHandler, RefusesFoldersWithoutANameAndKeepsQueuedTimesAcrossClose) {
    EXPECT_TRUE(handler_.Add(boost::shared_ptr<CTimestampData>()).IsError());
    EXPECT_TRUE(handler_.Add(folder("", 1, 2)).IsError());
    EXPECT_EQ(handler_.queuedFolders(), 0u);

    // An archive's close comes before the restore end applies the times of all archives' folders.
    const std::string dir = tree_ / "late";
    makeDirectory(dir);
    setTimes(dir, 1111, 2222);
    ASSERT_FALSE(handler_.Add(folder(dir, 5, 6)).IsError());
    ASSERT_FALSE(handler_.Close().IsError());
    const std::string second = tree_ / "second archive";
    makeDirectory(second);
    ASSERT_FALSE(handler_.Add(folder(second, 7, 8)).IsError());
    ASSERT_FALSE(handler_.Close().IsError());
    ASSERT_FALSE(handler_.Apply().IsError());
    expectTimes(dir, 5, 6);
    expectTimes(second, 7, 8);
}

TEST_F(TimestampHandler, ADestroyedHandlerNamesTheTimesItNeverApplied) {
    const std::string dir = tree_ / "never";
    makeDirectory(dir);
    setTimes(dir, 1111, 2222);
    wzlog::ScopedCapture log;
    {
        CRestoreTimestampHandler handler{2, kJobId, nullptr, nullptr};
        ASSERT_FALSE(handler.Add(folder(dir, 5, 6)).IsError());
        ASSERT_FALSE(handler.Close().IsError());
    }
    EXPECT_TRUE(log->contains("The times of 1 folders were queued but never applied"));
    expectTimes(dir, 1111, 2222);
}

TEST_F(TimestampHandler, FoldersOfDistributedTasksAreLeftToTheTimestampPhase) {
    const std::string dir = tree_ / "task-folder";
    makeDirectory(dir);
    setTimes(dir, 1111, 2222);
    ASSERT_FALSE(handler_.Add(folder(dir, 5, 6), 3).IsError());
    ASSERT_FALSE(handler_.AddLongpath(folder(dir, 5, 6), 3).IsError());
    ASSERT_FALSE(handler_.Close().IsError());
    EXPECT_EQ(wzplatform::journalLines("timestamps"),
              (std::vector<std::string>{"job 4711: 2 folder times left to the timestamp phase, not applied here"}));
    expectTimes(dir, 1111, 2222);
}

TEST_F(TimestampHandler, TaskFoldersQueuedAfterAnApplyAreHandedOverToo) {
    const std::string dir = tree_ / "task-folder";
    makeDirectory(dir);
    ASSERT_FALSE(handler_.Add(folder(dir, 5, 6), 3).IsError());
    ASSERT_FALSE(handler_.Close().IsError());
    ASSERT_FALSE(handler_.Apply().IsError());
    ASSERT_FALSE(handler_.Add(folder(dir, 7, 8), 3).IsError());
    ASSERT_FALSE(handler_.Close().IsError());
    EXPECT_EQ(wzplatform::journalLines("timestamps"),
              (std::vector<std::string>{"job 4711: 1 folder times left to the timestamp phase, not applied here",
                                        "job 4711: 1 folder times left to the timestamp phase, not applied here"}));
}

// Folders replaced by links after they were queued: the times go nowhere outside the destination.
class TimestampHandlerLinks : public gatetest::GateFixture, public ::testing::TestWithParam<int> {
protected:
    enum { kNoGate, kGateWithOpenat2, kGateWithoutOpenat2 };
    void SetUp() override {
        if (GetParam() == kNoGate) {
            build();
        } else {
            buildGated(GetParam() == kGateWithOpenat2);
        }
    }
    void TearDown() override { tearDown(); }
};

TEST_P(TimestampHandlerLinks, AFolderReplacedByALinkChangesNothingOutside) {
    const std::string& dest = layout_.dest;
    // The links were folders when they were closed; a hostile item or user swapped them afterwards.
    std::vector<std::string> queued = {dest + "/abslink", dest + "/rellink", dest + "/innerlink",
                                       dest + "/inside/climb", dest + "/inside"};
    if (GetParam() != kNoGate) {
        // Only the gate keeps a link in the middle of a name from leading outside.
        queued.push_back(dest + "/abslink/sub");
        queued.push_back(dest + "/inside/climb/sub");
    }
    CRestoreTimestampHandler handler(2, kJobId, nullptr, nullptr);
    for (const std::string& path : queued) {
        ASSERT_FALSE(handler.Add(folder(path, 123, 456)).IsError()) << path;
    }
    // The snapshot holds modification times, and 456 is no time any item outside has.
    const std::string before = outsideSnapshot();

    CQiError applied = handler.Apply();
    EXPECT_TRUE(applied.IsError());
    EXPECT_EQ(outsideSnapshot(), before);
    expectTimes(dest + "/inside", 123, 456);
}

// Folders restored into the directory the user's link at their name reaches get their times there: in place
// wherever the link leads, out of place only where the gate lets the link through.
TEST_P(TimestampHandlerLinks, AFolderKeptAsALinkGetsItsTimesThroughIt) {
    const std::string& dest = layout_.dest;
    CRestoreTimestampHandler handler(2, kJobId, nullptr, nullptr);
    for (const std::string& path :
         {dest + "/innerlink", dest + "/abslink", dest + "/rellink", dest + "/inside/climb"}) {
        auto data = folder(path, 123, 456);
        data->SetThroughLink(true);
        ASSERT_FALSE(handler.Add(data).IsError()) << path;
    }
    const std::string before = outsideSnapshot();
    EXPECT_EQ(handler.Apply().IsError(), GetParam() != kNoGate);
    switch (GetParam()) {
        case kNoGate:
            expectTimes(dest + "/inside", 123, 456);
            expectTimes(layout_.outside, 123, 456);
            break;
        case kGateWithOpenat2:
            expectTimes(dest + "/inside", 123, 456);
            EXPECT_EQ(outsideSnapshot(), before);
            break;
        default:
            // Without openat2 the gate refuses every link.
            EXPECT_EQ(outsideSnapshot(), before);
            break;
    }
}

std::string resolutionName(const ::testing::TestParamInfo<int>& info) {
    static const char* const kNames[] = {"NoGate", "GateWithOpenat2", "GateWithoutOpenat2"};
    return kNames[info.param];
}

INSTANTIATE_TEST_SUITE_P(Resolutions, TimestampHandlerLinks, ::testing::Values(0, 1, 2), resolutionName);

}  // namespace
