// Where the results go and what one item's line says: the store or the raw file with their begin and end lines, the
// item suffix, line breaks in names, and the results that cannot be opened or written.
#include <gtest/gtest.h>

#include <unistd.h>

#include <sstream>

#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/events/MessageCatalogue.h"
#include "platform/log/LogWriter.h"
#include "platform/results/StoreResults.h"
#include "tests/unit/engine/ParamsFixture.h"

namespace jobtest {
namespace {

std::string pid() {
    return std::to_string(getpid());
}

std::vector<std::string> linesOf(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(fcltest::readFile(path));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string rawFile(const fcltest::ScratchDir& scratch) {
    return scratch / "results/0/4711/restore.out";
}

std::string failedText(int id) {
    return " [ " + wzplatform::catalogueText(0x17000070) + "  " + wzplatform::catalogueText(id) + "  ] ";
}

class ResultsStoreTest : public ParamsFixture {};

TEST_F(ResultsStoreTest, StoreHasBeginItemsAndEnd) {
    EXPECT_EQ(inChild([&] {
                  ParamsJob* job = startParamsJob();
                  EXPECT_TRUE(setParams({"/dest", FSR_OPT_REPORT_PROGRESS, 1}));
                  giveFactory(FSR_OPT_REPORT_PROGRESS);
                  job->HandleRestoreFileUpdate("/src/a", 0, nullptr, "");
                  job->endResults();
                  EXPECT_EQ(resultLines(), (std::vector<std::string>{"BeginIndexedRestore pid:" + pid(), "/src/a \t5",
                                                                     "EndIndexedRestore pid:" + pid()}));
                  EXPECT_EQ(job->_results->filePath(), scratch_ / "results/0/4711/restore.results");
                  finishJob();
              }),
              0);
}

struct RawCase {
    const char* name;
    unsigned long appType;
    bool distributed;
    const char* begin;
    const char* end;
};

const RawCase kRawCases[] = {
    {"database", 5, false, "BeginIndexedRestore pid:", "EndRestoreByJob pid:%s MediaGrpId"},
    {"distributed", 29, true, "BeginDistributedRestore pid:", "EndDistributedRestore pid:%s"},
};

TEST_F(ResultsStoreTest, DatabaseAndDistributedJobsWriteTheRawFile) {
    for (const RawCase& c : kRawCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inChild([&] {
                      fcltest::removeTree(scratch_ / "results");
                      ParamsJob* job = startParamsJob();
                      job->_initData->appType = c.appType;
                      job->_fclRestoreUnix->_distributedRestore = c.distributed;
                      EXPECT_TRUE(setParams({"/dest", FSR_OPT_REPORT_PROGRESS, 1}));
                      giveFactory(FSR_OPT_REPORT_PROGRESS);
                      EXPECT_EQ(job->_rawResultsMode, 1);
                      job->HandleRestoreFileUpdate("/db/data", 0, nullptr, "");
                      job->HandleRestoreFileUpdate("/db/log", 0x17000040, nullptr, "");
                      // Each item is in the file at once, before the end.
                      EXPECT_EQ(linesOf(rawFile(scratch_)).size(), 3u);
                      job->endResults();
                      EXPECT_EQ(job->_rawResultsFile, nullptr);
                      std::string end = c.end;
                      end.replace(end.find("%s"), 2, pid());
                      EXPECT_EQ(linesOf(rawFile(scratch_)),
                                (std::vector<std::string>{c.begin + pid(), "/db/data  5",
                                                          "/db/log " + failedText(0x17000040) + " 4", end}));
                      // Items after the end find no file and write nothing.
                      job->HandleRestoreFileUpdate("/db/late", 0, nullptr, "");
                      EXPECT_EQ(linesOf(rawFile(scratch_)).size(), 4u);
                      finishJob();
                  }),
                  0);
    }
}

struct OpenFailureCase {
    const char* name;
    unsigned long appType;
};

const OpenFailureCase kOpenFailures[] = {{"store", 29}, {"raw file", 5}};

// Results that cannot be opened are gone for the job: its items are counted and logged, never written.
TEST_F(ResultsStoreTest, ResultsThatCannotBeOpenedAreGoneForTheJob) {
    for (const OpenFailureCase& c : kOpenFailures) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inChild([&] {
                      wzlog::ScopedCapture log;
                      fcltest::removeTree(scratch_ / "results");
                      ParamsJob* job = startParamsJob();
                      job->_initData->appType = c.appType;
                      StoreResults::openFaults().failNext(1, EACCES);
                      EXPECT_TRUE(setParams({"/dest", FSR_OPT_REPORT_PROGRESS, 1}));
                      giveFactory(FSR_OPT_REPORT_PROGRESS);
                      EXPECT_TRUE(log->contains("Could not open file for restore results"));
                      EXPECT_EQ(job->_results, nullptr);
                      EXPECT_EQ(job->_rawResultsFile, nullptr);
                      job->HandleRestoreFileUpdate("/src/a", 0, nullptr, "");
                      EXPECT_EQ(job->_statistics->getNumFilesSucceeded(), 1u);
                      EXPECT_TRUE(log->contains("Restore /src/a(), ToBeCounted=1"));
                      EXPECT_NE(access(rawFile(scratch_).c_str(), F_OK), 0);
                      EXPECT_NE(access((scratch_ / "results/0/4711/restore.results").c_str(), F_OK), 0);
                      job->endResults();
                      finishJob();
                  }),
                  0);
    }
}

