// An item the destination cannot hold fails alone: the job goes on, the other items are restored, and the host
// exits 1 with the failure counted.
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

class ItemFailure : public EndToEnd {};

TEST_F(ItemFailure, AFileLargerThanTheProcessMayWriteFailsAlone) {
    build({file("small", 4096), file("too large", 4 * kMiB), file("z after", 10)});
    pack();
    // Writes past 2 MiB fail with EFBIG instead of ending the process; the log stays far below that.
    fcltest::ProgramRun run =
        fcltest::runProgram({"sh", "-c", "trap '' XFSZ; exec prlimit --fsize=2097152 \"$0\" \"$@\"",
                             fcltest::toolPath("fcl-restore"), "--results", results(), media(), dest()});
    EXPECT_EQ(run.status, 1) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), "1") << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), std::to_string(sourceItems() - 1)) << run.out;
    EXPECT_EQ(fcltest::readFile(restored("small")), fcltest::readFile(source("small")));
    EXPECT_EQ(fcltest::readFile(restored("z after")), fcltest::readFile(source("z after")));
}

}  // namespace
}  // namespace e2e
