// The summary the host prints and the exit status that goes with it.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

#include "tools/fcl-restore/JobSummary.h"

namespace {

using fclhost::JobSummary;

TEST(JobSummary, ExitStatusSaysJobFailedItemsFailedOrAllWell) {
    struct Case {
        bool jobSucceeded;
        uint64_t failed;
        int status;
    };
    for (const Case& c :
         {Case{true, 0, 0}, Case{true, 1, 1}, Case{true, 1000000, 1}, Case{false, 0, 2}, Case{false, 5, 2}}) {
        JobSummary summary;
        summary.jobSucceeded = c.jobSucceeded;
        summary.failed = c.failed;
        summary.skipped = 3;
        EXPECT_EQ(fclhost::exitStatus(summary), c.status) << c.jobSucceeded << " " << c.failed;
    }
}

// Owners a user who is not root cannot keep leave the status at 0, as with tar -x; ACLs and attributes the
// destination cannot hold make it 1.
TEST(JobSummary, ItemsThatLostPartOfTheirMetadataAreCountedWithTheReason) {
    struct Case {
        uint64_t owners;
        uint64_t acls;
        int status;
        const char* verdict;
    };
    for (const Case& c : {Case{3, 0, 0, "Restore succeeded"}, Case{0, 2, 1, "Restore finished: 2 item(s) lost"},
                          Case{3, 2, 1, "Restore finished: 2 item(s) lost"}}) {
        JobSummary summary;
        summary.jobSucceeded = true;
        summary.ownersNotKept = {c.owners, EPERM};
        summary.aclsOrXattrsLost = {c.acls, EOPNOTSUPP};
        EXPECT_EQ(fclhost::exitStatus(summary), c.status) << c.owners << " " << c.acls;
        const std::string text = fclhost::formatSummary(summary);
        EXPECT_EQ(text.rfind(c.verdict, 0), 0u) << text;
        EXPECT_EQ(text.find("owners not kept:") != std::string::npos, c.owners != 0) << text;
        EXPECT_EQ(text.find("ACLs/xattrs lost:") != std::string::npos, c.acls != 0) << text;
    }
    EXPECT_EQ(fclhost::ownerLossReason(EPERM),
              "Operation not permitted: only root can give an item to another user, so these items are yours");
    EXPECT_EQ(fclhost::aclLossReason(EOPNOTSUPP),
              "Operation not supported: the destination's file system cannot hold them");
    EXPECT_EQ(fclhost::aclLossReason(EIO), "Input/output error");
}

TEST(JobSummary, AnInterruptedJobExitsAsTheSignalWouldAndSaysSo) {
    for (const auto& c : {std::make_pair(SIGINT, "SIGINT"), std::make_pair(SIGTERM, "SIGTERM")}) {
        JobSummary summary;
        summary.interruptSignal = c.first;
        summary.jobSucceeded = false;
        summary.failureReason = "stopped by an interrupt";
        summary.failed = 7;
        EXPECT_EQ(fclhost::exitStatus(summary), 128 + c.first);
        const std::string text = fclhost::formatSummary(summary);
        EXPECT_EQ(text.rfind(std::string("Restore stopped by ") + c.second + ": ", 0), 0u) << text;
    }
}

TEST(JobSummary, RateIsDecimalMegabytesPerSecond) {
    EXPECT_DOUBLE_EQ(fclhost::megabytesPerSecond(5000000, 2.0), 2.5);
    EXPECT_DOUBLE_EQ(fclhost::megabytesPerSecond(5000000, 0.0), 0.0);
    EXPECT_DOUBLE_EQ(fclhost::megabytesPerSecond(0, 3.0), 0.0);
}

TEST(JobSummary, ASucceededJobListsEveryFigure) {
    JobSummary summary;
    summary.jobSucceeded = true;
    summary.restored = 20001;
    summary.skipped = 2;
    summary.failed = 0;
    summary.bytes = 123456789;
    summary.seconds = 2.5;
    summary.resultsFile = "/r/2/77/restore.results";
    summary.resultsDir = "/r";
    summary.logFile = "/r/fclrestore.log";
    EXPECT_EQ(fclhost::formatSummary(summary),
              "Restore succeeded\n"
              "  items restored: 20001\n"
              "  items skipped:  2\n"
              "  items failed:   0\n"
              "  bytes:          123456789\n"
              "  seconds:        2.50\n"
              "  MB/s:           49.4\n"
              "  results file:   /r/2/77/restore.results\n"
              "  results dir:    /r\n"
              "  log:            /r/fclrestore.log\n");
}

TEST(JobSummary, TheVerdictLineNamesFailures) {
    JobSummary summary;
    summary.jobSucceeded = true;
    summary.failed = 2;
    std::string text = fclhost::formatSummary(summary);
    EXPECT_EQ(text.substr(0, text.find('\n')), "Restore finished with failed items");
    EXPECT_NE(text.find("  results file:   none written\n"), std::string::npos);

    summary.jobSucceeded = false;
    summary.failureReason = "Restore: Destination directory is not empty.";
    text = fclhost::formatSummary(summary);
    EXPECT_EQ(text.substr(0, text.find('\n')), "Restore failed: Restore: Destination directory is not empty.");
    summary.failureReason.clear();
    text = fclhost::formatSummary(summary);
    EXPECT_EQ(text.substr(0, text.find('\n')), "Restore failed: no reason given");
}

}  // namespace
