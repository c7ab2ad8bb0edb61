// Every code the FIR may send reaches its handler, in order; unknown codes raise an event and are released.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/archive/RestoreArbiter.h"
#include "platform/events/EvEvent.h"
#include "platform/log/LogWriter.h"
#include "tests/unit/engine/JobFixture.h"
#include "tests/unit/engine/RecordingJob.h"

namespace jobtest {
namespace {

struct Step {
    unsigned long code;
    std::vector<unsigned char> record;  // sent when not empty
    const char* handler;                // expected call, or null
};

template <typename Record>
std::vector<unsigned char> bytesOf(const Record& r) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&r);
    return std::vector<unsigned char>(p, p + sizeof r);
}

template <typename Record>
std::vector<unsigned char> zeroed() {
    return bytesOf(Record());
}

std::vector<Step> script() {
    FSRErrorReport report;
    static char item[] = "/src/item";
    report.name = item;
    int taskId = 7;
    FSROpenChunk chunk;
    chunk.chunkId = 99;
    return {
        {FSR_MSG_SET_PARAMS, zeroed<FSRSetParams>(), "OnMsgSetParams"},
        {FSR_MSG_SRC_PATH, zeroed<FSRSrcPath>(), "OnMsgSrcPath"},
        {FSR_MSG_INIT_DATA_VER2, zeroed<FSRInitDataVer2>(), "OnMsgInitDataVer2"},
        {FSR_MSG_PRE_OPEN_ARCHIVE, zeroed<FSRPreOpenArchive>(), "OnMsgPreOpenArchive"},
        {FSR_MSG_OPEN_ARCHIVE, zeroed<FSROpenArchive>(), "OnMsgOpenArchive"},
        {FSR_MSG_ARCHIVE_ID, zeroed<FSRArchiveId>(), "OnMsgArchiveId"},
        {FSR_MSG_READ_ALL, {}, nullptr},
        {FSR_MSG_SEEK_TO_OFFSET, zeroed<FSRSeekArchiveArray>(), "OnMsgSeekToOffset"},
        {FSR_MSG_SEEK_TO_OFFSET_10, zeroed<FSRSeekArchiveArray_10>(), "OnMsgSeekToOffset10"},
        {FSR_MSG_SEEK_TO_OFFSET_10_V2, zeroed<FSRSeekArchiveArray_10_V2>(), "OnMsgSeekToOffset10V2"},
        {FSR_MSG_NAS_SEEK_ARCHIVE, zeroed<FSRNasSeekArchiveArray>(), "OnMsgNasSeekArchive"},
        {FSR_MSG_SNAP_SRC_PATH, zeroed<FSRSnapSrcPath>(), "OnMsgSnapSrc"},
        {FSR_MSG_SNAP_SRC_PATH_ARRAY, zeroed<FSRSnapSrcPathArray>(), "OnMsgSnapSrcArray"},
        {FSR_MSG_OPEN_CHUNK, bytesOf(chunk), "OnMsgOpenChunk"},
        {FSR_MSG_ARCHFILES_ENDING_IN_CHUNK, zeroed<FSRArchFileIdArray>(), "OnMsgArchFilesEndingInChunk"},
        {FSR_MSG_KEEPALIVE, {}, nullptr},
        {FSR_MSG_DEST_PATH, zeroed<FSRDestPath>(), "OnMsgDestPath"},
        {FSR_MSG_RESTART_INFO, {}, "OnMsgRestartInfo"},
        {FSR_GET_META_DATA_FOLDER, zeroed<FSRMetaDataFolder>(), "OnMsgGetMetaDataFolder"},
        {FSR_JOB_START, {1, 2, 3}, "OnMsgJobStart"},
        {FSR_JOB_END, {4, 5}, "OnMsgJobEnd"},
        {FSR_MSG_IMG_INIT_INFO, zeroed<FSRImgInit>(), "OnMsgImgInit"},
        {FSR_MSG_IMG_TIMES_ARRAY, zeroed<FSRImgTimesArray>(), "OnMsgImgTimesArray"},
        {FSR_MSG_IMG_WIN_STREAMS_ARRAY, zeroed<FSRImgWinStreamsArray>(), "OnMsgImgWinStreamsArray"},
        {FSR_MSG_IMG_AFILE_OFFSETS_ARRAY, zeroed<FSRImgAfileOffsetsArray>(), "OnMsgImgAfileOffsetsArray"},
        {FSR_MSG_PROCESS_IMG_AFILE_OFFSETS_ARRAY, {}, "OnMsgProcessImgAfileOffsetsArray"},
        {FSR_MSG_END_IMG_AFILE_OFFSETS_ARRAY, {}, "OnMsgEndImgAfileOffsetsArray"},
        {FSR_MSG_IMG_RESTORE_END, {}, "OnMsgImgRestoreEnd"},
        {FSR_MSG_RESTORE_VSRESTOREINFO2, zeroed<FSRVirtualServerRestoreInfo>(), "OnMsgVSRestoreInfo"},
        {FSR_MSG_RESTORE_VSRESTORE_END, zeroed<FSRVirtualServerRestoreEnd>(), "OnMsgVSRestoreEnd"},
        {FSR_MSG_START_VM_REPLICATION, {}, "OnMsgStartVMReplication"},
        {FSR_MSG_DISTRIBUTED_TASKID, bytesOf(taskId), nullptr},
        {FSR_MSG_ERROR_REPORT_7_0, bytesOf(report), "HandleRestoreFileUpdate /src/item 385876062"},
        {FSR_MSG_WAIT_ARCHIVE_CLOSED, {}, nullptr},
        {FSR_MSG_CLOSE_ARCHIVE, {}, "OnMsgCloseArchive"},
        // Unknown here: the init data after start-up, gaps, and codes on either side of the dispatched range.
        {FSR_MSG_INIT_DATA, zeroed<FSRInitData>(), nullptr},
        {0x18000003, {}, nullptr},
        {FSR_MSG_SUCCESS, {}, nullptr},
        {0x180000a3, {}, nullptr},
        {0x18000000, {}, nullptr},
        {FSR_MSG_RESTORE_END, {}, "OnMsgRestoreEnd"},
    };
}

