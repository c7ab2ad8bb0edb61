// Closing an archive file: the close goes to the restore head and returns only once the reader has taken the
// stream to its end; held seeks go first; a close without an open archive does nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "clRestore/options/FclRestoreUNIX.h"
#include "tests/unit/engine/BareJob.h"
#include "tests/unit/engine/PipelineFixture.h"

namespace jobtest {
namespace {

class ArchiveCloseTest : public PipelineFixture {};

bool contains(const std::vector<std::string>& events, const std::string& event) {
    for (const std::string& e : events) {
        if (e == event) {
            return true;
        }
    }
    return false;
}

TEST_F(ArchiveCloseTest, CloseReturnsOnlyAfterTheReaderSawTheEndOfTheArchive) {
    StreamWriter stream(media_, 1);
    stream.item("/root/a", 0100644, {"a"});
    stream.item("/root/b", 0100644, {"b"});
    stream.item("/root/c", 0100644, {"c"});
    stream.finish();

    EXPECT_EQ(inChild([&] {
                  PipelineJob* job = startPipelineJob();
                  job->holdAt("EOF /root/b");
                  ASSERT_EQ(openArchive(1), FSR_MSG_SUCCESS);
                  send(FSR_MSG_READ_ALL);
                  ASSERT_TRUE(job->waitHeld(20000));
                  send(FSR_MSG_CLOSE_ARCHIVE);
                  send(FSR_MSG_RESTART_INFO);
                  // The close waits while the reader is held inside the stream.
                  ASSERT_TRUE(logged("Waiting for readPipeline thread to exit...", 20000));
                  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                  EXPECT_FALSE(job->waitFor("RESTART_INFO", 0));
                  job->release();
                  ASSERT_TRUE(job->waitFor("RESTART_INFO", 20000));
                  // The message after the close found the reader ended, after the whole stream.
                  std::vector<std::string> events = job->events();
                  EXPECT_EQ(events.back(), "RESTART_INFO running=0");
                  EXPECT_TRUE(contains(events, "EOF /root/c"));
                  EXPECT_TRUE(log().contains("Received PL_FS_CLOSE_AFILE buffer. Exiting thread..."));
                  EXPECT_TRUE(log().contains("Exiting the readPipeline thread..."));
                  finishJob();
              }),
              0);
}

TEST_F(ArchiveCloseTest, CloseWithoutAnOpenArchiveOnlyLogsAndEndsARevert) {
    BareJob<> bare;
    bare.job._archiveOpen = 0;
    bare.job._initData->appType = 0x68;
    FclRestore::m_ignoreMsgsForRevert = true;
    EXPECT_TRUE(bare.job.OnMsgCloseArchive());
    EXPECT_FALSE(FclRestore::m_ignoreMsgsForRevert);
    EXPECT_TRUE(bare.log->contains("Ignoring Close messages because no archive file is open."));
    EXPECT_EQ(bare.next(1), 0u);
}

TEST_F(ArchiveCloseTest, HeldProxySeeksGoBeforeTheClose) {
    BareJob<> bare;
    bare.job._proxyClientDestination = true;
    std::vector<FSRSeekArchive_10> seeks(3);
    for (size_t i = 0; i < seeks.size(); ++i) {
        seeks[i].offset = 100 * (i + 1);
    }
    auto array = seekArray<FSRSeekArchiveArray_10>(seeks);
    ASSERT_TRUE(bare.job.OnMsgSeekToOffset10(&array));
    EXPECT_EQ(bare.next(1), 0u) << "held, not sent";

    EXPECT_TRUE(bare.job.OnMsgCloseArchive());
    ASSERT_EQ(bare.next(), FSR_MSG_SEEK_TO_OFFSET);
    const auto& sent = bare.record<FSRSeekArchiveArray>();
    ASSERT_EQ(sent.count, 3u);
    EXPECT_EQ(sent.entries[2].offset, 300u);
    EXPECT_EQ(bare.next(), FSR_MSG_CLOSE_ARCHIVE);
    EXPECT_EQ(bare.job._fclRestoreUnix->_seekBatch.count, 0u);
}

TEST_F(ArchiveCloseTest, HeldSeeksBelowTheRestartPointAreDroppedAndTheCloseStillGoes) {
    BareJob<> bare(FSR_OPT_RESTART | FSR_OPT_RESTART_SKIP);
    bare.job._proxyClientDestination = true;
    bare.job._restartFileNum = 100;
    std::vector<FSRSeekArchive_10> seeks(2);
    char name[] = "link";
    seeks[0].linkName = name;
    auto array = seekArray<FSRSeekArchiveArray_10>(seeks);
    ASSERT_TRUE(bare.job.OnMsgSeekToOffset10(&array));

    EXPECT_TRUE(bare.job.OnMsgCloseArchive());
    EXPECT_TRUE(bare.log->contains("Current file number = 2 < restart file number = 100"));
    EXPECT_EQ(bare.next(), FSR_MSG_CLOSE_ARCHIVE);
    EXPECT_EQ(bare.job._fclRestoreUnix->_seekBatch.count, 0u);
    EXPECT_EQ(bare.job._fclRestoreUnix->_seekBatch.entries[0].linkName, nullptr);
}

}  // namespace
}  // namespace jobtest
