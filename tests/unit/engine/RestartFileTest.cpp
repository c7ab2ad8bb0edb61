// The restart file: one 1040-byte record (file number, name) per job below the agent directory; a short or unreadable
// record is no restart point; the host's writes come once 1 MiB more was restored.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "clRestore/engine/FsRestoreRestart.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/files/FileCallHooks.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/PlatformPaths.h"
#include "platform/settings/SettingsFile.h"
#include "platform/settings/WZPlatformAgents.h"
#include "tests/common/TestSupport.h"

namespace {

const unsigned long kZendrel = 2;
const long long kJobId = 4711;
const unsigned long long kMiB = 0x100000;

// The record as another program of the same machine writes it: the number in the machine's order at 0, the name at
// 8, 1040 bytes in all.
std::string rawRecord(uint64_t number, const std::string& name, size_t length = sizeof(RestartRecord)) {
    std::string bytes(sizeof(RestartRecord), '\0');
    std::memcpy(&bytes[0], &number, sizeof number);
    std::memcpy(&bytes[8], name.data(), std::min<size_t>(name.size(), 1024));
    bytes.resize(length, 'z');
    return bytes;
}

class RestartFileTest : public ::testing::Test {
public:
    RestartFileTest() : scratch_("fclrestart") {
        wzplatform::setResultsDirectory(scratch_ / "results");
        wzplatform::setSettingsFile(scratch_ / "settings.ini");
    }
    ~RestartFileTest() override {
        wzfiles::clearInjectedFailures();
        WZPI_FileSystemAgent::invalidFaults().clear();
        wzplatform::setSettingsFile("");
    }

    std::string directory(long long jobId = kJobId) const {
        return wzplatform::agentDirectory() + "/RestoreRestart/" + std::to_string(kZendrel) + "/" +
               std::to_string(jobId);
    }
    std::string file(long long jobId = kJobId) const { return directory(jobId) + "/RestartInfo"; }
    void writeRecord(const std::string& bytes, long long jobId = kJobId) {
        ASSERT_TRUE(wzplatform::makeDirectories(directory(jobId)));
        fcltest::writeFile(file(jobId), bytes);
    }
    off_t sizeOf(const std::string& path) const {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
    }