TEST_F(ResultsStoreTest, LineThatCannotBeStoredIsStillCounted) {
    EXPECT_EQ(
        inChild([&] {
            wzlog::ScopedCapture log;
            ParamsJob* job = startParamsJob();
            EXPECT_TRUE(setParams({"/dest", FSR_OPT_REPORT_PROGRESS, 1}));
            giveFactory(FSR_OPT_REPORT_PROGRESS);
            StoreResults::writeFaults().failNext(1, ENOSPC);
            job->HandleRestoreFileUpdate("/src/lost", 0x17000040, nullptr, "");
            job->HandleRestoreFileUpdate("/src/kept", 0, nullptr, "");
            EXPECT_TRUE(log->contains("Failed to save the restore result"));
            EXPECT_EQ(job->_statistics->getNumFilesSkipped(), 1u);
            EXPECT_EQ(resultLines(), (std::vector<std::string>{"BeginIndexedRestore pid:" + pid(), "/src/kept \t5"}));
            finishJob();
        }),
        0);
}

TEST_F(ResultsStoreTest, WithoutProgressReportingItemsAreCountedOnly) {
    EXPECT_EQ(inChild([&] {
                  ParamsJob* job = startParamsJob();
                  EXPECT_TRUE(setParams({"/dest", 0, 1}));
                  giveFactory(0);
                  job->HandleRestoreFileUpdate("/src/a", 0, nullptr, "");
                  job->HandleRestoreFileUpdate("/src/b", 0x1700003e, nullptr, "");
                  EXPECT_EQ(job->_statistics->getNumFiles(), 2u);
                  EXPECT_EQ(resultLines(), std::vector<std::string>{"BeginIndexedRestore pid:" + pid()});
                  EXPECT_FALSE(fir_->waitFor({FSR_MSG_PROGRESS_REPORT_5_9}, 300));
                  EXPECT_EQ(fir_->receivedCount(FSR_MSG_PROGRESS_REPORT_5_9), 0u);
                  finishJob();
              }),
              0);
}

