// What the fir command says of a job and the status it exits with: a script can tell a job whose items failed on the
// host from one that restored everything.
#include <gtest/gtest.h>

#include "tools/fir/FirJob.h"

namespace {

struct AccountCase {
    const char* name;
    fir::FirOutcome outcome;
    bool counted;  // the host sent its final counts
    uint64_t restored, skipped, failed, missing;
    const char* says;
    int status;
};

class JobAccount : public ::testing::TestWithParam<AccountCase> {};

TEST_P(JobAccount, SaysWhatHappenedAndExitsAsAScriptNeeds) {
    const AccountCase& c = GetParam();
    fir::FirJobResult result;
    result.jobId = 42;
    result.outcome = c.outcome;
    result.reason = c.outcome == fir::FirOutcome::ItemsMissing ? "1 of the 3 items asked for got no result"
                    : c.outcome == fir::FirOutcome::Failed     ? "the engine reported the job failed"
                                                               : "";
    if (c.counted) {
        fir::FirProgress progress;
        progress.record.progress.filesSucceeded = c.restored;
        progress.record.progress.filesSkipped = c.skipped;
        progress.record.progress.filesFailed = c.failed;
        result.lastProgress = progress;
    }
    result.itemsMissingCount = c.missing;
    EXPECT_EQ(fir::jobAccount(result), c.says);
    EXPECT_EQ(fir::jobExitStatus(result), c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JobAccount,
    ::testing::Values(
        AccountCase{"AllRestored", fir::FirOutcome::Succeeded, true, 5, 0, 0, 0,
                    "job 42 ended: 5 restored, 0 skipped, 0 failed", 0},
        AccountCase{"SomeSkipped", fir::FirOutcome::Succeeded, true, 3, 2, 0, 0,
                    "job 42 ended: 3 restored, 2 skipped, 0 failed", 0},
        AccountCase{"ItemsFailedOnTheHost", fir::FirOutcome::Succeeded, true, 3, 0, 2, 0,
                    "job 42 ended: 3 restored, 0 skipped, 2 failed", 1},
        AccountCase{"ItemsWithoutAResult", fir::FirOutcome::ItemsMissing, true, 2, 0, 0, 1,
                    "job 42 ended: 2 restored, 0 skipped, 0 failed, 1 without a result (1 of the 3 items asked for "
                    "got no result)",
                    1},
        AccountCase{"JobFailed", fir::FirOutcome::Failed, false, 0, 0, 0, 0,
                    "job 42 failed: the engine reported the job failed", 2},
        AccountCase{"StartRefused", fir::FirOutcome::StartRefused, false, 0, 0, 0, 0, "job 42 failed: start refused",
                    2}),
    [](const ::testing::TestParamInfo<AccountCase>& info) { return std::string(info.param.name); });

}  // namespace
