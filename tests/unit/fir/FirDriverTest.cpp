// The driver's building blocks: the session's waits and records, the items of an index, the reserved options, the
// options word.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/unit/fir/FakeEngine.h"
#include "tools/fir/ArchiveIndexFile.h"
#include "tools/fir/ReservedOptions.h"

namespace {

using firtest::FakeEngineTest;

class FirSessionTest : public FakeEngineTest {};

// The engine's per-item stream is counted, not kept, unless a test names its codes; the rest is kept, and the last
// progress report always is.
TEST_F(FirSessionTest, WaitingForACodePassesOverOthersAndKeepsWhatTheRuleNames) {
    FSRProgressReport_11_14 progress;
    progress.progress.jobId = 9;
    progress.progress.subclientName = const_cast<char*>("sub");
    progress.filesToRestore = 3;
    FSRImgExtentRestoreStatus status;
    status.status = 0x1700003f;
    FSRRestoreItem item;
    item.name = const_cast<char*>("/src/a");
    auto sendAll = [&] {
        reply(FSR_MSG_PROGRESS_REPORT_11_14, &progress, sizeof progress);
        reply(FSR_MSG_IMG_EXTENT_RESTORE_STATUS, &status, sizeof status);
        reply(FSR_MSG_RESTORE_ITEM, &item, sizeof item);
        reply(FSR_MSG_RESTORE_ITEM, &item, sizeof item);
        reply(FSR_MSG_SUCCESS);
    };

    fir::FirMessage m;
    sendAll();
    ASSERT_TRUE(fir->waitFor({FSR_MSG_SUCCESS, FSR_MSG_FAILURE}, 5000, &m));
    EXPECT_EQ(m.code, FSR_MSG_SUCCESS);
    auto kept = fir->received();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].code, FSR_MSG_SUCCESS);
    EXPECT_EQ(fir->receivedCount(), 5u);
    EXPECT_EQ(fir->receivedCount(FSR_MSG_RESTORE_ITEM), 2u);
    EXPECT_EQ(fir->receivedCount(FSR_MSG_FAILURE), 0u);
    ASSERT_TRUE(fir->lastProgress().has_value());
    EXPECT_EQ(fir->lastProgress()->record.filesToRestore, 3u);
    EXPECT_TRUE(fir->recent().empty());

    fir->keep({false, {FSR_MSG_PROGRESS_REPORT_11_14, FSR_MSG_IMG_EXTENT_RESTORE_STATUS}, 2});
    sendAll();
    ASSERT_TRUE(fir->waitFor({FSR_MSG_SUCCESS}, 5000, &m));
    auto all = fir->received();
    ASSERT_EQ(all.size(), 4u);
    ASSERT_TRUE(all[1].progress.has_value());
    EXPECT_TRUE(all[1].progress->extended);
    EXPECT_EQ(all[1].progress->record.progress.jobId, 9u);
    EXPECT_EQ(all[1].progress->record.filesToRestore, 3u);
    EXPECT_EQ(all[1].progress->subclientName.text, "sub");
    ASSERT_TRUE(all[2].extentStatus.has_value());
    EXPECT_FALSE(all[2].extentStatus->name.present);
    EXPECT_EQ(all[2].extentStatus->record.status, 0x1700003f);
    EXPECT_EQ(all[3].code, FSR_MSG_SUCCESS);
    auto recent = fir->recent();
    ASSERT_EQ(recent.size(), 2u);
    EXPECT_EQ(recent[0].code, FSR_MSG_RESTORE_ITEM);
    ASSERT_TRUE(recent[0].item.has_value());
    EXPECT_EQ(recent[0].item->name.text, "/src/a");
    EXPECT_EQ(recent[1].code, FSR_MSG_SUCCESS);
    EXPECT_EQ(fir->receivedCount(FSR_MSG_RESTORE_ITEM), 4u);

    // Nothing after the success yet: a bounded wait returns empty-handed in about its time.
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(fir->next(&m, 200));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LT(waited, std::chrono::seconds(5));
}

// A code that is not kept still reaches a wait for it that is in progress when it comes.
TEST_F(FirSessionTest, AWaitSeesTheCodeItWaitsForEvenWhenItIsNotKept) {
    fir::FirMessage m;
    std::thread late([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        FSRRestoreItem item;
        item.name = const_cast<char*>("/src/late");
        reply(FSR_MSG_RESTORE_ITEM, &item, sizeof item);
    });
    const bool got = fir->waitFor({FSR_MSG_RESTORE_ITEM}, 5000, &m);
    late.join();
    ASSERT_TRUE(got);
    ASSERT_TRUE(m.item.has_value());
    EXPECT_EQ(m.item->name.text, "/src/late");
    EXPECT_TRUE(fir->received().empty());
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
    EXPECT_EQ(index.itemAt(150), "/a");
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
