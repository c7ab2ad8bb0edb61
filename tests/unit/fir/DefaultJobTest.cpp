// The default job against a scripted engine: what the driver sends, in what order, and how it ends.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

#include "tests/unit/fir/FakeEngine.h"

namespace {

using firtest::FakeEngineTest;
using firtest::Received;

std::string hostName() {
    char name[256] = "";
    gethostname(name, sizeof name - 1);
    return name;
}

class DefaultJob : public FakeEngineTest {
protected:
    void expectStart(const char* root, uint64_t numFiles, unsigned long options) {
        Received init = expect(FSR_MSG_INIT_DATA);
        const auto& data = init.as<FSRInitData>();
        EXPECT_EQ(data.appType, 29u);
        EXPECT_EQ(data.zendrelNumber, 2u);
        EXPECT_EQ(data.numFiles, numFiles);
        EXPECT_STREQ(data.sourceMachine, hostName().c_str());
        EXPECT_STREQ(data.destMachine, hostName().c_str());
        EXPECT_STREQ(data.subclientName, "default");
        jobId = data.jobId;
        reservedString = data.reservedString != nullptr ? data.reservedString : "(null)";
        reply(FSR_MSG_SUCCESS);

        Received params = expect(FSR_MSG_SET_PARAMS);
        EXPECT_STREQ(params.as<FSRSetParams>().destDir, "/restore/dest");
        EXPECT_EQ(params.as<FSRSetParams>().numSrcPaths, 1u);
        EXPECT_EQ(params.as<FSRSetParams>().options, options);
        Received src = expect(FSR_MSG_SRC_PATH);
        EXPECT_EQ(src.as<FSRSrcPath>().index, 0);
        EXPECT_EQ(src.as<FSRSrcPath>().stripLevel, 0u);
        EXPECT_STREQ(src.as<FSRSrcPath>().path, root);
    }
    void expectOpen(uint64_t id) {
        Received open = expect(FSR_MSG_OPEN_ARCHIVE);
        EXPECT_EQ(open.as<FSROpenArchive>().archiveFileId, id);
        EXPECT_EQ(open.as<FSROpenArchive>().zendrelId, 2u);
        reply(FSR_MSG_SUCCESS);
    }
    // The engine's end of the job, its final report counting `succeeded`, `skipped` and `failed` items; no final
    // report when `finalReport` is false.
    void expectEnd(uint64_t succeeded = 4, uint64_t skipped = 0, uint64_t failed = 0, bool finalReport = true) {
        expect(FSR_MSG_WAIT_ARCHIVE_CLOSED);
        reply(FSR_MSG_WAIT_ARCHIVE_CLOSED);
        expect(FSR_MSG_RESTORE_END);
        if (finalReport) {
            FSRProgressReport_5_9 last;
            last.filesSucceeded = succeeded;
            last.filesSkipped = skipped;
            last.filesFailed = failed;
            last.final = 1;
            reply(FSR_MSG_PROGRESS_REPORT_5_9, &last, sizeof last);
        }
        reply(FSR_MSG_RESTORE_END);
    }