// One item is always one line: line breaks in the name, and in a reason that replaces the catalogue text, are
// spelled out.
TEST_F(ResultsStoreTest, LineBreaksNeverSplitAnItem) {
    EXPECT_EQ(inChild([&] {
                  ParamsJob* job = startParamsJob();
                  EXPECT_TRUE(setParams({"/dest", FSR_OPT_REPORT_PROGRESS, 1}));
                  giveFactory(FSR_OPT_REPORT_PROGRESS);
                  static char proxyToken;
                  job->_proxyRestore = reinterpret_cast<ProxyRestore*>(&proxyToken);
                  job->_useProxyItemMessages = true;
                  job->HandleRestoreFileUpdate("/src/a\r\nb", 0, nullptr, "");
                  job->HandleRestoreFileUpdate("/src/c\n", 0x1700003e, "disk\rgone\n", nullptr, "");
                  job->_proxyRestore = nullptr;
                  EXPECT_EQ(resultLines(),
                            (std::vector<std::string>{"BeginIndexedRestore pid:" + pid(), "/src/a<CR><LF>b \t5",
                                                      "/src/c<LF>  [ " + wzplatform::catalogueText(0x17000070) +
                                                          "  disk<CR>gone<LF>  ] \t3"}));
                  finishJob();
              }),
              0);
}

// The message thread's own items (here the FIR's answer to an error report) carry no suffix; the reader's carry the
// object's kind for the Unix file-system types.
class ItemOnMessageThreadJob : public ParamsJob {
public:
    bool OnMsgRestartInfo() override {
        NamedObject object(" DATA");
        HandleRestoreFileUpdate("/src/on-message-thread", 0, &object, "");
        return true;
    }
};

struct SuffixCase {
    const char* name;
    unsigned long appType;
    const char* kind;
    const char* suffix;  // given by the caller
    const char* line;
};

const SuffixCase kSuffixCases[] = {
    {"Unix file system with an object", 29, " DATA", "", "/src/x  DATA \t5"},
    {"stub of a Unix file system", 17, " STUB", "", "/src/x  STUB \t5"},
    {"other application type", 7, " DATA", "", "/src/x \t5"},
    {"suffix given by the caller", 29, " DATA", " COPY", "/src/x COPY \t5"},
};

TEST_F(ResultsStoreTest, ReaderItemsCarryTheObjectsKind) {
    for (const SuffixCase& c : kSuffixCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inChild([&] {
                      fcltest::removeTree(scratch_ / "results");
                      ParamsJob* job = startParamsJob<ItemOnMessageThreadJob>();
                      job->_initData->appType = c.appType;
                      EXPECT_TRUE(setParams({"/dest", FSR_OPT_REPORT_PROGRESS, 1}));
                      giveFactory(FSR_OPT_REPORT_PROGRESS);
                      NamedObject object(c.kind);
                      job->HandleRestoreFileUpdate("/src/x", 0, &object, c.suffix);
                      EXPECT_EQ(resultLines().back(), c.line);
                      fir_->send(FSR_MSG_RESTART_INFO);
                      for (int i = 0; i < 1000 && resultLines().size() < 3; ++i) {
                          usleep(10000);
                      }
                      EXPECT_EQ(resultLines().back(), "/src/on-message-thread \t5");
                      finishJob();
                  }),
                  0);
    }
}

// A stub restored as a stub in a job that restores stub data is not the job's result.
TEST_F(ResultsStoreTest, StubKeptAsStubIsNotRecordedWhenTheJobRestoresStubData) {
    for (bool stubWithNoData : {false, true}) {
        SCOPED_TRACE(stubWithNoData ? "stub without data" : "stub");
        EXPECT_EQ(inChild([&] {
                      fcltest::removeTree(scratch_ / "results");
                      ParamsJob* job = startParamsJob();
                      EXPECT_TRUE(setParams({"/dest", FSR_OPT_REPORT_PROGRESS, 1}));
                      giveFactory(FSR_OPT_REPORT_PROGRESS)->setRestoreDataNotStub(true);
                      g_bStubWithNoData = stubWithNoData;
                      NamedObject stub(" STUB");
                      job->HandleRestoreFileUpdate("/src/stub", 0, &stub, "");
                      EXPECT_EQ(job->_statistics->getNumFiles(), stubWithNoData ? 1u : 0u);
                      EXPECT_EQ(resultLines().size(), stubWithNoData ? 2u : 1u);
                      g_bStubWithNoData = false;
                      finishJob();
                  }),
                  0);
    }
}

}  // namespace
}  // namespace jobtest
