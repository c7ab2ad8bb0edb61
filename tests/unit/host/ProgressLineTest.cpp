// The progress line: what a user reads of a running job.
#include <gtest/gtest.h>

#include "tools/fcl-restore/ProgressDisplay.h"

namespace {

using fclhost::ProgressFigures;

ProgressFigures figures(uint64_t done, uint64_t total, uint64_t bytes, uint64_t backupBytes = 0) {
    ProgressFigures f;
    f.done = done;
    f.total = total;
    f.bytes = bytes;
    f.backupBytes = backupBytes;
    return f;
}

TEST(ProgressLine, ShowsItemsPercentBytesRateAndTimeLeft) {
    struct Case {
        ProgressFigures figures;
        double seconds;
        const char* line;
    };
    const Case cases[] = {
        {figures(0, 0, 0), 0, "0 items  0.0 MB  0.0 MB/s"},
        {figures(3, 0, 2000000), 2, "3 items  2.0 MB  1.0 MB/s"},
        {figures(0, 40, 0), 1, "0/40 items   0%  0.0 MB  0.0 MB/s"},
        {figures(10, 40, 5000000), 10, "10/40 items  25%  5.0 MB  0.5 MB/s  0:00:30 left"},
        // More items than announced stays at 100%.
        {figures(50, 40, 0), 10, "50/40 items 100%  0.0 MB  0.0 MB/s  0:00:00 left"},
        // A large file written before any item is done moves the percent by its bytes.
        {figures(0, 100, 500000000, 1000000000), 60, "0/100 items  25%  500.0 MB  8.3 MB/s  0:03:00 left"},
        {figures(100, 100, 1000000000, 1000000000), 60, "100/100 items 100%  1000.0 MB  16.7 MB/s  0:00:00 left"},
        {figures(1, 7200, 0), 3600, "1/7200 items   0%  0.0 MB  0.0 MB/s  7199:00:00 left"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fclhost::formatProgress(c.figures, c.seconds), c.line);
    }
}

}  // namespace
