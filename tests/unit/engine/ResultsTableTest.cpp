// Every per-item identifier maps to its result status, its results line and one of the succeeded, skipped and failed
// counters; 99999 and 99998 leave no trace.
#include <gtest/gtest.h>

#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/events/MessageCatalogue.h"
#include "platform/log/LogWriter.h"
#include "tests/unit/engine/ParamsFixture.h"

namespace jobtest {
namespace {

enum class Counted { Succeeded, Skipped, Failed, Nothing };

struct ItemCase {
    int id;
    int status;
    Counted counted;
    int text;  // whose catalogue text the line carries; 0 for none
};

const ItemCase kItemCases[] = {
    {0, 5, Counted::Succeeded, 0},
    {0x1700003e, 3, Counted::Failed, 0x1700003e},
    {0x1700004c, 3, Counted::Failed, 0x1700003e},
    {0x17000040, 4, Counted::Skipped, 0x17000040},
    {0x1700005b, 7, Counted::Failed, 0x1700005b},
    {0x1700005c, 8, Counted::Skipped, 0x1700005c},
    {0x1700005e, 10, Counted::Failed, 0x1700005e},
    {0x1700005f, 12, Counted::Failed, 0x17000060},
    {0x17000060, 12, Counted::Failed, 0x17000060},
    {0x17000065, 4, Counted::Skipped, 0x17000065},
    {0x17000071, 14, Counted::Succeeded, 0x17000071},
    {0x17000072, 3, Counted::Failed, 0x17000072},
    {0x17000076, 17, Counted::Succeeded, 0x17000076},
    {0x17000077, 15, Counted::Succeeded, 0x17000077},
    {0x1700008a, 3, Counted::Failed, 0x1700008a},
    {0x1700008b, 3, Counted::Failed, 0x1700008b},
    {0x1700008c, 4, Counted::Skipped, 0x1700008c},
    {0x17000094, 4, Counted::Skipped, 0x17000094},
    {0x170000a7, 4, Counted::Skipped, 0x170000a7},
    {0x170000ad, 4, Counted::Skipped, 0x170000ad},
    {0x170000b1, 4, Counted::Skipped, 0x170000b1},
    {0x170000b2, 4, Counted::Skipped, 0x170000b2},
    // Identifiers the table does not name are failures.
    {0x1700003f, 3, Counted::Failed, 0x1700003e},
    {0x17000046, 3, Counted::Failed, 0x1700003e},
    {12345, 3, Counted::Failed, 0x1700003e},
    {-1, 3, Counted::Failed, 0x1700003e},
    {99999, 0, Counted::Nothing, 0},
    {99998, 0, Counted::Nothing, 0},
};

struct Counters {
    unsigned long long succeeded, skipped, failed;
};

Counters countersOf(const FsRestoreStatistics& s) {
    return {s.getNumFilesSucceeded(), s.getNumFilesSkipped(), s.getNumFilesFailed()};
}

std::string expectedLine(const std::string& name, const ItemCase& c) {
    std::string line = name + " ";
    if (c.status != 5) {
        line += " [ " + wzplatform::catalogueText(0x17000070) + "  " + wzplatform::catalogueText(c.text) + "  ] ";
    }
    return line + "\t" + std::to_string(c.status);
}

class ResultsTableTest : public ParamsFixture {};

TEST_F(ResultsTableTest, EachIdentifierGivesItsStatusLineAndCounter) {
    EXPECT_EQ(inChild([&] {
                  wzlog::ScopedCapture log;
                  ParamsJob* job = startParamsJob();
                  EXPECT_TRUE(setParams({"/dest", FSR_OPT_REPORT_PROGRESS, 1}));
                  giveFactory(FSR_OPT_REPORT_PROGRESS);
                  ASSERT_NE(job->_results, nullptr);
                  for (const ItemCase& c : kItemCases) {
                      SCOPED_TRACE(testing::Message() << "identifier " << std::hex << c.id);
                      const std::string name = "/src/item-" + std::to_string(c.id);
                      const Counters before = countersOf(*job->_statistics);
                      const size_t linesBefore = resultLines().size();
                      job->_itemFailureCausePending = false;
                      job->_stubsNotRestored = false;
                      job->SetSkipAddtoRestoreStatus(c.counted == Counted::Nothing);

                      job->HandleRestoreFileUpdate(name.c_str(), c.id, nullptr, "");

                      const Counters after = countersOf(*job->_statistics);
                      EXPECT_EQ(after.succeeded - before.succeeded, c.counted == Counted::Succeeded ? 1u : 0u);
                      EXPECT_EQ(after.skipped - before.skipped, c.counted == Counted::Skipped ? 1u : 0u);
                      EXPECT_EQ(after.failed - before.failed, c.counted == Counted::Failed ? 1u : 0u);
                      const std::vector<std::string> lines = resultLines();
                      if (c.counted == Counted::Nothing) {
                          EXPECT_EQ(lines.size(), linesBefore);
                          // Not even the skip flag is touched.
                          EXPECT_TRUE(job->IsSkipAddtoRestoreStatus());
                          job->SetSkipAddtoRestoreStatus(false);
                      } else {
                          ASSERT_EQ(lines.size(), linesBefore + 1);
                          EXPECT_EQ(lines.back(), expectedLine(name, c));
                      }
                      EXPECT_EQ(job->_itemFailureCausePending, c.id == 0x1700005f || c.id == 0x17000060);
                      EXPECT_EQ(job->_stubsNotRestored, c.id == 0x17000072);
                  }
                  finishJob();
              }),
              0);
}

// The skip flag suppresses one line; the item is still counted and the flag is cleared after it.
TEST_F(ResultsTableTest, SkippedStatusLineIsCountedButNotWritten) {
    EXPECT_EQ(inChild([&] {
                  wzlog::ScopedCapture log;
                  ParamsJob* job = startParamsJob();
                  EXPECT_TRUE(setParams({"/dest", FSR_OPT_REPORT_PROGRESS, 1}));
                  giveFactory(FSR_OPT_REPORT_PROGRESS);
                  const size_t begin = resultLines().size();
                  job->SetSkipAddtoRestoreStatus(true);
                  job->HandleRestoreFileUpdate("/src/extent", 0x17000094, nullptr, "Extent");
                  EXPECT_EQ(resultLines().size(), begin);
                  EXPECT_EQ(job->_statistics->getNumFilesSkipped(), 1u);
                  EXPECT_FALSE(job->IsSkipAddtoRestoreStatus());
                  EXPECT_TRUE(log->contains("Skip adding restore status to restore.out for the item [/src/extent]"));
                  job->HandleRestoreFileUpdate("/src/next", 0, nullptr, "");
                  EXPECT_EQ(resultLines().size(), begin + 1);
                  finishJob();
              }),
              0);
}

struct ExtentCase {
    const char* name;
    unsigned int flags2;
    int errCode;
    bool skip;
};

// A container's failure is recorded at once; its success waits for its last extent; other items are not the hook's.
const ExtentCase kExtentCases[] = {
    {"ordinary item", 0, 0, true},
    {"container failed", CXHDR_F2_CONTAINER, 0x1700003e, false},
    {"container restored", CXHDR_F2_CONTAINER, 0, true},
};

TEST_F(ResultsTableTest, ExtentHookDecidesWhetherAContainerIsRecordedNow) {
    FclRestore job;
    for (const ExtentCase& c : kExtentCases) {
        SCOPED_TRACE(c.name);
        CXFileHeader header;
        header.h_flags2 = c.flags2;
        int errCode = c.errCode;
        bool skip = !c.skip;
        job.HandleRestoreFileUpdateForExtentBasedRestore("/src/container", errCode, "", nullptr, "", &header, skip);
        EXPECT_EQ(skip, c.skip);
        EXPECT_EQ(errCode, c.errCode);
    }
}

}  // namespace
}  // namespace jobtest
