// The record a job leaves beside its results for --restart: read back as written whatever its names hold, refused
// when it is not whole, and found again for a destination.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/common/TestSupport.h"
#include "tools/fcl-restore/JobRecord.h"

namespace {

using fclhost::JobRecord;
using fclhost::JobState;

JobRecord sample() {
    JobRecord record;
    record.jobId = 1796937755491;
    record.zendrelNumber = 2;
    record.started = {1796937755, 123456789};
    record.mediaDir = "/media/with = sign";
    record.destDir = "/dest/tab\there/new\nline/back\\slash";
    record.paths = {"/a", "/b c/\n", "/d=e"};
    record.stripLevel = 3;
    record.overwrite = true;
    record.noSparse = true;
    record.mapFile = "/maps/one.txt";
    record.state = JobState::Failed;
    return record;
}

void expectSame(const JobRecord& a, const JobRecord& b) {
    EXPECT_EQ(a.jobId, b.jobId);
    EXPECT_EQ(a.zendrelNumber, b.zendrelNumber);
    EXPECT_EQ(a.started.tv_sec, b.started.tv_sec);
    EXPECT_EQ(a.started.tv_nsec, b.started.tv_nsec);
    EXPECT_EQ(a.mediaDir, b.mediaDir);
    EXPECT_EQ(a.destDir, b.destDir);
    EXPECT_EQ(a.paths, b.paths);
    EXPECT_EQ(a.stripLevel, b.stripLevel);
    EXPECT_EQ(a.overwrite, b.overwrite);
    EXPECT_EQ(a.noSparse, b.noSparse);
    EXPECT_EQ(a.mapFile, b.mapFile);
    EXPECT_EQ(a.state, b.state);
}

TEST(JobRecord, ReadsBackWhatWasWrittenAndTheLastWriteWins) {
    fcltest::ScratchDir results("jobrecord");
    JobRecord first = sample();
    first.state = JobState::Running;
    first.paths.clear();
    first.mapFile = "";
    std::string why;
    ASSERT_TRUE(fclhost::writeJobRecord(results.path(), first, &why)) << why;
    JobRecord read;
    ASSERT_TRUE(fclhost::readJobRecord(results.path(), &read, &why)) << why;
    expectSame(read, first);

    JobRecord second = sample();
    ASSERT_TRUE(fclhost::writeJobRecord(results.path(), second, &why)) << why;
    ASSERT_TRUE(fclhost::readJobRecord(results.path(), &read, &why)) << why;
    expectSame(read, second);
    struct stat st;
    EXPECT_NE(stat((fclhost::jobRecordPath(results.path()) + ".new").c_str(), &st), 0) << "no half-written file left";
    ASSERT_EQ(stat(fclhost::jobRecordPath(results.path()).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << "the record is the user's own";
}

TEST(JobRecord, ARecordThatIsNotWholeIsNoJobToResume) {
    fcltest::ScratchDir results("jobrecord");
    std::string why;
    JobRecord read;
    EXPECT_FALSE(fclhost::readJobRecord(results.path(), &read, &why));
    EXPECT_NE(why.find("no job to resume in " + results.path()), std::string::npos) << why;

    const std::string whole =
        "job id=5\nzendrel=2\nstarted=10.000000001\nmedia=/m\ndest=/d\nstrip=0\noverwrite=0\nno sparse=0\nmap=\n"
        "state=running\n";
    fcltest::writeFile(fclhost::jobRecordPath(results.path()), whole);
    ASSERT_TRUE(fclhost::readJobRecord(results.path(), &read, &why)) << why;
    EXPECT_EQ(read.jobId, 5);
    EXPECT_EQ(read.started.tv_nsec, 1);

    struct Broken {
        const char* what;
        std::string from;
        std::string to;
    };
    const Broken broken[] = {
        {"cut before its state", "state=running\n", ""},
        {"a job id that is no number", "job id=5", "job id=-5"},
        {"a job id past 64 bits", "job id=5", "job id=99999999999999999999"},
        {"a start without nanoseconds", "started=10.000000001", "started=10"},
        {"an unknown state", "state=running", "state=paused"},
        {"a flag that is not 0 or 1", "overwrite=0", "overwrite=yes"},
        {"no destination", "dest=/d\n", ""},
        {"an empty media directory", "media=/m", "media="},
        {"a bad escape", "map=", "map=\\q"},
        {"a line without '='", "strip=0", "strip 0"},
    };
    for (const Broken& b : broken) {
        std::string text = whole;
        text.replace(text.find(b.from), b.from.size(), b.to);
        fcltest::writeFile(fclhost::jobRecordPath(results.path()), text);
        EXPECT_FALSE(fclhost::readJobRecord(results.path(), &read, &why)) << b.what;
        EXPECT_NE(why.find("is not a whole job record"), std::string::npos) << b.what << ": " << why;
    }
}

TEST(JobRecord, TheJobToResumeIsTheLastOneOfItsMediaAndDestinationThatDidNotSucceed) {
    fcltest::ScratchDir base("jobrecord");
    struct Job {
        const char* folder;
        const char* media;
        const char* dest;
        time_t started;
        JobState state;
    };
    const Job jobs[] = {
        {"old-cut", "/m", "/d", 100, JobState::Running},     {"newer-cut", "/m", "/d", 300, JobState::Running},
        {"newer-failed", "/m", "/d", 200, JobState::Failed}, {"newest-succeeded", "/m", "/d", 400, JobState::Succeeded},
        {"other-dest", "/m", "/d2", 500, JobState::Running}, {"other-media", "/m2", "/d", 600, JobState::Running},
    };
    for (const Job& job : jobs) {
        ASSERT_EQ(mkdir((base / job.folder).c_str(), 0700), 0);
        JobRecord record;
        record.jobId = 1;
        record.zendrelNumber = 2;
        record.started = {job.started, 0};
        record.mediaDir = job.media;
        record.destDir = job.dest;
        record.state = job.state;
        std::string why;
        ASSERT_TRUE(fclhost::writeJobRecord(base / job.folder, record, &why)) << why;
    }
    ASSERT_EQ(mkdir((base / "not-a-job").c_str(), 0700), 0);
    fcltest::writeFile(base / "not-a-job/job.record", "junk");
    EXPECT_EQ(fclhost::findResumableJob(base.path(), "/m", "/d"), base / "newer-cut");
    EXPECT_EQ(fclhost::findResumableJob(base.path(), "/m", "/d2"), base / "other-dest");
    EXPECT_EQ(fclhost::findResumableJob(base.path(), "/m", "/d3"), "");
    EXPECT_EQ(fclhost::findResumableJob(base / "missing", "/m", "/d"), "");
    // The last job of all, whatever became of it.
    EXPECT_EQ(fclhost::findLastJob(base.path(), "/m", "/d"), base / "newest-succeeded");
    EXPECT_EQ(fclhost::findLastJob(base.path(), "/m", "/d2"), base / "other-dest");
    EXPECT_EQ(fclhost::findLastJob(base.path(), "/m", "/d3"), "");
}

}  // namespace