class DispatchTest : public JobFixture {};

TEST_F(DispatchTest, EveryCodeReachesItsHandlerInOrder) {
    EXPECT_EQ(inChild([this] {
                  wzlog::ScopedCapture log;
                  firKeep_.all = true;
                  RecordingJob* job = makeJob<RecordingJob>();
                  ASSERT_EQ(startJob(), FSR_MSG_SUCCESS);
                  runReceiveLoop();
                  std::vector<std::string> expected;
                  std::vector<unsigned long> queued;
                  for (const Step& step : script()) {
                      ASSERT_FALSE(
                          fir_->send(step.code, step.record.empty() ? nullptr : step.record.data(), step.record.size())
                              .IsError());
                      if (step.handler != nullptr) {
                          expected.push_back(step.handler);
                      }
                      if (step.code != FSR_MSG_KEEPALIVE) {
                          queued.push_back(step.code);
                      }
                  }
                  endJob();
                  EXPECT_EQ(job->calls(), expected);
                  EXPECT_EQ(job->_arbiter->seen(), queued);  // keep-alives are never queued
                  EXPECT_EQ(job->_fclRestoreUnix->GetMultiNodeTaskId(), 7);
                  EXPECT_EQ(job->_currentChunkId, 99u);

                  std::vector<unsigned long> unknown;
                  for (const EvRaisedEvent& e : wzplatform::raisedEvents()) {
                      if (e.messageId == 0x1700000e && e.severity == EV_MAJOR) {
                          unknown.push_back(e.arguments.at(0).asUInt64());
                      }
                  }
                  EXPECT_EQ(unknown, (std::vector<unsigned long>{FSR_MSG_INIT_DATA, 0x18000003, FSR_MSG_SUCCESS,
                                                                 0x180000a3, 0x18000000}));
                  // What the FIR got back, in order.
                  ASSERT_TRUE(fir_->waitFor({FSR_MSG_RESTORE_END}, 10000));
                  std::vector<unsigned long> answers;
                  for (const fir::FirMessage& m : fir_->received()) {
                      answers.push_back(m.code);
                  }
                  EXPECT_EQ(answers, (std::vector<unsigned long>{FSR_MSG_SUCCESS, FSR_MSG_META_DATA_FOLDER,
                                                                 FSR_MSG_IMG_RESTORE_END, FSR_MSG_SUCCESS,
                                                                 FSR_MSG_WAIT_ARCHIVE_CLOSED, FSR_MSG_RESTORE_END}));
                  EXPECT_TRUE(log->contains("to Restore Head - not connected!"));
                  destroyJob();
                  EXPECT_EQ(threadCount(), 1);
              }),
              0);
}

