// Directories restored as the stream drives them, in a job that restores folder times: made with their missing
// ancestors, given their owner and mode at open, and their times handed to the job's timestamp handler at close,
// which sets them at the end, after everything inside was written, on the directory the job made.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <string>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/objects/FsRestoreDirectory.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/timestamps/CRestoreTimestampHandler.h"
#include "tests/unit/objects/ObjectFixture.h"

namespace {

using fcltest::nonZeroData;

const time_t kMtime = 1300000000;
const time_t kAtime = 1200000000;

class DirectoryRestore : public fcltest::FactoryFixture {
protected:
    DirectoryRestore() {
        job_.getUnixCompanion()->SetTimestampRestoreEnabled(true);
        std::string dest = scratch_.path();
        factory_.reset(new FsRestoreUnixObjectsFactory(nullptr, nullptr, 0, &dest[0], 0, &job_));
    }

    void describe(uint32_t mode, uid_t uid, gid_t gid, time_t atime = kAtime) {
        header_.mode = mode;
        header_.uid = uid;
        header_.gid = gid;
        header_.mtime = static_cast<uint64_t>(kMtime);
        header_.ctime = static_cast<uint64_t>(kMtime);
        header_.atime = static_cast<uint32_t>(atime);
        header_.size = 0;
    }

    // Opens and closes one directory item at `path`; the close's result.
    int restoreDirectory(const std::string& path) {
        FsRestoreDirectory directory(&header_, factory_.get());
        directory._filename = path;
        EXPECT_EQ(directory.openObject(), 1) << path;
        return directory.closeObject();
    }

    void restoreFile(const std::string& path) {
        describe(0100644, getuid(), getgid());
        FsRestoreFile file(&header_, factory_.get());
        file._filename = path;
        ASSERT_EQ(file.openObject(), 1) << path;
        std::string data = nonZeroData(100);
        ASSERT_EQ(file.writeData(&data[0], 100), 1);
        ASSERT_EQ(file.closeObject(), 1);
    }

    CRestoreTimestampHandler* handler() { return job_.GetRestoreTimestampHandler()->get(); }

    FclRestore job_;
    std::unique_ptr<FsRestoreUnixObjectsFactory> factory_;
    CXFileHeader header_;
};

// Owners and times stay as the backup has them once the children are in; the mode holds from the open on.
TEST_F(DirectoryRestore, ModesOwnersAndTimesHoldAfterTheChildren) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    const bool root = fcltest::isRoot();
    if (!root) {
        std::cout << "Not root: directories keep this user as owner; modes and times are still checked.\n";
    }
    const uint32_t modes[] = {040700, 040755, 041777, 042775};
    for (uint32_t mode : modes) {
        SCOPED_TRACE(std::to_string(mode & 07777));
        const std::string dir = scratch_ / ("d" + std::to_string(mode & 07777));
        const uid_t uid = root ? 4321 : getuid();
        const gid_t gid = root ? 4322 : getgid();
        describe(mode, uid, gid);
        ASSERT_EQ(restoreDirectory(dir), 1);
        EXPECT_TRUE(job_.IsSkipAddtoRestoreStatus());
        restoreFile(dir + "/child");
        describe(040755, getuid(), getgid());
        ASSERT_EQ(restoreDirectory(dir + "/sub"), 1);
        restoreFile(dir + "/sub/grandchild");
    }
    ASSERT_NE(handler(), nullptr);
    EXPECT_EQ(handler()->queuedFolders(), 8u);
    EXPECT_FALSE(handler()->Apply().IsError());
    for (uint32_t mode : modes) {
        const std::string dir = scratch_ / ("d" + std::to_string(mode & 07777));
        struct stat st;
        ASSERT_EQ(lstat(dir.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode, mode) << dir;
        EXPECT_EQ(st.st_uid, root ? 4321u : getuid()) << dir;
        EXPECT_EQ(st.st_gid, root ? 4322u : getgid()) << dir;
        EXPECT_EQ(st.st_mtime, kMtime) << dir;
        EXPECT_EQ(st.st_atime, kAtime) << dir;
        ASSERT_EQ(lstat((dir + "/sub").c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, kMtime) << dir;
    }
}

TEST_F(DirectoryRestore, MissingAncestorsAreMade) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    describe(040750, getuid(), getgid());
    ASSERT_EQ(restoreDirectory(scratch_ / "a/b/c"), 1);
    struct stat st;
    ASSERT_EQ(lstat((scratch_ / "a/b/c").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode, 040750u);
}

TEST_F(DirectoryRestore, FailedDirectoryQueuesNoTimes) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    describe(040755, getuid(), getgid());
    FsRestoreDirectory directory(&header_, factory_.get());
    directory._filename = scratch_ / "failed";
    ASSERT_EQ(directory.openObject(), 1);
    factory_->setErrCode(fclitem::kCreateFailed);
    directory.closeObject();
    EXPECT_TRUE(handler() == nullptr || handler()->queuedFolders() == 0u);
    EXPECT_FALSE(job_.IsSkipAddtoRestoreStatus());
}

// Without an access time in the backup, the folder keeps the one it has.
TEST_F(DirectoryRestore, NoAccessTimeLeavesItAlone) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    describe(040755, getuid(), getgid(), 0);
    const std::string dir = scratch_ / "noatime";
    ASSERT_EQ(restoreDirectory(dir), 1);
    struct stat before;
    ASSERT_EQ(lstat(dir.c_str(), &before), 0);
    ASSERT_FALSE(handler()->Apply().IsError());
    struct stat after;
    ASSERT_EQ(lstat(dir.c_str(), &after), 0);
    EXPECT_EQ(after.st_mtime, kMtime);
    EXPECT_EQ(after.st_atime, before.st_atime);
}

