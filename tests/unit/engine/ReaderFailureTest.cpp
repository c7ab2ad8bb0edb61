// A read that fails ends the job from the reader thread: the failure's reason and pending cause, one fatal-error
// message to the FIR, nothing read after it, the open item cleaned up, and finalize reporting the failure with every
// thread joined.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "platform/archive/ArchiveHooks.h"
#include "platform/jobs/WZJobClient.h"
#include "tests/unit/engine/PipelineFixture.h"

namespace jobtest {
namespace {

constexpr const char* kMediaReadReason =
    "Restore: Failed to get messages from the media server. Possible causes: Services down on Client, media server or "
    "Hallmoor, lost network connectivity to Hallmoor or media server, out of process memory or handles, or corrupted "
    "install.";

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

class ReaderFailureTest : public PipelineFixture {};

TEST_F(ReaderFailureTest, CorruptBufferFailsTheJobFromTheReaderAndFinalizeReportsIt) {
    StreamWriter stream(media_, 1);
    stream.item("/root/a", 0100644, {"first", "second", "third"});
    stream.item("/root/b", 0100644, {"b"});
    stream.finish();
    const std::string partial = dest_ + "/a";

    EXPECT_EQ(inChild([&] {
                  PipelineJob* job = startPipelineJob();
                  job->onHeader = [&](PipelineJob& j, CXFileHeader&) {
                      fcltest::writeFile(partial, "partial");
                      j._ro = new TrackedObject(partial);
                  };
                  // The header and the first data buffer are sound; the second data buffer is damaged.
                  fclarchive::hooks::corruptRead(2);
                  ASSERT_EQ(openArchive(1), FSR_MSG_SUCCESS);
                  send(FSR_MSG_READ_ALL);
                  ASSERT_TRUE(readerEnded(20000));
                  endJob();

                  EXPECT_EQ(job->streamEvents(), (std::vector<std::string>{"HDR /root/a pre=0", "DATA 5"}));
                  EXPECT_EQ(fir_->received(FSR_MSG_FATAL_ERROR).size(), 1u);
                  EXPECT_FALSE(fir_->waitFor({FSR_MSG_RESTORE_END}, 500));
                  EXPECT_EQ(job->getFailureReason(), kMediaReadReason);
                  EXPECT_EQ(job->_factory->getErrCode(), 0x1700000aul);
                  EXPECT_EQ(job->_fatalError, 1);
                  std::vector<JMPendingCause> causes = wzplatform::pendingCauses();
                  ASSERT_EQ(causes.size(), 1u);
                  EXPECT_EQ(causes[0].code, 0x1700000a);
                  EXPECT_EQ(causes[0].messageType, 300);
                  // The item the stream stopped in was closed and its partial file removed.
                  EXPECT_EQ(TrackedObject::closes, 1);
                  EXPECT_EQ(TrackedObject::destroyed, 1);
                  EXPECT_EQ(job->_ro, nullptr);
                  EXPECT_FALSE(exists(partial));
                  EXPECT_TRUE(log().contains("WZArchive returned read error, "));
                  expectEveryBufferGivenBackOnce();
                  EXPECT_TRUE(log().contains("Removing file " + partial + " on error"));
                  EXPECT_TRUE(log().contains("Restore failed"));
                  EXPECT_FALSE(log().contains("Restore successful"));
                  destroyJob();
                  EXPECT_EQ(threadCount(), 1);
              }),
              0);
}

}  // namespace
}  // namespace jobtest