TEST_F(DispatchTest, RecordsThatDidNotComeAreNotHandled) {
    RecordingJob job;
    const unsigned long codes[] = {FSR_MSG_SET_PARAMS, FSR_MSG_OPEN_ARCHIVE, FSR_MSG_DISTRIBUTED_TASKID,
                                   FSR_MSG_SEEK_TO_OFFSET_10_V2};
    wzlog::ScopedCapture log;
    for (unsigned long code : codes) {
        FclRestoreMsg msg(code);
        msg.payload = new wzsDatabuf_v2();  // a message that came without its record
        job.dispatchMessage(&msg, false);
        delete msg.payload;
    }
    EXPECT_TRUE(job.calls().empty());
    EXPECT_EQ(log->count("arrived without its record"), 4u);
}

TEST_F(DispatchTest, ChunkTailLongerThanTheRecordIsRefused) {
    RecordingJob job;
    FSROpenChunk chunk;
    chunk.tailLength = 4096;  // nothing of it arrived
    FclRestoreMsg msg(FSR_MSG_OPEN_CHUNK);
    msg.payload = new wzsDatabuf_v2();
    msg.payload->setExternalBuffer(reinterpret_cast<char*>(&chunk), sizeof chunk);
    job.dispatchMessage(&msg, false);
    delete msg.payload;
    EXPECT_TRUE(job.calls().empty());
}

TEST_F(DispatchTest, ErrorReportAnswerWithoutNameStillCountsOff) {
    RecordingJob& job = *makeJob<RecordingJob>();
    job._network = engineEnd_.get();
    job._pendingErrorReports = 2;

    FclRestoreMsg wait(FSR_MSG_WAIT_ARCHIVE_CLOSED);
    job.dispatchMessage(&wait, false);
    EXPECT_EQ(job._waitArchiveClosedPending, 1);

    FSRErrorReport report;  // no name
    for (int i = 0; i < 2; ++i) {
        FclRestoreMsg answer(FSR_MSG_ERROR_REPORT_7_0);
        answer.payload = new wzsDatabuf_v2();
        answer.payload->setExternalBuffer(reinterpret_cast<char*>(&report), sizeof report);
        job.dispatchMessage(&answer, false);
        delete answer.payload;
    }
    EXPECT_EQ(job._pendingErrorReports, 0);
    EXPECT_EQ(job._waitArchiveClosedPending, 0);
    EXPECT_TRUE(fir_->waitFor({FSR_MSG_WAIT_ARCHIVE_CLOSED}, 5000));
    EXPECT_EQ(job.calls(),
              (std::vector<std::string>{"HandleRestoreFileUpdate  385876062", "HandleRestoreFileUpdate  385876062"}));
}

}  // namespace
}  // namespace jobtest