    int64_t jobId = 0;
    std::string reservedString;
};

TEST_F(DefaultJob, EverythingIsReadWholeArchiveByArchive) {
    writeMedia(7, "0\tfile\t/src/b c\n100\tfile\t/src/d\n");
    writeMedia(3, "0\tdir\t/src\n100\tfile\t/src/a\n");
    fir->keep({false, {FSR_MSG_RESTORE_ITEM}, 0});
    fir::FirJobOptions options = jobOptions();
    options.reservedOptions = {{"DistributedRestore", "0"}, {"pgSrcWalDir", "/wal"}};
    const int64_t before =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    startJob(options);

    // The packed root is the first item of the lowest archive file's index.
    expectStart("/src", 4, FSR_OPT_OUT_OF_PLACE | FSR_OPT_KEEP_DIR_STRUCTURE | FSR_OPT_REPORT_PROGRESS | 0x80);
    EXPECT_GE(jobId, before);
    EXPECT_EQ(reservedString, "DistributedRestore=0\npgSrcWalDir=/wal");
    expectOpen(3);
    expect(FSR_MSG_READ_ALL);
    expect(FSR_MSG_CLOSE_ARCHIVE);
    expectOpen(7);
    expect(FSR_MSG_READ_ALL);
    FSRRestoreItem item;
    item.name = const_cast<char*>("/src/a");
    item.size = 5;
    reply(FSR_MSG_RESTORE_ITEM, &item, sizeof item);
    expect(FSR_MSG_CLOSE_ARCHIVE);
    expectEnd();

    fir::FirJobResult r = finishJob();
    EXPECT_EQ(r.outcome, fir::FirOutcome::Succeeded) << r.reason;
    EXPECT_EQ(r.jobId, jobId);
    EXPECT_EQ(r.archivesOpened, (std::vector<uint64_t>{3, 7}));
    ASSERT_TRUE(r.lastProgress.has_value());
    EXPECT_EQ(r.lastProgress->record.progress.final, 1);
    EXPECT_EQ(r.lastProgress->record.progress.filesSucceeded, 4u);
    auto items = fir->received(FSR_MSG_RESTORE_ITEM);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].item->name.text, "/src/a");
    EXPECT_EQ(items[0].item->record.size, 5u);
    EXPECT_EQ(fir->finalStatus(), FSR_MSG_RESTORE_END);
}

// Paths name part of the backup: the index gives the offsets to seek to, hard links share their group's offset,
// and an archive file with nothing selected is not opened.
TEST_F(DefaultJob, ASelectionIsReadWithSeeksFromTheIndex) {
    writeMedia(1,
               "0\tdir\t/src\n100\tdir\t/src/sub\n200\tfile\t/src/sub/x\\ty\n250\tfile\t/src/sub/z\n"
               "300\tfile\t/src/subway\n200\thardlink\t/src/sub/h\n");
    writeMedia(2, "0\tfile\t/src/other\n");
    fir::FirJobOptions options = jobOptions();
    options.paths = {"/src/sub"};
    options.overwrite = true;
    options.restart = true;
    options.seeksPerMessage = 2;
    startJob(options);

    expectStart("/src/sub", 4,
                FSR_OPT_OUT_OF_PLACE | FSR_OPT_KEEP_DIR_STRUCTURE | FSR_OPT_REPORT_PROGRESS | 0x80 | FSR_OPT_OVERWRITE |
                    FSR_OPT_RESTART | FSR_OPT_RESTART_SKIP);
    EXPECT_EQ(reservedString, "(null)");
    expectOpen(1);
    std::vector<std::vector<uint64_t>> batches;
    for (int k = 0; k < 2; ++k) {
        Received seeks = expect(FSR_MSG_SEEK_TO_OFFSET);
        const auto& array = seeks.as<FSRSeekArchiveArray>();
        std::vector<uint64_t> offsets;
        for (uint32_t i = 0; i < array.count; ++i) {
            offsets.push_back(array.entries[i].offset);
            EXPECT_EQ(array.entries[i].linkName, nullptr);
        }
        batches.push_back(offsets);
    }
    EXPECT_EQ(batches, (std::vector<std::vector<uint64_t>>{{100, 200}, {250}}));
    expect(FSR_MSG_CLOSE_ARCHIVE);
    expectEnd();
    EXPECT_EQ(finishJob().outcome, fir::FirOutcome::Succeeded);
}

