// Source paths as the FIR sends them over the session, through the queue and the processing thread.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/log/LogWriter.h"
#include "tests/unit/engine/SourcePathsFixture.h"

namespace jobtest {
namespace {

class SourcePathsWireTest : public SourcePathsFixture {
protected:
    void sendPath(long long index, const char* path) {
        FSRSrcPath record;
        record.index = index;
        record.path = const_cast<char*>(path);
        ASSERT_FALSE(fir_->send(FSR_MSG_SRC_PATH, &record, sizeof record).IsError());
    }
};

TEST_F(SourcePathsWireTest, TheLastPathFromTheFirBuildsTheFactory) {
    EXPECT_EQ(inChild([this] {
                  wzlog::ScopedCapture log;
                  FclRestore* job = makeJob<FclRestore>();
                  ASSERT_EQ(startJob(), FSR_MSG_SUCCESS);
                  giveParameters(*job, 2, FSR_OPT_OUT_OF_PLACE | FSR_OPT_REPORT_PROGRESS);
                  runReceiveLoop();
                  sendPath(0, "/src/b");
                  sendPath(1, "/src/a");
                  fir_->send(FSR_MSG_RESTORE_END);
                  endJob();
                  EXPECT_FALSE(job->isFatalError());
                  ASSERT_NE(job->_factory, nullptr);
                  EXPECT_EQ(stored(*job), (std::vector<std::string>{"1 /src/a 0", "0 /src/b 0"}));
                  EXPECT_TRUE(log->contains("Restore successful - sending FSR_MSG_RESTORE_END"));
                  destroyJob();
              }),
              0);
}

TEST_F(SourcePathsWireTest, APathMissingFromTheWireFailsTheJob) {
    EXPECT_EQ(inChild([this] {
                  wzlog::ScopedCapture log;
                  FclRestore* job = makeJob<FclRestore>();
                  ASSERT_EQ(startJob(), FSR_MSG_SUCCESS);
                  giveParameters(*job, 2, FSR_OPT_OUT_OF_PLACE);
                  runReceiveLoop();
                  sendPath(0, nullptr);
                  endJob();
                  EXPECT_TRUE(job->isFatalError());
                  EXPECT_EQ(job->_factory, nullptr);
                  EXPECT_TRUE(log->contains("Source path 0 came without a path"));
                  EXPECT_TRUE(log->contains("Restore failed"));
                  destroyJob();
              }),
              0);
}

}  // namespace
}  // namespace jobtest
