// The driver's parts: the session's waits and records, the items of an index, the reserved options, the options word.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/unit/fir/FakeEngine.h"
#include "tools/fir/ArchiveIndexFile.h"
#include "tools/fir/ReservedOptions.h"

namespace {

using firtest::FakeEngineTest;

class FirSessionTest : public FakeEngineTest {};

TEST_F(FirSessionTest, WaitingForACodePassesOverOthersAndKeepsThemAll) {
    FSRProgressReport_11_14 progress;
    progress.progress.jobId = 9;
    progress.progress.subclientName = const_cast<char*>("sub");
    progress.filesToRestore = 3;
    reply(FSR_MSG_PROGRESS_REPORT_11_14, &progress, sizeof progress);
    FSRImgExtentRestoreStatus status;
    status.status = 0x1700003f;
    reply(FSR_MSG_IMG_EXTENT_RESTORE_STATUS, &status, sizeof status);
    reply(FSR_MSG_SUCCESS);

    fir::FirMessage m;
    ASSERT_TRUE(fir->waitFor({FSR_MSG_SUCCESS, FSR_MSG_FAILURE}, 5000, &m));
    EXPECT_EQ(m.code, FSR_MSG_SUCCESS);
    auto all = fir->received();
    ASSERT_EQ(all.size(), 3u);
    ASSERT_TRUE(all[0].progress.has_value());
    EXPECT_TRUE(all[0].progress->extended);
    EXPECT_EQ(all[0].progress->record.progress.jobId, 9u);
    EXPECT_EQ(all[0].progress->record.filesToRestore, 3u);
    EXPECT_EQ(all[0].progress->subclientName.text, "sub");
    ASSERT_TRUE(all[1].extentStatus.has_value());
    EXPECT_FALSE(all[1].extentStatus->name.present);
    EXPECT_EQ(all[1].extentStatus->record.status, 0x1700003f);

    // Nothing after the success yet: a bounded wait returns empty-handed in about its time.
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(fir->next(&m, 200));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LT(waited, std::chrono::seconds(5));
}

TEST_F(FirSessionTest, ErrorReportsAreLeftUnansweredWhenAsked) {
    fir->setAnswerErrorReports(false);
    FSRErrorReport report;
    reply(FSR_MSG_ERROR_REPORT, &report, sizeof report);
    reply(FSR_MSG_FAILURE);
    ASSERT_TRUE(fir->waitFor({FSR_MSG_FAILURE}, 5000));
    EXPECT_EQ(fir->finalStatus(), FSR_MSG_FAILURE);
    EXPECT_EQ(fir->reportsAnswered(), 0u);
    expectSilence();
}

TEST_F(FirSessionTest, TheEndOfTheSessionEndsEveryWait) {
    engine->shutdown();
    EXPECT_FALSE(fir->waitFor({FSR_MSG_SUCCESS}, -1));
    EXPECT_TRUE(fir->ended());
    EXPECT_TRUE(fir->endError().IsError());
}

TEST(ArchiveIndexLine, TheItemAtAnOffsetIsTheOneStartingClosestBeforeIt) {
    fir::ArchiveIndex index;
    index.items = {{100, "file", "/a"}, {300, "file", "/c"}, {200, "file", "/b"}, {100, "hardlink", "/a2"}};
    EXPECT_EQ(index.itemAt(99), "");
    EXPECT_EQ(index.itemAt(100), "/a");
    EXPECT_EQ(index.itemAt(250), "/b");
    EXPECT_EQ(index.itemAt(1000), "/c");
}

TEST(ReservedOptions, PairsBecomeOneLineEach) {
    std::string text, why;
    ASSERT_TRUE(fir::encodeReservedOptions({}, &text, &why));
    EXPECT_EQ(text, "");
    ASSERT_TRUE(fir::encodeReservedOptions(
        {{"HadoopInstance", "5"}, {"CassandraMeta", "~KEYSPACE~ks~BEGIN~x=y"}, {"Empty", ""}}, &text, &why));
    EXPECT_EQ(text, "HadoopInstance=5\nCassandraMeta=~KEYSPACE~ks~BEGIN~x=y\nEmpty=");
}

TEST(ReservedOptions, PairsThatWouldReadBackDifferentlyAreRefused) {
    const std::pair<std::string, std::string> refused[] = {
        {"", "1"}, {"a=b", "1"}, {"a\nb", "1"}, {"a", "1\n2"}, {"a", "1\r"}, {" a", "1"}, {"a", "1 "},
    };
    for (const auto& option : refused) {
        SCOPED_TRACE(option.first + "=" + option.second);
        std::string text = "unchanged", why;
        EXPECT_FALSE(fir::encodeReservedOptions({option}, &text, &why));
        EXPECT_FALSE(why.empty());
        EXPECT_EQ(text, "unchanged");
    }
}

TEST(OptionsWord, TheDefaultJobAsksForWhatAUserExpects) {
    const unsigned long base = FSR_OPT_OUT_OF_PLACE | FSR_OPT_KEEP_DIR_STRUCTURE | FSR_OPT_REPORT_PROGRESS | 0x80;
    EXPECT_EQ(fir::defaultOptionsWord(false, false), base);
    EXPECT_EQ(fir::defaultOptionsWord(true, false), base | FSR_OPT_OVERWRITE);
    EXPECT_EQ(fir::defaultOptionsWord(false, true), base | FSR_OPT_RESTART | FSR_OPT_RESTART_SKIP);
}

}  // namespace