// Every name of a hard-link group carries the group's offset in the index, wherever the name stands; the group is
// streamed whole from that offset, so the offset is sought once, even when the names fall into different batches.
TEST_F(DefaultJob, AHardLinkGroupIsSoughtOnceWhateverItsNames) {
    writeMedia(1,
               "0\tdir\t/src\n100\tfile\t/src/a\n100\thardlink\t/src/b\n200\tfile\t/src/c\n"
               "100\thardlink\t/src/d/e\n300\tfile\t/src/f\n100\thardlink\t/src/g\n400\tfile\t/elsewhere\n");
    fir::FirJobOptions options = jobOptions();
    options.paths = {"/src"};
    options.seeksPerMessage = 1;
    startJob(options);

    expectStart("/src", 7, fir::defaultOptionsWord(false, false));
    expectOpen(1);
    std::vector<uint64_t> sought;
    for (int k = 0; k < 4; ++k) {
        Received seeks = expect(FSR_MSG_SEEK_TO_OFFSET);
        const auto& array = seeks.as<FSRSeekArchiveArray>();
        ASSERT_EQ(array.count, 1u);
        sought.push_back(array.entries[0].offset);
    }
    EXPECT_EQ(sought, (std::vector<uint64_t>{0, 100, 200, 300}));
    expect(FSR_MSG_CLOSE_ARCHIVE);
    expectEnd(7);
    EXPECT_EQ(finishJob().outcome, fir::FirOutcome::Succeeded);
}

// A read error is answered with FSR_MSG_ERROR_REPORT_7_0: the report's words back, and the name of the item the
// index places at the failed offset.
TEST_F(DefaultJob, ErrorReportsAreAnsweredWithTheItemAtTheOffset) {
    writeMedia(5, "0\tdir\t/src\n100\tfile\t/src/a\n200\tfile\t/src/b\n");
    startJob(jobOptions());
    expectStart("/src", 3, fir::defaultOptionsWord(false, false));
    expectOpen(5);
    expect(FSR_MSG_READ_ALL);
    const struct {
        uint64_t archive;
        uint64_t offset;
        const char* name;
    } reports[] = {{5, 150, "/src/a"}, {5, 200, "/src/b"}, {5, 99, "/src"}, {6, 150, ""}};
    for (const auto& c : reports) {
        FSRErrorReport report;
        report.nodeNumLow = 11;
        report.nodeNumHigh = 12;
        report.archFileId.archiveId = c.archive;
        report.offset = c.offset;
        reply(FSR_MSG_ERROR_REPORT, &report, sizeof report);
    }
    expect(FSR_MSG_CLOSE_ARCHIVE);
    expectEnd();
    EXPECT_EQ(finishJob().outcome, fir::FirOutcome::Succeeded);
    // The answers come from the driver's receiving thread, in the order of the reports but at their own pace.
    while (answers.size() < 4) {
        answers.push_back(expect(FSR_MSG_ERROR_REPORT_7_0));
    }
    for (size_t i = 0; i < 4; ++i) {
        const auto& answer = answers[i].as<FSRErrorReport>();
        EXPECT_EQ(answer.offset, reports[i].offset);
        EXPECT_EQ(answer.nodeNumLow, 11u);
        EXPECT_EQ(answer.nodeNumHigh, 12u);
        EXPECT_EQ(answer.archFileId.archiveId, reports[i].archive);
        ASSERT_NE(answer.name, nullptr);
        EXPECT_STREQ(answer.name, reports[i].name);
    }
    EXPECT_EQ(fir->receivedCount(FSR_MSG_ERROR_REPORT), 4u);
}

TEST_F(DefaultJob, ARefusedStartEndsTheJobWithNothingMoreSent) {
    writeMedia(1, "0\tdir\t/src\n");
    startJob(jobOptions());
    expect(FSR_MSG_INIT_DATA);
    reply(FSR_MSG_FAILURE);
    fir::FirJobResult r = finishJob();
    EXPECT_EQ(r.outcome, fir::FirOutcome::StartRefused);
    expectSilence();
}