    fcltest::ScratchDir scratch_;
    FsRestoreStatistics stats_{10};
};

TEST_F(RestartFileTest, AFirstRunCreatesAnEmptyFileWithoutARestartPoint) {
    FsRestoreRestart restart;
    ASSERT_EQ(restart.init(kZendrel, kJobId, &stats_), 1);
    struct stat st;
    ASSERT_EQ(::stat(file().c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(restart.getRestartFileNum(), 0u);
    EXPECT_EQ(restart.getRestartFileName(), nullptr);
    EXPECT_EQ(restart.readContents(), 0);

    // Every later call reads again: a record written meanwhile is found.
    fcltest::writeFile(file(), rawRecord(42, "/src/f42"));
    EXPECT_EQ(restart.getRestartFileNum(), 42u);
    EXPECT_STREQ(restart.getRestartFileName(), "/src/f42");
}

TEST_F(RestartFileTest, OnlyAWholeRecordIsARestartPoint) {
    struct Case {
        const char* name;
        size_t length;
        unsigned long number;
    };
    const Case cases[] = {
        {"exact", sizeof(RestartRecord), 77},
        {"longer", sizeof(RestartRecord) + 500, 77},
        {"one byte short", sizeof(RestartRecord) - 1, 0},
        {"number only", 8, 0},
        {"three bytes", 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeRecord(rawRecord(77, "/src/item", c.length));
        wzlog::ScopedCapture log(-1);
        FsRestoreRestart restart;
        ASSERT_EQ(restart.init(kZendrel, kJobId, &stats_), 1);
        EXPECT_EQ(restart.getRestartFileNum(), c.number);
        if (c.number == 0) {
            EXPECT_EQ(restart.getRestartFileName(), nullptr);
            EXPECT_TRUE(log->contains("from reading [1040] bytes, retcode [" + std::to_string(c.length) + "]."));
        } else {
            EXPECT_STREQ(restart.getRestartFileName(), "/src/item");
        }
        EXPECT_EQ(sizeOf(file()), static_cast<off_t>(c.length)) << "reading never truncates";
    }
}

TEST_F(RestartFileTest, TheRecordRoundTripsBetweenRuns) {
    {
        FsRestoreRestart first;
        ASSERT_EQ(first.init(kZendrel, kJobId, &stats_), 1);
        stats_.setCurrFileSize(kMiB);
        stats_.fileSucceeded();
        stats_.fileSucceeded();
        char name[] = "/src/dir/second";
        ASSERT_EQ(first.updateRestartInfo(name), 1);
    }
    const std::string bytes = fcltest::readFile(file());
    ASSERT_EQ(bytes.size(), sizeof(RestartRecord));
    EXPECT_EQ(bytes, rawRecord(2, "/src/dir/second")) << "number at 0 in the machine's order, name at 8, zeros after";

    FsRestoreRestart second;
    ASSERT_EQ(second.init(kZendrel, kJobId, &stats_), 1);
    EXPECT_EQ(second.getRestartFileNum(), 2u);
    EXPECT_STREQ(second.getRestartFileName(), "/src/dir/second");

    FsRestoreRestart otherJob;
    ASSERT_EQ(otherJob.init(kZendrel, kJobId + 1, &stats_), 1);
    EXPECT_EQ(otherJob.getRestartFileNum(), 0u);
}

TEST_F(RestartFileTest, WritesComeOnceAMebibyteMoreWasRestored) {
    FsRestoreRestart restart;
    ASSERT_EQ(restart.init(kZendrel, kJobId, &stats_), 1);
    char name[] = "/src/a";
    stats_.bytesSucceeded(kMiB - 1);
    EXPECT_EQ(restart.updateRestartInfo(name), 1);
    EXPECT_EQ(sizeOf(file()), 0) << "not due: nothing written";

    stats_.bytesSucceeded(1);
    stats_.fileSucceeded();
    ASSERT_EQ(restart.updateRestartInfo(name), 1);
    EXPECT_EQ(fcltest::readFile(file()), rawRecord(1, "/src/a"));

    // Not due again until another MiB: the file keeps what someone else wrote over it.
    fcltest::writeFile(file(), rawRecord(9, "/other"));
    stats_.bytesSucceeded(kMiB - 1);
    char later[] = "/src/b";
    EXPECT_EQ(restart.updateRestartInfo(later), 1);
    EXPECT_EQ(fcltest::readFile(file()), rawRecord(9, "/other"));

    // Always at offset 0, over the old record.
    fcltest::writeFile(file(), rawRecord(9, "/other", sizeof(RestartRecord) + 10));
    stats_.bytesSucceeded(1);
    stats_.fileSucceeded();
    ASSERT_EQ(restart.updateRestartInfo(later), 1);
    EXPECT_EQ(fcltest::readFile(file()).substr(0, sizeof(RestartRecord)), rawRecord(2, "/src/b"));
    EXPECT_EQ(sizeOf(file()), static_cast<off_t>(sizeof(RestartRecord) + 10));
}

TEST_F(RestartFileTest, ALongNameFillsTheFieldWithoutATerminator) {
    FsRestoreRestart restart;
    ASSERT_EQ(restart.init(kZendrel, kJobId, &stats_), 1);
    std::string longName(1500, 'x');
    longName[1023] = 'L';
    stats_.bytesSucceeded(kMiB);
    ASSERT_EQ(restart.updateRestartInfo(&longName[0]), 1);

    FsRestoreRestart reader;
    ASSERT_EQ(reader.init(kZendrel, kJobId, &stats_), 1);
    const char* stored = reader.getRestartFileName();
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(std::string(stored, 1024), longName.substr(0, 1024));
    EXPECT_EQ(strnlen(stored, 1024), 1024u);
}

TEST_F(RestartFileTest, AReadRecordIsNotReadAgain) {
    writeRecord(rawRecord(5, "/five"));
    FsRestoreRestart restart;
    ASSERT_EQ(restart.init(kZendrel, kJobId, &stats_), 1);
    ASSERT_EQ(restart.getRestartFileNum(), 5u);
    fcltest::writeFile(file(), rawRecord(6, "/six"));
    EXPECT_EQ(restart.getRestartFileNum(), 5u);
    EXPECT_STREQ(restart.getRestartFileName(), "/five");
}

TEST_F(RestartFileTest, InitFailsCleanly) {
    struct Case {
        const char* name;
        void (*arm)(RestartFileTest& t);
        const char* logLine;
    };
    const Case cases[] = {
        {"no file-system agent", [](RestartFileTest&) { WZPI_FileSystemAgent::invalidFaults().failNext(1); },
         "when obtaining filesystem agent directory"},
        {"open refused",
         [](RestartFileTest&) { wzfiles::failNextCalls(wzfiles::FileCall::kOpen, EACCES, 1, "RestartInfo"); },
         "Error [13] while creating ["},
        {"a link planted in its place",
         [](RestartFileTest& t) {
             ASSERT_TRUE(wzplatform::makeDirectories(t.directory()));
             fcltest::writeFile(t.scratch_ / "target", "keep");
             ASSERT_EQ(::symlink((t.scratch_ / "target").c_str(), t.file().c_str()), 0);
         },
         "while creating ["},
        {"a path beyond 1031 characters",
         [](RestartFileTest& t) { wzplatform::setResultsDirectory(t.scratch_ / std::string(1040, 'r')); },
         "is longer than 1031"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arm(*this);
        wzlog::ScopedCapture log(-1);
        FsRestoreRestart restart;
        EXPECT_EQ(restart.init(kZendrel, kJobId, &stats_), 0);
        EXPECT_TRUE(log->contains(c.logLine));
        EXPECT_EQ(restart.getRestartFileNum(), 0u);
        EXPECT_EQ(restart.getRestartFileName(), nullptr);
        char name[] = "/x";
        stats_.bytesSucceeded(kMiB);
        EXPECT_EQ(restart.updateRestartInfo(name), 0);
        wzfiles::clearInjectedFailures();
        wzplatform::setResultsDirectory(scratch_ / "results");
    }
    EXPECT_EQ(fcltest::readFile(scratch_ / "target"), "keep");
}

TEST_F(RestartFileTest, WithoutInitNothingIsWritten) {
    FsRestoreRestart restart;
    char name[] = "/x";
    EXPECT_EQ(restart.updateRestartInfo(name), 0);
    EXPECT_EQ(restart.getRestartFileNum(), 0u);
}

}  // namespace
