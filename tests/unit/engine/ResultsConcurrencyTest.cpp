// Results recorded by the reader and the message thread at once: the statistics book each item with its own sizes,
// and the raw file ends while the reader may still write to it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>

#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "tests/unit/engine/ParamsFixture.h"

namespace jobtest {
namespace {

// On FSR_MSG_RESTART_INFO the message thread settles `count` items of 7 bytes each, as the seek handlers do for
// items that need no restore.
class SettlingJob : public ParamsJob {
public:
    bool OnMsgRestartInfo() override {
        for (int i = 0; i < count; ++i) {
            UpdateStatistics("/src/settled", 0, 7, 3, nullptr);
        }
        std::lock_guard<std::mutex> lock(m_);
        done_ = true;
        changed_.notify_all();
        return true;
    }
    bool waitSettled(int ms) {
        std::unique_lock<std::mutex> lock(m_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return done_; });
    }
    int count = 1;

private:
    std::mutex m_;
    std::condition_variable changed_;
    bool done_ = false;
};

class ResultsConcurrencyTest : public ParamsFixture {};

// An item settled on the message thread books its own sizes; the reader's file in progress keeps its bytes and is
// booked once, when the reader records it.
TEST_F(ResultsConcurrencyTest, MessageThreadItemsDoNotTakeTheReadersBytes) {
    EXPECT_EQ(inChild([&] {
                  SettlingJob* job = startParamsJob<SettlingJob>();
                  EXPECT_TRUE(setParams({"/dest", FSR_OPT_REPORT_PROGRESS, 1}));
                  giveFactory(FSR_OPT_REPORT_PROGRESS);
                  // The reader is 1000 bytes into its file.
                  job->_currFileSize = 1000;
                  job->_currFileCompSize = 400;
                  job->_statistics->setCurrFileSize(1000);
                  job->_statistics->setCurrFileCompSize(400);

                  fir_->send(FSR_MSG_RESTART_INFO);
                  ASSERT_TRUE(job->waitSettled(10000));
                  EXPECT_EQ(job->_statistics->getNumBytesSucceeded(), 7u);
                  EXPECT_EQ(job->_statistics->getNumCompBytesSucceeded(), 3u);
                  EXPECT_EQ(job->_statistics->getCurrFileSize(), 1000u);
                  EXPECT_EQ(job->_statistics->getCurrFileCompSize(), 400u);

                  NamedObject object(" DATA");
                  job->HandleRestoreFileUpdate("/src/read", 0, &object, "");
                  EXPECT_EQ(job->_statistics->getNumFilesSucceeded(), 2u);
                  EXPECT_EQ(job->_statistics->getNumBytesSucceeded(), 1007u);
                  EXPECT_EQ(job->_statistics->getNumCompBytesSucceeded(), 403u);
                  EXPECT_EQ(job->_statistics->getNumBytes(), 1007u);
                  finishJob();
              }),
              0);
}

TEST_F(ResultsConcurrencyTest, TotalsAgreeWhenBothThreadsRecord) {
    EXPECT_EQ(inChild([&] {
                  const int kItems = 3000;
                  SettlingJob* job = startParamsJob<SettlingJob>();
                  job->count = kItems;
                  EXPECT_TRUE(setParams({"/dest", FSR_OPT_REPORT_PROGRESS, 1}));
                  giveFactory(FSR_OPT_REPORT_PROGRESS);
                  job->_statistics->SetTimeIntervalToUpdate(0);
                  fir_->send(FSR_MSG_RESTART_INFO);
                  // This thread plays the reader: each of its items is 10 bytes.
                  for (int i = 0; i < kItems; ++i) {
                      job->_currFileSize = 10;
                      job->_statistics->setCurrFileSize(10);
                      job->HandleRestoreFileUpdate("/src/read", i % 2 == 0 ? 0 : 0x1700003e, nullptr, "");
                  }
                  ASSERT_TRUE(job->waitSettled(60000));
                  const FsRestoreStatistics& s = *job->_statistics;
                  EXPECT_EQ(s.getNumFilesSucceeded(), static_cast<unsigned long long>(kItems + kItems / 2));
                  EXPECT_EQ(s.getNumFilesFailed(), static_cast<unsigned long long>(kItems / 2));
                  EXPECT_EQ(s.getNumBytesSucceeded(), 7ull * kItems + 10ull * (kItems / 2));
                  EXPECT_EQ(s.getNumBytesFailed(), 10ull * (kItems / 2));
                  EXPECT_EQ(s.getNumBytes(), 17ull * kItems);
                  EXPECT_EQ(s.getCurrFileNum(), 2ull * kItems);
                  // Every item is one whole line.
                  EXPECT_EQ(resultLines().size(), 1u + 2 * kItems);
                  finishJob();
              }),
              0);
}

// The restore end closes the raw file under the results lock: a reader still recording either writes its whole line
// before the end line or finds no file.
TEST_F(ResultsConcurrencyTest, RawFileEndsSafelyWhileTheReaderRecords) {
    EXPECT_EQ(inChild([&] {
                  ParamsJob* job = startParamsJob();
                  job->_initData->appType = 5;
                  EXPECT_TRUE(setParams({"/dest", FSR_OPT_REPORT_PROGRESS, 1}));
                  giveFactory(FSR_OPT_REPORT_PROGRESS);
                  std::atomic<int> recorded{0};
                  std::atomic<bool> stop{false};
                  std::thread reader([&] {
                      while (!stop) {
                          job->HandleRestoreFileUpdate("/db/item", 0, nullptr, "");
                          ++recorded;
                      }
                  });
                  while (recorded < 200) {
                      std::this_thread::yield();
                  }
                  job->endResults();
                  const int atEnd = recorded;
                  while (recorded < atEnd + 200) {
                      std::this_thread::yield();
                  }
                  stop = true;
                  reader.join();

                  std::istringstream in(fcltest::readFile(scratch_ / "results/0/4711/restore.out"));
                  std::vector<std::string> lines;
                  for (std::string line; std::getline(in, line);) {
                      lines.push_back(line);
                  }
                  ASSERT_GE(lines.size(), 202u);
                  EXPECT_EQ(lines.front(), "BeginIndexedRestore pid:" + std::to_string(getpid()));
                  EXPECT_EQ(lines.back(), "EndRestoreByJob pid:" + std::to_string(getpid()) + " MediaGrpId");
                  for (size_t i = 1; i + 1 < lines.size(); ++i) {
                      EXPECT_EQ(lines[i], "/db/item  5");
                  }
                  EXPECT_LE(lines.size(), static_cast<size_t>(atEnd) + 3);
                  EXPECT_EQ(job->_statistics->getNumFilesSucceeded(), static_cast<unsigned long long>(recorded));
                  finishJob();
              }),
              0);
}

}  // namespace
}  // namespace jobtest
