// Database jobs driven by the FIR over a real session: a PostgreSQL log restore lists what it restored, a MySQL
// restore fetches the metadata of the newest backup job from the index first, and a revert restores the archive's
// snapshots in place of its data.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "platform/events/EvEvent.h"
#include "platform/index/IndexFiles.h"
#include "platform/settings/PlatformPaths.h"
#include "platform/snapshots/VolumeSnaps.h"
#include "protocol/FsrMessages.h"
#include "tests/common/ToolRunner.h"
#include "tests/unit/engine/PipelineFixture.h"

namespace jobtest {
namespace {

constexpr unsigned long kMySql = 0x68;
constexpr unsigned long kPostgres = 0x7d;
constexpr int64_t kJobId = 4711;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class DatabaseJob : public PipelineFixture {
protected:
    DatabaseJob() : source_(scratch_ / "db") { EXPECT_EQ(mkdir(source_.c_str(), 0755), 0); }

    // Packs the files named (each holding its name) under the source directory.
    void packFiles(const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            fcltest::writeFile(source_ + "/" + name, "contents of " + name);
        }
        ASSERT_EQ(packTree(source_, media_), 0);
    }
    // A job that fails leaves the FIR waiting for answers that never come: `waitMs` bounds each wait.
    fir::FirJobResult run(unsigned long appType, unsigned long extraOptions = 0, int waitMs = 30000) {
        FclRestore* job = makeJob();
        fir::FirJobOptions options;
        options.mediaDir = media_;
        options.destDir = dest_;
        options.jobId = kJobId;
        options.appType = appType;
        options.extraOptions = extraOptions;
        options.waitMs = waitMs;
        return runHostedJob(*job, engineEnd_.get(), *fir_, options);
    }
    // Each file of the source restored with its contents under `restored`.
    void expectRestored(const std::string& restored, const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            EXPECT_EQ(fcltest::readFile(restored + "/" + name), "contents of " + name) << name;
        }
    }
    // Where the source lands: under the destination, less the first component for a PostgreSQL job.
    std::string restored() const { return dest_ + source_; }
    std::string restoredPostgres() const { return dest_ + source_.substr(source_.find('/', 1)); }

    std::string source_;
};

TEST_F(DatabaseJob, APostgresLogRestoreListsEachRestoredLogFileOnItsOwnLine) {
    const std::vector<std::string> logs = {"000000010000000000000001", "000000010000000000000002",
                                           "000000010000000000000003"};
    std::vector<std::string> all = logs;
    all.push_back("two\nlines");
    packFiles(all);
    // A revert asked of a log restore is not done: the logs are restored as usual.
    fcltest::writeFile(settingsPath_, "[RestoreTask]\n0x8e66a87 = true\n[VolumeSnaps]\nsnap = 4711,1,2,0\n");
    const std::string listDir = wzplatform::jobResultsDirectory() + "/WZ_JobResults/2/0/4711";
    ASSERT_EQ(fcltest::runProgram({"mkdir", "-p", listDir}).status, 0);

    EXPECT_EQ(inChild([&] {
                  wzlog::ScopedCapture log;
                  fir::FirJobResult result = run(kPostgres, FSR_OPT_PG_LOG_RESTORE);
                  EXPECT_EQ(result.outcome, fir::FirOutcome::Succeeded) << result.reason;
                  expectRestored(restoredPostgres(), all);
                  EXPECT_TRUE(wzsnaps::reverts().empty());
                  EXPECT_TRUE(log->contains("PostgreSQL Log Restore job"));
                  EXPECT_TRUE(log->contains("has a line break in its name: it is left out of the list"));
                  destroyJob();
              }),
              0);
    const std::string list = fcltest::readFile(listDir + "/postgresLog_4711");
    // Every item restored, its directory too, but the name that would read as two.
    std::vector<std::string> expected = {restoredPostgres() + "/"};
    for (const std::string& name : logs) {
        expected.push_back(restoredPostgres() + "/" + name);
    }
    std::vector<std::string> lines = linesOf(list);
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, expected) << list;
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 4) << list;
    EXPECT_EQ(list.back(), '\n');
}

TEST_F(DatabaseJob, AMySqlRestoreKeepsTheNewestMetadataPairAndLogsNoPassword) {
    const std::string index = scratch_ / "index";
    const std::string staging = scratch_ / "staging/mysql";
    ASSERT_EQ(mkdir(index.c_str(), 0755), 0);
    for (const char* job : {"5", "7", "3"}) {
        fcltest::writeFile(index + "/wz_master_" + job + ".info", std::string("password=secret-of-job-") + job);
        fcltest::writeFile(index + "/wz_my_" + job + ".cnf", std::string("[mysqld]\nport=") + job);
    }
    fcltest::writeFile(index + "/unrelated.txt", "not metadata");
    fcltest::writeFile(settingsPath_,
                       "[RestoreTask]\ntoTime = 1700000000\ndestinationInstanceId = 0\n"
                       "0x127c15c8 = 1\n0x86f6b98 = " +
                           staging + "\n[IndexFetch]\nsource = " + index + "\n");
    const std::vector<std::string> files = {"ibdata1", "t1.ibd", "t2.ibd"};
    packFiles(files);

    EXPECT_EQ(inChild([&] {
                  wzlog::ScopedCapture log;
                  fir::FirJobResult result = run(kMySql);
                  EXPECT_EQ(result.outcome, fir::FirOutcome::Succeeded) << result.reason;
                  expectRestored(restored(), files);
                  // Every item of the job found the metadata at hand: one fetch, browsed at the task's time.
                  const std::vector<wzindex::IndexFetch> fetches = wzindex::indexFetches();
                  ASSERT_EQ(fetches.size(), 1u);
                  EXPECT_EQ(fetches[0].toTime, 1700000000u);
                  EXPECT_EQ(fetches[0].browseMode, 2u);
                  EXPECT_EQ(fetches[0].directory, staging);
                  EXPECT_EQ(fetches[0].patterns, (std::vector<std::string>{"wz_master_*.info", "wz_my_*"}));
                  EXPECT_TRUE(log->contains("**** masterInfo = [" + staging + "/wz_master_7.info] (24 bytes)"));
                  EXPECT_TRUE(log->contains("**** cnfInfo = [[mysqld]\nport=7]"));
                  EXPECT_FALSE(log->contains("secret-of-job"));
                  destroyJob();
              }),
              0);
    EXPECT_EQ(fcltest::entryNames(staging), (std::vector<std::string>{"wz_master_7.info", "wz_my_7.cnf"}));
}

