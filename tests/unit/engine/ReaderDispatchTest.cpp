// The pipeline reader's dispatch of a real archive's stream: each buffer type to its handler with its payload
// length, every buffer given back once, nothing read after the end of the archive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/PerfCounterTable.h"
#include "platform/archive/ArchiveHooks.h"
#include "platform/archive/StreamRecords.h"
#include "protocol/PipelineBuffer.h"
#include "tests/unit/engine/PipelineFixture.h"

namespace jobtest {
namespace {

class ReaderDispatchTest : public PipelineFixture {
protected:
    std::vector<std::string> streamEvents() { return job().streamEvents(); }
};

std::string bytes(size_t n) {
    return std::string(n, 'x');
}

std::string probeReply(uint64_t token, uint64_t flags) {
    unsigned char payload[16];
    fclarchive::encodeProbeReply(token, flags, payload);
    return std::string(reinterpret_cast<char*>(payload), sizeof payload);
}

TEST_F(ReaderDispatchTest, EachTypeGoesToItsHandlerWithItsLengthAndUnknownTypesArePassedOver) {
    StreamWriter stream(media_, 1);
    struct Buffer {
        unsigned long type;
        std::string payload;
        const char* event;  // what the handler records; null: no handler
    };
    const std::vector<Buffer> buffers = {
        {PL_AFILE_OPENED, bytes(3), "AFILE_OPENED"},
        {PL_FS_PREHDR, bytes(1036), "PREHDR"},
        {PL_FS_OPT_HDR, bytes(16), "OPT_HDR 16"},
        {PL_DATA, bytes(5), "DATA 5"},
        {PL_HOLE, bytes(4), "HOLE"},
        {0x1, bytes(6), nullptr},
        {PL_FS_OPT_HDR2, bytes(7), "OPT_HDR2 7"},
        {PL_FS_OPT_HDR3, bytes(8), "OPT_HDR3 8"},
        {0x83, bytes(6), nullptr},
        {PL_FS_OPT_HDR4, bytes(9), "OPT_HDR4 9"},
        {PL_FS_INDEX_HDR, bytes(10), "INDEX_HDR 10"},
        {PL_FS_EXTENTS, bytes(11), "EXTENTS 11"},
        {PL_FS_EXTENT_DATA, bytes(12), "EXTENT_DATA 12"},
        {PL_SDM_PARAMERTERS, bytes(13), "SDM_PARAMETERS 13"},
        {PL_SDM_PADDING, bytes(14), "SDM_PADDING 14"},
        {0x100, bytes(6), nullptr},
        {PL_VS_DISK_INFO, bytes(15), "VS_DISK_INFO 15"},
        {PL_VS_VOL_HEADER_INFO, bytes(16), "VS_VOL_HEADER_INFO 16"},
        {PL_VS_VOL_HEADER_METADATA, bytes(17), "VS_VOL_HEADER_METADATA 17"},
        {PL_VS_VOL_HEADER_METADATA_EOF, bytes(18), "VS_VOL_HEADER_METADATA_EOF 18"},
        {PL_DM_SI_LINK, bytes(19), "DM_SI_LINK 19"},
        {PL_FS_CLDEDUP, bytes(20), "CLDEDUP 20"},
        {PL_FS_SYSTEM_STATE_ITEM_METADATA_HDR, bytes(21), "SYSTEM_STATE 21"},
        {0x156, bytes(6), nullptr},
        {PL_FS_READ_ERR, bytes(80), "READ_ERR"},
        {PL_FS_PROBE_REPLY, probeReply(4096, 1), "PROBE_REPLY 16"},
        {PL_FS_HI_WATER_MARK, "", nullptr},
        {PL_FS_LO_WATER_MARK, "", nullptr},
        // A head name without its NUL is read no further than its length.
        {PL_RESTORE_HEAD_NAME, "head-7", nullptr},
    };
    std::vector<std::string> expected = {"HDR /root/a pre=0"};
    stream.header("/root/a", 0100644);
    for (const Buffer& b : buffers) {
        stream.buffer(b.type, b.payload);
        if (b.event != nullptr) {
            expected.push_back(b.event);
        }
    }
    stream.buffer(PL_FS_BAD_FILE, "");
    expected.push_back("BAD_FILE /root/a");
    stream.finish();
    // Types no archive file holds: the data mover refuses them, a foreign reader might not.
    fclarchive::hooks::passAnyBufferType(true);

    EXPECT_EQ(inChild([&] {
                  startPipelineJob();
                  ASSERT_EQ(openArchive(1), FSR_MSG_SUCCESS);
                  send(FSR_MSG_READ_ALL);
                  send(FSR_MSG_CLOSE_ARCHIVE);
                  finishJob();
                  EXPECT_EQ(streamEvents(), expected);
                  EXPECT_TRUE(log().contains("Restore Head Name = head-7"));
                  EXPECT_FALSE(log().contains("Restore Head Name = head-7x"));
                  EXPECT_EQ(log().count("Received PL_FS_HI_WATER_MARK buffer"), 1u);
                  EXPECT_EQ(log().count("Received PL_FS_LO_WATER_MARK buffer"), 1u);
                  EXPECT_TRUE(log().contains("Received PL_FS_CLOSE_AFILE buffer. Exiting thread..."));
                  // The probe reply widened the seek window by one batch.
                  EXPECT_EQ(job_->_fclRestoreUnix->_seeksAllowed, 3 * FclRestoreUNIX::kDefaultSeekMarkerBatch);
                  expectEveryBufferGivenBackOnce();
                  EXPECT_TRUE(log().contains("Restore successful - sending FSR_MSG_RESTORE_END"));
              }),
              0);
}

// Each timed type moves its own counters once per buffer, the disk-write counter by the data's bytes; a bad-file
// marker and a hole-free stream leave the end-of-file and hole counters alone.
TEST_F(ReaderDispatchTest, TimedTypesMoveTheirOwnCounters) {
    StreamWriter stream(media_, 1);
    stream.header("/root/a", 0100644);
    stream.buffer(PL_FS_OPT_HDR, bytes(16));
    stream.buffer(PL_DATA, bytes(5));
    stream.buffer(PL_DATA, bytes(7));
    stream.buffer(PL_FS_HI_WATER_MARK, "");
    stream.buffer(PL_FS_LO_WATER_MARK, "");
    stream.buffer(PL_FS_LO_WATER_MARK, "");
    stream.buffer(PL_FS_EOF, "");
    stream.item("/root/b", 0100644, {}, PL_FS_BAD_FILE);
    stream.buffer(PL_FS_CLOSE_AFILE, "");
    stream.finish();
    // The close marker inside the file stands for what a foreign reader would send.
    fclarchive::hooks::passAnyBufferType(true);
    struct Moved {
        int counter;
        unsigned long long count;
        unsigned long long bytes;
    };
    const Moved expected[] = {
        {kPerfOpenFile, 2, 0},   {kPerfWriteOptHdr, 1, 0}, {kPerfRecvData, 2, 0},
        {kPerfDiskWrite, 2, 12}, {kPerfRecvEOF, 1, 0},     {kPerfHiWater, 1, 0},
        {kPerfLoWater, 2, 0},    {kPerfCloseAFile, 1, 0},  {kPerfRecvHole, 0, 0},
    };

    EXPECT_EQ(inChild([&] {
                  startPipelineJob();
                  job_->_perfCounter.setEnabled(true);
                  ASSERT_EQ(openArchive(1), FSR_MSG_SUCCESS);
                  send(FSR_MSG_READ_ALL);
                  ASSERT_TRUE(readerEnded(20000));
                  for (const Moved& m : expected) {
                      const PerfCounter::Figures f = job_->_perfCounter.fileFigures(m.counter);
                      EXPECT_EQ(f.count, m.count) << job_->_perfCounter.counterName(m.counter);
                      EXPECT_EQ(f.bytes, m.bytes) << job_->_perfCounter.counterName(m.counter);
                  }
                  send(FSR_MSG_CLOSE_ARCHIVE);
                  finishJob();
              }),
              0);
}

TEST_F(ReaderDispatchTest, NothingIsReadAfterTheEndOfTheArchive) {
    StreamWriter stream(media_, 1);
    stream.item("/root/a", 0100644, {"aaa"});
    stream.buffer(PL_FS_CLOSE_AFILE, "");
    stream.item("/root/b", 0100644, {"bbb"});
    stream.finish();
    fclarchive::hooks::passAnyBufferType(true);

    EXPECT_EQ(inChild([&] {
                  startPipelineJob();
                  ASSERT_EQ(openArchive(1), FSR_MSG_SUCCESS);
                  send(FSR_MSG_READ_ALL);
                  ASSERT_TRUE(readerEnded(20000));
                  EXPECT_EQ(streamEvents(), (std::vector<std::string>{"HDR /root/a pre=0", "DATA 3", "EOF /root/a"}));
                  expectEveryBufferGivenBackOnce();
                  send(FSR_MSG_CLOSE_ARCHIVE);
                  finishJob();
                  EXPECT_EQ(streamEvents().size(), 3u);
              }),
              0);
}

TEST_F(ReaderDispatchTest, HeaderAfterAnEndOfItemSeesAZeroedPreHeader) {
    StreamWriter stream(media_, 1);
    stream.buffer(PL_FS_PREHDR, bytes(1036));
    stream.item("/root/a", 0100644);
    stream.item("/root/b", 0100644);
    stream.buffer(PL_FS_PREHDR, bytes(1036));
    stream.item("/root/c", 0100644, {}, PL_FS_BAD_FILE);
    stream.item("/root/d", 0100644);
    stream.finish();

    EXPECT_EQ(inChild([&] {
                  startPipelineJob();
                  ASSERT_EQ(openArchive(1), FSR_MSG_SUCCESS);
                  send(FSR_MSG_READ_ALL);
                  send(FSR_MSG_CLOSE_ARCHIVE);
                  finishJob();
                  EXPECT_EQ(streamEvents(),
                            (std::vector<std::string>{"PREHDR", "HDR /root/a pre=4", "EOF /root/a", "HDR /root/b pre=0",
                                                      "EOF /root/b", "PREHDR", "HDR /root/c pre=4", "BAD_FILE /root/c",
                                                      "HDR /root/d pre=0", "EOF /root/d"}));
                  expectEveryBufferGivenBackOnce();
              }),
              0);
}

}  // namespace
}  // namespace jobtest
