// What a job's factory holds from construction to destruction: the destination root of the file-call layer for an
// out-of-place job (created when missing, refused when it cannot be held), and the answers of the synchronised-
// restore queries.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/files/FileCallHooks.h"
#include "platform/files/FileCalls.h"
#include "platform/log/LogWriter.h"
#include "platform/sync/CSyncRestorePathMapper.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/factory/JobFactoryFixture.h"

namespace {

class UnixFactory : public fcltest::JobFactoryFixture {
protected:
    UnixFactory() { addSource("/a", 0); }
};

TEST_F(UnixFactory, OutOfPlaceJobHoldsItsDestinationUntilItEnds) {
    ASSERT_EQ(mkdir((scratch_ / "dest").c_str(), 0755), 0);
    {
        auto factory = make(FSR_OPT_OUT_OF_PLACE, scratch_ / "dest/");
        EXPECT_EQ(wzfiles::destinationRoot(), scratch_ / "dest");

        // The root is in force: a link planted in the destination cannot take a write outside it.
        ASSERT_EQ(mkdir((scratch_ / "outside").c_str(), 0755), 0);
        ASSERT_EQ(symlink((scratch_ / "outside").c_str(), (scratch_ / "dest/esc").c_str()), 0);
        const int fd = open_utf((scratch_ / "dest/esc/planted").c_str(), O_WRONLY | O_CREAT, 0600);
        EXPECT_LT(fd, 0);
        if (fd >= 0) {
            close(fd);
        }
        EXPECT_NE(access((scratch_ / "outside/planted").c_str(), F_OK), 0);
    }
    EXPECT_EQ(wzfiles::destinationRoot(), "");
}

TEST_F(UnixFactory, MissingDestinationIsCreatedThenHeld) {
    wzlog::ScopedCapture capture;
    auto factory = make(FSR_OPT_OUT_OF_PLACE, scratch_ / "new/dest");
    EXPECT_EQ(modeOf(scratch_ / "new"), 0700u);
    EXPECT_EQ(modeOf(scratch_ / "new/dest"), 0700u);
    EXPECT_EQ(wzfiles::destinationRoot(), scratch_ / "new/dest");
    EXPECT_TRUE(capture->contains("Created the destination [" + scratch_ / "new/dest]"));
}

TEST_F(UnixFactory, OnlyOutOfPlaceJobsIntoADirectoryHoldARoot) {
    ASSERT_EQ(mkdir((scratch_ / "dest").c_str(), 0755), 0);
    const struct {
        const char* name;
        unsigned long options;
        const char* dest;  // under the scratch directory unless absolute
        bool withJob;
    } cases[] = {
        {"InPlace", 0, "dest", true},
        {"IntoOneFile", FSR_OPT_OUT_OF_PLACE | FSR_OPT_DEST_IS_FILE, "dest/file", true},
        {"SyntheticFull", FSR_OPT_OUT_OF_PLACE | FSR_OPT_SYNTHETIC_FULL, "dest", true},
        {"IntoTheRoot", FSR_OPT_OUT_OF_PLACE, "/", true},
        {"NoDestination", FSR_OPT_OUT_OF_PLACE, "", true},
        {"WithoutJob", FSR_OPT_OUT_OF_PLACE, "dest", false},
    };
    for (const auto& c : cases) {
        const std::string dest = c.dest[0] == '/' || c.dest[0] == '\0' ? std::string(c.dest) : scratch_ / c.dest;
        auto factory = make(c.options, dest, c.withJob);
        EXPECT_EQ(wzfiles::destinationRoot(), "") << c.name;
    }
    EXPECT_NE(access((scratch_ / "dest/file").c_str(), F_OK), 0) << "nothing created for a one-file destination";
}

TEST_F(UnixFactory, DestinationThatCannotBeHeldFailsTheJob) {
    fcltest::writeFile(scratch_ / "file", "x");
    const std::string dests[] = {scratch_ / "file", scratch_ / "file/sub"};
    for (const std::string& dest : dests) {
        wzlog::ScopedCapture capture;
        try {
            make(FSR_OPT_OUT_OF_PLACE, dest);
            ADD_FAILURE() << dest;
        } catch (const ClExceptError& error) {
            EXPECT_EQ(static_cast<unsigned long>(error.getErrCode()), fclitem::kCreateFailed);
        }
        EXPECT_EQ(wzfiles::destinationRoot(), "");
        EXPECT_TRUE(capture->contains(dest)) << dest;
    }
    wzfiles::failNextCalls(wzfiles::FileCall::kMkdir, EACCES, 1);
    wzlog::ScopedCapture capture;
    EXPECT_THROW(make(FSR_OPT_OUT_OF_PLACE, scratch_ / "refused"), ClExceptError);
    wzfiles::clearInjectedFailures();
    EXPECT_TRUE(capture->contains("Cannot create the destination [" + scratch_ / "refused]"));
    EXPECT_EQ(wzfiles::destinationRoot(), "");
}

// The engine deletes a factory after the next may have been made: only the root a factory set is cleared by it.
TEST_F(UnixFactory, FactoryClearsOnlyItsOwnRoot) {
    auto first = make(FSR_OPT_OUT_OF_PLACE, scratch_ / "one");
    auto second = make(FSR_OPT_OUT_OF_PLACE, scratch_ / "two");
    EXPECT_EQ(wzfiles::destinationRoot(), scratch_ / "two");
    first.reset();
    EXPECT_EQ(wzfiles::destinationRoot(), scratch_ / "two");
    second.reset();
    EXPECT_EQ(wzfiles::destinationRoot(), "");
}

TEST_F(UnixFactory, SynchronisedRestoreAnswersFromTheJobsMapper) {
    CSyncRestorePathMapper* mapper = new CSyncRestorePathMapper(77);
    mapper->SetPreserveModifiedFiles(true);
    mapper->SetLastSyncBackupTime(1700000000);
    UserGroupID owner;
    owner.uid = 501;
    owner.gid = 20;
    mapper->SetUserAndGroupIDForPath("", owner);  // the current mapped path of a job before any mapping hit
    job_.SetSyncPathMapper(mapper);

    const struct {
        bool sync;
        bool preserve;
        long long last;
        unsigned int uid;
    } cases[] = {{true, true, 1700000000, 501}, {false, false, 65535, 0}};
    for (const auto& c : cases) {
        companion()._syncRestore = c.sync;
        auto factory = make(0, "");
        EXPECT_EQ(factory->ShouldPreserveModifiedFilesForSync(), c.preserve);
        EXPECT_EQ(factory->GetLastSyncBackupTime(), c.last);
        UserGroupID ids;
        ids.uid = 9;
        wzlog::ScopedCapture capture(40);
        factory->GetCurrentUserAndGroup(&ids);
        EXPECT_EQ(ids.getUID(), c.uid);
        EXPECT_TRUE(capture->contains("Using uid=[" + std::to_string(c.uid) + "] gid=[" +
                                      std::to_string(c.sync ? 20 : 0) + "] for currentMappedPath=[]"));
    }
}

// A synchronised restore whose mapper is not there yet answers as one that is not synchronised.
TEST_F(UnixFactory, SynchronisedRestoreWithoutMapperAnswersTheDefaults) {
    companion()._syncRestore = true;
    auto factory = make(0, "");
    EXPECT_FALSE(factory->ShouldPreserveModifiedFilesForSync());
    EXPECT_EQ(factory->GetLastSyncBackupTime(), 65535);
    factory->GetCurrentUserAndGroup(nullptr);
}

}  // namespace
