// What the FIR hears of the job's progress: the current item, then the counters, when the recorder finds a report
// due, with the total only in the first report and the final flag only at the end.
#include <gtest/gtest.h>

#include <cstring>

#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/events/Journal.h"
#include "tests/unit/engine/ParamsFixture.h"

namespace jobtest {
namespace {

// A name of `length` characters whose every position is told apart.
std::string patternName(size_t length) {
    std::string name(length, 'x');
    for (size_t i = 0; i < length; ++i) {
        name[i] = static_cast<char>('a' + (i * 7) % 26);
    }
    return name;
}

class ProgressTest : public ParamsFixture {
protected:
    // These tests read the engine's reports message by message.
    ProgressTest() { firKeep_.all = true; }
    // Everything the FIR received since start-up's answer, up to a sentinel the job sends now (once per test).
    std::vector<fir::FirMessage> receivedSoFar() {
        job_->sendMsgToFIR(FSR_MSG_REBOOT_REQUIRED);
        EXPECT_TRUE(fir_->waitFor({FSR_MSG_REBOOT_REQUIRED}, 10000));
        std::vector<fir::FirMessage> before;
        for (const fir::FirMessage& m : fir_->received()) {
            if (m.code == FSR_MSG_REBOOT_REQUIRED) {
                break;
            }
            if (m.code != FSR_MSG_SUCCESS) {
                before.push_back(m);
            }
        }
        return before;
    }
    std::vector<fir::FirMessage> reportsSoFar() {
        std::vector<fir::FirMessage> reports;
        for (const fir::FirMessage& m : receivedSoFar()) {
            if (m.code == FSR_MSG_PROGRESS_REPORT_5_9) {
                reports.push_back(m);
            }
        }
        return reports;
    }
};

struct NameCase {
    size_t length;  // characters before the first NUL of the header's name field; 1028: none in it
    bool whole;
};

const NameCase kNameCases[] = {{1, true}, {1023, true}, {1024, false}, {1027, false}, {1028, false}};

TEST_F(ProgressTest, ItemNameLongerThanTheRecordKeepsItsStartAndEnd) {
    EXPECT_EQ(inChild([&] {
                  ParamsJob* job = startParamsJob();
                  giveFactory(FSR_OPT_REPORT_PROGRESS)->setErrCode(0x17000040);
                  for (const NameCase& c : kNameCases) {
                      SCOPED_TRACE(c.length);
                      const std::string name = patternName(c.length);
                      CXFileHeader header;
                      memset(header.h_filename, 0, sizeof header.h_filename);
                      memcpy(header.h_filename, name.data(), name.size());
                      header.h_mode = 040755;
                      header.h_mtime = 1700000000;
                      header.h_size = 5ull << 32;
                      job->sendRestoreItem(&header);
                      job->updateRestoreProgress(0);
                      fir::FirMessage item;
                      ASSERT_TRUE(fir_->waitFor({FSR_MSG_RESTORE_ITEM}, 10000, &item));
                      const std::string expected =
                          c.whole ? name : name.substr(0, 508) + "..." + name.substr(name.size() - 508);
                      EXPECT_EQ(item.item->name.text, expected);
                      EXPECT_EQ(item.item->record.dirFlag, 0x4000u);
                      EXPECT_EQ(item.item->record.mtime, 1700000000u);
                      EXPECT_EQ(item.item->record.size, 5ull << 32);
                      EXPECT_EQ(item.item->record.reserved4, 1u);
                      EXPECT_EQ(item.item->record.errCode, 0x17000040u);
                      // The counters follow the item at once.
                      fir::FirMessage next;
                      ASSERT_TRUE(fir_->next(&next, 10000));
                      EXPECT_EQ(next.code, static_cast<unsigned long>(FSR_MSG_PROGRESS_REPORT_5_9));
                  }
                  finishJob();
              }),
              0);
}

TEST_F(ProgressTest, OnlyTheFirstReportCarriesTheTotalAndOnlyTheLastIsFinal) {
    EXPECT_EQ(inChild([&] {
                  InitDataPlan plan;
                  plan.numFiles = 1ull << 40;
                  ParamsJob* job = startParamsJob(plan);
                  job->_initData->archiveSequence = 99;
                  job->updateRestoreProgress(0);
                  job->updateRestoreProgress(0);
                  job->updateRestoreProgress(1);
                  std::vector<fir::FirMessage> reports = reportsSoFar();
                  ASSERT_EQ(reports.size(), 3u);
                  const unsigned long long totals[] = {1ull << 40, 0, 0};
                  for (size_t i = 0; i < 3; ++i) {
                      const FSRProgressReport_5_9& r = reports[i].progress->record.progress;
                      EXPECT_EQ(r.totalFiles, totals[i]);
                      EXPECT_EQ(r.final, i == 2 ? 1 : 0);
                      EXPECT_EQ(r.jobToken, 99u);
                      EXPECT_EQ(r.jobId, 4711u);
                      EXPECT_EQ(reports[i].progress->subclientName.text, "default");
                  }
                  finishJob();
              }),
              0);
}

// Counters beyond 32 bits go whole; the bytes include the part of the file in progress written so far.
TEST_F(ProgressTest, ByteCountersIncludeTheFileInProgress) {
    EXPECT_EQ(inChild([&] {
                  ParamsJob* job = startParamsJob();
                  FsRestoreStatistics& s = *job->_statistics;
                  s.setCurrFileSize(5ull << 32);
                  s.setCurrFileCompSize(1ull << 32);
                  s.fileSucceeded();
                  s.fileSkipped();
                  s.fileFailed();
                  s.fileFailed();
                  s.setCurrFileSize(3ull << 32);
                  s.setCurrFileCompSize(7);
                  job->updateRestoreProgress(0);
                  std::vector<fir::FirMessage> reports = reportsSoFar();
                  ASSERT_EQ(reports.size(), 1u);
                  const FSRProgressReport_5_9& r = reports[0].progress->record.progress;
                  EXPECT_EQ(r.bytesSucceeded, 8ull << 32);
                  EXPECT_EQ(r.compBytesSucceeded, (1ull << 32) + 7);
                  EXPECT_EQ(r.filesSucceeded, 1u);
                  EXPECT_EQ(r.filesSkipped, 1u);
                  EXPECT_EQ(r.filesFailed, 2u);
                  finishJob();
              }),
              0);
}

TEST_F(ProgressTest, DistributedRestoreNamesTheConsumer) {
    EXPECT_EQ(inChild([&] {
                  ParamsJob* job = startParamsJob();
                  job->_fclRestoreUnix->_distributedRestore = true;
                  job->_initData->archiveSequence = 99;
                  CXFileHeader header;
                  strcpy(header.h_filename, "/data/file");
                  job->sendRestoreItem(&header);
                  job->updateRestoreProgress(0);
                  std::vector<fir::FirMessage> messages = receivedSoFar();
                  ASSERT_EQ(messages.size(), 2u);
                  EXPECT_EQ(messages[0].item->name.text, "0|/data/file");
                  EXPECT_EQ(messages[1].progress->record.progress.jobToken, 0u);
                  finishJob();
              }),
              0);
}

struct IntervalCase {
    const char* name;
    int seconds;
    size_t reports;  // for four items
};

// The first item finds a report due (the last report time is the epoch); after it the interval decides.
const IntervalCase kIntervalCases[] = {{"five minutes", 300, 1}, {"every item", 0, 4}};

TEST_F(ProgressTest, RecorderReportsWhenTheIntervalIsDue) {
    for (const IntervalCase& c : kIntervalCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inChild([&] {
                      ParamsJob* job = startParamsJob();
                      EXPECT_TRUE(setParams({"/dest", FSR_OPT_REPORT_PROGRESS, 1}));
                      giveFactory(FSR_OPT_REPORT_PROGRESS);
                      job->_statistics->SetTimeIntervalToUpdate(c.seconds);
                      for (int i = 0; i < 4; ++i) {
                          job->HandleRestoreFileUpdate("/src/item", 0, nullptr, "");
                      }
                      std::vector<fir::FirMessage> reports = reportsSoFar();
                      ASSERT_EQ(reports.size(), c.reports);
                      EXPECT_EQ(reports.back().progress->record.progress.filesSucceeded, c.reports == 1 ? 1u : 4u);
                      finishJob();
                  }),
                  0);
    }
}

// After a report the percent done is remembered, unless the job sends no restore items.
TEST_F(ProgressTest, ReportRemembersThePercentDone) {
    for (bool noRestoreItem : {false, true}) {
        SCOPED_TRACE(noRestoreItem ? "no restore items" : "restore items");
        EXPECT_EQ(inChild([&] {
                      ParamsJob* job = startParamsJob();
                      giveFactory(noRestoreItem ? static_cast<unsigned long>(FSR_OPT_NO_RESTORE_ITEM) : 0);
                      job->_statistics->fileSucceeded();
                      ASSERT_TRUE(job->_statistics->timeToUpdateByFiles());
                      job->updateRestoreProgress(0);
                      EXPECT_EQ(job->_statistics->timeToUpdateByFiles(), noRestoreItem);
                      finishJob();
                  }),
                  0);
    }
}

TEST_F(ProgressTest, BlockLevelLiveRestoreApproximatesTheJobsProgress) {
    EXPECT_EQ(inChild([&] {
                  ParamsJob* job = startParamsJob();
                  job->_fclRestoreUnix->_fsBlockLevelLiveRestore = true;
                  job->_statistics->fileSucceeded();
                  job->_statistics->fileFailed();
                  job->updateRestoreProgress(0);
                  job->updateRestoreProgress(1);
                  std::vector<fir::FirMessage> reports = reportsSoFar();
                  ASSERT_EQ(reports.size(), 2u);
                  EXPECT_EQ(reports[0].progress->record.progress.totalFiles, 0u);
                  EXPECT_EQ(reports[1].progress->record.progress.totalFiles, 2u);
                  std::vector<std::string> progress;
                  for (const std::string& line : wzplatform::journalLines("jobs")) {
                      if (line.find("progress of job") != std::string::npos) {
                          progress.push_back(line);
                      }
                  }
                  EXPECT_EQ(progress, (std::vector<std::string>{"progress of job 4711 moved on by 20",
                                                                "progress of job 4711 set to 100"}));
                  finishJob();
              }),
              0);
}

// The larger report is the smaller one and five more words.
TEST_F(ProgressTest, LargerReportAddsObjectsAndFilesToRestore) {
    EXPECT_EQ(inChild([&] {
                  InitDataPlan plan;
                  plan.numFiles = 12;
                  ParamsJob* job = startParamsJob(plan);
                  job->_statistics->ObjectProcessed();
                  job->_statistics->ObjectProcessed();
                  job->_statistics->fileSkipped();
                  FSRProgressReport_11_14 report;
                  EXPECT_FALSE(job->PopulateRestoreProgress_11_14(0, report).IsError());
                  EXPECT_EQ(report.progress.totalFiles, 12u);
                  EXPECT_EQ(report.progress.filesSkipped, 1u);
                  EXPECT_EQ(report.objectsProcessed, 2u);
                  EXPECT_EQ(report.filesToRestore, 12u);
                  EXPECT_EQ(job->_throttleProgress, 1);
                  EXPECT_FALSE(job->SendRestoreProgress_11_14(1).IsError());
                  fir::FirMessage larger;
                  ASSERT_TRUE(fir_->waitFor({FSR_MSG_PROGRESS_REPORT_11_14}, 10000, &larger));
                  EXPECT_TRUE(larger.progress->extended);
                  EXPECT_EQ(larger.progress->record.filesToRestore, 12u);
                  EXPECT_EQ(larger.progress->record.progress.final, 1);
                  EXPECT_EQ(larger.progress->record.progress.totalFiles, 0u);
                  finishJob();
              }),
              0);
}

}  // namespace
}  // namespace jobtest