TEST_F(DatabaseJob, AMySqlRestoreWithoutItsMetadataStopsBeforeRestoringAnything) {
    const std::string staging = scratch_ / "staging";
    // The index has no files for the job: the fetch finds no master file to read.
    ASSERT_EQ(mkdir((scratch_ / "empty-index").c_str(), 0755), 0);
    fcltest::writeFile(settingsPath_,
                       "[RestoreTask]\ntoTime = 0\ndestinationInstanceId = 0\n0x127c15c8 = 1\n"
                       "0x86f6b98 = " +
                           staging + "\n[IndexFetch]\nsource = " + (scratch_ / "empty-index") + "\n");
    packFiles({"ibdata1"});

    EXPECT_EQ(inChild([&] {
                  wzlog::ScopedCapture log;
                  fir::FirJobResult result = run(kMySql, 0, 3000);
                  EXPECT_NE(result.outcome, fir::FirOutcome::Succeeded);
                  EXPECT_TRUE(log->contains("opening [" + staging + "/wz_master_.info] file got error:2"));
                  EXPECT_TRUE(log->contains("FetchMySqlIndexMetadata failed.i Fatal error"));
                  struct stat st;
                  EXPECT_NE(lstat((restored() + "/ibdata1").c_str(), &st), 0);
                  destroyJob();
              }),
              0);
}

struct RevertCase {
    const char* name;
    int64_t jobId;
    const char* snaps;  // [VolumeSnaps] lines
    bool reverted;
};

class Revert : public DatabaseJob, public ::testing::WithParamInterface<RevertCase> {};

TEST_P(Revert, TheArchivesOwnSnapshotsAreRevertedOrTheJobFails) {
    const RevertCase& c = GetParam();
    fcltest::writeFile(settingsPath_, std::string("[RestoreTask]\n0x8e66a87 = true\n[VolumeSnaps]\n") + c.snaps);
    packFiles({"ibdata1", "t1.ibd"});

    EXPECT_EQ(inChild([&] {
                  wzlog::ScopedCapture log;
                  FclRestore* job = makeJob();
                  fir::FirJobOptions options;
                  options.mediaDir = media_;
                  options.destDir = dest_;
                  options.jobId = c.jobId;
                  options.appType = kMySql;
                  options.waitMs = c.reverted ? 30000 : 3000;
                  options.countItemResults = false;
                  fir::FirJobResult result = runHostedJob(*job, engineEnd_.get(), *fir_, options);
                  const std::vector<SMVolSnapInfo> reverts = wzsnaps::reverts();
                  bool eventRaised = false;
                  for (const EvRaisedEvent& event : wzplatform::raisedEvents()) {
                      eventRaised = eventRaised || event.messageId == 0x17000075;
                  }
                  if (c.reverted) {
                      EXPECT_EQ(result.outcome, fir::FirOutcome::Succeeded) << result.reason;
                      EXPECT_EQ(result.archivesOpened, std::vector<uint64_t>{1});
                      ASSERT_EQ(reverts.size(), 1u);
                      EXPECT_EQ(reverts[0].jobId(), 4711);
                      EXPECT_EQ(reverts[0].archFileId(), 1);
                      EXPECT_EQ(reverts[0].zendrelId(), 2);
                      EXPECT_EQ(reverts[0].retrieveValidFlags(), 0x1e);
                      EXPECT_TRUE(log->contains("Revert success"));
                      EXPECT_FALSE(eventRaised);
                  } else {
                      EXPECT_NE(result.outcome, fir::FirOutcome::Succeeded);
                      EXPECT_TRUE(reverts.empty());
                      EXPECT_TRUE(log->contains("Failure in doing revert check OR Operation."));
                      EXPECT_TRUE(eventRaised);
                  }
                  // A revert never restores the archive's data.
                  EXPECT_TRUE(fcltest::entryNames(dest_).empty());
                  destroyJob();
              }),
              0);
}

INSTANTIATE_TEST_SUITE_P(Snapshots, Revert,
                         ::testing::Values(RevertCase{"Found", kJobId, "snap = 4711,1,2,0\n", true},
                                           RevertCase{"OfAnotherArchiveOnly", kJobId, "snap = 4711,2,2,0\n", false},
                                           // Cut to 32 bits the job id would be 4711, whose snapshots are there.
                                           RevertCase{"JobIdBeyondTheClientsWidth", (int64_t{1} << 32) + kJobId,
                                                      "snap = 4711,1,2,0\n", false}),
                         [](const ::testing::TestParamInfo<RevertCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace jobtest
