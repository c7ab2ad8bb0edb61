// The list file of a PostgreSQL log restore, written from the names the job collected.
#include <sys/stat.h>

#include "platform/settings/PlatformPaths.h"
#include "tests/common/ToolRunner.h"
#include "tests/unit/options/ServiceFixture.h"

namespace {

class PostgresLogList : public fcltest::ServiceFixture {
protected:
    std::string listDir() const { return wzplatform::jobResultsDirectory() + "/WZ_JobResults/2/0/90"; }
};

TEST_F(PostgresLogList, EachNameIsOneLineAndANameWithALineBreakIsLeftOut) {
    ASSERT_EQ(fcltest::runProgram({"mkdir", "-p", listDir()}).status, 0);
    fcltest::writeFile(listDir() + "/postgresLog_90", "left over from before\n");
    unix_._restoredLogFiles = {"/pg/wal/1", "/pg/wal/two\nlines", "/pg/wal/3\r", "/pg/wal/4"};
    wzlog::ScopedCapture log;
    EXPECT_EQ(unix_.copyLogFilesList(90), 0);
    EXPECT_EQ(fcltest::readFile(listDir() + "/postgresLog_90"), "/pg/wal/1\n/pg/wal/4\n");
    EXPECT_TRUE(log->contains("Restored log file [/pg/wal/two\\nlines] has a line break in its name"));
    EXPECT_TRUE(log->contains("Restored log file [/pg/wal/3\\r] has a line break in its name"));
    EXPECT_TRUE(log->contains("Opening [" + listDir() + "/postgresLog_90] to write name of files restored"));
    // The job's list is kept.
    EXPECT_EQ(unix_._restoredLogFiles.size(), 4u);
}

TEST_F(PostgresLogList, AListThatCannotBeOpenedIsAFailure) {
    unix_._restoredLogFiles = {"/pg/wal/1"};
    wzlog::ScopedCapture log;
    EXPECT_EQ(unix_.copyLogFilesList(91), -1);
    EXPECT_TRUE(log->contains("Failed to open file [" + wzplatform::jobResultsDirectory() +
                              "/WZ_JobResults/2/0/91/postgresLog_91] for write. Error:2"));
}

TEST_F(PostgresLogList, AListCutShortByAFullDiskIsAFailure) {
    struct stat st;
    if (stat("/dev/full", &st) != 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    ASSERT_EQ(fcltest::runProgram({"mkdir", "-p", listDir()}).status, 0);
    ASSERT_EQ(symlink("/dev/full", (listDir() + "/postgresLog_90").c_str()), 0);
    unix_._restoredLogFiles = {"/pg/wal/1"};
    wzlog::ScopedCapture log;
    EXPECT_EQ(unix_.copyLogFilesList(90), -1);
    EXPECT_TRUE(log->contains("Failed to write file ["));
}

}  // namespace