// A directory replaced by a link before the end: the times go nowhere, least of all to what the link names.
TEST_F(DirectoryRestore, TimesNeverFollowALinkPutInTheDirectorysPlace) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    fcltest::ScratchDir outside("fcloutside");
    struct stat before;
    ASSERT_EQ(lstat(outside.path().c_str(), &before), 0);
    describe(040755, getuid(), getgid());
    const std::string dir = scratch_ / "swapped";
    ASSERT_EQ(restoreDirectory(dir), 1);
    ASSERT_EQ(rmdir(dir.c_str()), 0);
    ASSERT_EQ(symlink(outside.path().c_str(), dir.c_str()), 0);
    handler()->Apply();
    struct stat after;
    ASSERT_EQ(lstat(outside.path().c_str(), &after), 0);
    EXPECT_EQ(after.st_mtime, before.st_mtime);
    EXPECT_EQ(after.st_atime, before.st_atime);
}

TEST_F(DirectoryRestore, DistributedRestoreQueuesOnlyOutsideItsTimestampPhase) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    FclRestoreUNIX& unix = *job_.getUnixCompanion();
    unix._distributedRestore = true;
    unix.SetMultiNodeTaskId(7);
    describe(040755, getuid(), getgid());
    ASSERT_EQ(restoreDirectory(scratch_ / "task"), 1);
    // A name of 1024 characters or more goes the long-path way: queued all the same.
    std::string longName = scratch_.path();
    for (char c = 'l'; c <= 'p'; ++c) {
        longName += "/" + std::string(200, c);
    }
    ASSERT_EQ(restoreDirectory(longName), 1);
    EXPECT_EQ(handler()->queuedFolders(), 2u);
    EXPECT_TRUE(job_.IsSkipAddtoRestoreStatus());

    job_.SetSkipAddtoRestoreStatus(false);
    unix._distributedTimestampPhase = true;
    ASSERT_EQ(restoreDirectory(scratch_ / "phase"), 1);
    EXPECT_EQ(handler()->queuedFolders(), 2u);
    EXPECT_FALSE(job_.IsSkipAddtoRestoreStatus());
}

TEST_F(DirectoryRestore, NamelessDirectoryIsSkipped) {
    describe(040755, getuid(), getgid());
    FsRestoreDirectory directory(&header_, factory_.get());
    directory._filename.clear();
    EXPECT_EQ(directory.openObject(), 1);
    EXPECT_EQ(directory._dontRestore, 1);
    EXPECT_EQ(directory.closeObject(), 1);
}

// While owners are preserved, a directory the restore made earlier as an ancestor is found once, under its name
// without a trailing '/', and its access-control lists are then applied as for a made directory.
TEST_F(DirectoryRestore, AncestorMadeEarlierIsFoundOnce) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    g_preserveOwnership = true;
    const std::string dir = scratch_ / "made";
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    g_dirMap[dir] = true;
    describe(040755, getuid(), getgid());
    FsRestoreDirectory first(&header_, factory_.get());
    first._filename = dir + "/";
    ASSERT_EQ(first.openObject(), 1);
    EXPECT_EQ(first._filename, dir);
    EXPECT_TRUE(g_setACL);
    EXPECT_EQ(g_dirMap.count(dir), 0u);
    FsRestoreDirectory second(&header_, factory_.get());
    second._filename = dir;
    ASSERT_EQ(second.openObject(), 1);
    EXPECT_FALSE(g_setACL);
}

}  // namespace