TEST_F(DefaultJob, AnEngineThatGoesAwayFailsTheJob) {
    writeMedia(1, "0\tdir\t/src\n");
    startJob(jobOptions());
    expectStart("/src", 1, fir::defaultOptionsWord(false, false));
    expect(FSR_MSG_OPEN_ARCHIVE);
    reply(FSR_MSG_FATAL_ERROR);
    engine->shutdown();
    fir::FirJobResult r = finishJob();
    EXPECT_EQ(r.outcome, fir::FirOutcome::Failed);
    // In words, not the protocol's names.
    EXPECT_NE(r.reason.find("the engine reported the job failed"), std::string::npos) << r.reason;
    EXPECT_NE(r.reason.find("session ended"), std::string::npos) << r.reason;
    EXPECT_EQ(r.reason.find("FSR_MSG"), std::string::npos) << r.reason;
}

TEST_F(DefaultJob, AnAnswerThatDoesNotComeTimesOut) {
    writeMedia(1, "0\tdir\t/src\n");
    fir::FirJobOptions options = jobOptions();
    options.waitMs = 300;
    auto start = std::chrono::steady_clock::now();
    startJob(options);
    expect(FSR_MSG_INIT_DATA);
    fir::FirJobResult r = finishJob();
    EXPECT_EQ(r.outcome, fir::FirOutcome::TimedOut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
}

TEST_F(DefaultJob, UnreadableMediaSendsNothing) {
    const struct {
        const char* what;
        const char* index;
        bool withArchive;
    } cases[] = {
        {"no archive file", nullptr, false},
        {"a line without tabs", "0 dir /src\n", true},
        {"an offset that is not a number", "x1\tdir\t/src\n", true},
        {"an unknown escape", "0\tdir\t/s\\qrc\n", true},
        {"an empty index", "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fcltest::ScratchDir dir("media");
        if (c.withArchive) {
            fcltest::writeFile(dir / "1.afile", "");
            fcltest::writeFile(dir / "1.index", c.index);
        }
        fir::FirJobOptions options = jobOptions();
        options.mediaDir = dir.path();
        fir::FirJobResult r = fir::runDefaultJob(*fir, options);
        EXPECT_EQ(r.outcome, fir::FirOutcome::BadMedia);
        EXPECT_FALSE(r.reason.empty());
    }
    expectSilence();
}

TEST_F(DefaultJob, ReservedOptionsThatCannotBeWrittenSendNothing) {
    writeMedia(1, "0\tdir\t/src\n");
    fir::FirJobOptions options = jobOptions();
    options.reservedOptions = {{"a=b", "1"}};
    fir::FirJobResult r = fir::runDefaultJob(*fir, options);
    EXPECT_EQ(r.outcome, fir::FirOutcome::BadOptions);
    expectSilence();
}

// An archive the engine would not open is not done: the driver goes on with the next one, and every item asked for
// in the refused one is missing, named, and keeps the job from succeeding, whatever the engine's count says.
TEST_F(DefaultJob, AnArchiveTheEngineDidNotOpenLeavesItsItemsMissing) {
    writeMedia(1, "0\tdir\t/src\n100\tfile\t/src/a\n200\tfile\t/src/b\n");
    writeMedia(2, "0\tfile\t/src/c\n");
    startJob(jobOptions());
    expectStart("/src", 4, fir::defaultOptionsWord(false, false));
    Received open = expect(FSR_MSG_OPEN_ARCHIVE);
    EXPECT_EQ(open.as<FSROpenArchive>().archiveFileId, 1u);
    reply(FSR_MSG_FAILURE);
    expectOpen(2);
    expect(FSR_MSG_READ_ALL);
    expect(FSR_MSG_CLOSE_ARCHIVE);
    expectEnd(4);

    fir::FirJobResult r = finishJob();
    EXPECT_EQ(r.outcome, fir::FirOutcome::ItemsMissing) << r.reason;
    EXPECT_EQ(r.archivesRefused, (std::vector<uint64_t>{1}));
    EXPECT_EQ(r.archivesOpened, (std::vector<uint64_t>{2}));
    EXPECT_EQ(r.itemsMissing, (std::vector<std::string>{"/src", "/src/a", "/src/b"}));
    EXPECT_EQ(r.itemsMissingCount, 3u);
    EXPECT_EQ(r.itemsAsked, 4u);
    EXPECT_EQ(r.reason,
              "3 of the 4 items asked for got no result (the engine counted 4); not opened: archive file 1: "
              "/src, /src/a, /src/b");
    EXPECT_STREQ(fir::outcomeName(r.outcome), "items missing");
}

// The engine reports items by count: its final report must account for every item asked for, or the job does not
// succeed. A restart leaves the items before its restart point without a result, so it is not held to that.
struct CountCase {
    const char* name;
    uint64_t succeeded;
    uint64_t skipped;
    uint64_t failed;
    bool finalReport;
    bool restart;
    bool counting;
    fir::FirOutcome outcome;
    uint64_t missing;
    const char* reason;  // when the outcome is ItemsMissing
};

class FinalCount : public DefaultJob, public ::testing::WithParamInterface<CountCase> {};

TEST_P(FinalCount, DecidesWhetherEveryItemAskedForGotAResult) {
    const CountCase& c = GetParam();
    writeMedia(1, "0\tdir\t/src\n100\tfile\t/src/a\n200\tfile\t/src/b\n");
    fir::FirJobOptions options = jobOptions();
    options.restart = c.restart;
    options.countItemResults = c.counting;
    startJob(options);
    expectStart("/src", 3, fir::defaultOptionsWord(false, c.restart));
    expectOpen(1);
    expect(FSR_MSG_READ_ALL);
    expect(FSR_MSG_CLOSE_ARCHIVE);
    expectEnd(c.succeeded, c.skipped, c.failed, c.finalReport);

    fir::FirJobResult r = finishJob();
    EXPECT_EQ(r.outcome, c.outcome) << r.reason;
    EXPECT_EQ(r.itemsAsked, 3u);
    EXPECT_EQ(r.itemsMissingCount, c.missing);
    EXPECT_TRUE(r.itemsMissing.empty());
    EXPECT_EQ(r.itemsWithResult.has_value(), c.finalReport);
    if (c.finalReport) {
        EXPECT_EQ(*r.itemsWithResult, c.succeeded + c.skipped + c.failed);
    }
    if (c.outcome == fir::FirOutcome::ItemsMissing) {
        EXPECT_EQ(r.reason, c.reason);
    }
}

using fir::FirOutcome;
INSTANTIATE_TEST_SUITE_P(
    Fir, FinalCount,
    ::testing::Values(CountCase{"everyItemRestored", 3, 0, 0, true, false, true, FirOutcome::Succeeded, 0, ""},
                      CountCase{"restoredSkippedAndFailedAllCount", 1, 1, 1, true, false, true, FirOutcome::Succeeded,
                                0, ""},
                      CountCase{"moreResultsThanAskedFor", 5, 0, 0, true, false, true, FirOutcome::Succeeded, 0, ""},
                      CountCase{"oneItemWithoutAResult", 1, 1, 0, true, false, true, FirOutcome::ItemsMissing, 1,
                                "1 of the 3 items asked for got no result (the engine counted 2)"},
                      CountCase{"noResultAtAll", 0, 0, 0, true, false, true, FirOutcome::ItemsMissing, 3,
                                "3 of the 3 items asked for got no result (the engine counted 0)"},
                      CountCase{"noFinalReport", 3, 0, 0, false, false, true, FirOutcome::ItemsMissing, 3,
                                "3 of the 3 items asked for got no result (the engine sent no final count)"},
                      CountCase{"restartBelowItsRestartPoint", 1, 0, 0, true, true, true, FirOutcome::Succeeded, 0, ""},
                      CountCase{"countingTurnedOff", 0, 0, 0, true, false, false, FirOutcome::Succeeded, 0, ""}),
    [](const ::testing::TestParamInfo<CountCase>& info) { return std::string(info.param.name); });

}  // namespace
