// The seek window: a seek marker after each batch of forwarded seek messages, the message processor suspended when
// the window is full, and the probe replies of the restore head that widen it.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/archive/StreamRecords.h"
#include "platform/support/ByteOrder.h"
#include "tests/unit/engine/BareJob.h"
#include "tests/unit/engine/PipelineFixture.h"

namespace jobtest {
namespace {

// What the restore head received: each code, and the count and second field of each seek marker.
struct HeadLog {
    std::vector<unsigned long> codes;
    std::vector<std::pair<long long, unsigned long long>> markers;
};

HeadLog drain(HeadPair& head, size_t messages) {
    HeadLog got;
    wzsDatabuf_v2 data;
    while (got.codes.size() < messages) {
        unsigned long code = head.next(10, &data);
        if (code == 0) {
            break;
        }
        got.codes.push_back(code);
        if (code == FSR_MSG_PROBE_RESTORE_HEAD) {
            const auto& probe = *reinterpret_cast<const FSRProbeRstHead*>(data.getDataBuffer());
            got.markers.emplace_back(probe.numSeekMsgs, probe.reserved1);
        }
    }
    return got;
}

// A PL_FS_PROBE_REPLY buffer as the reader hands it out.
std::vector<unsigned char> probeReplyBuffer(uint64_t token, uint64_t flags) {
    std::vector<unsigned char> buffer(PL_BUF_HEADER_SIZE + 16, 0);
    fclarchive::encodeProbeReply(token, flags, buffer.data() + PL_BUF_HEADER_SIZE);
    return buffer;
}

TEST(SeekWindow, DefaultWindowMarksEachBatchAndSuspendsAtTwoBatches) {
    BareJob<> bare;
    FclRestoreUNIX& unix = *bare.job._fclRestoreUnix;
    FSRSeekArchive entry;
    FSRSeekArchiveArray array;
    array.count = 1;
    array.entries = &entry;
    HeadLog got;
    std::thread head([&] { got = drain(bare.head, 8192 + 2); });
    for (int i = 1; i <= 8192; ++i) {
        ASSERT_TRUE(bare.job.OnMsgSeekToOffset(&array));
        ASSERT_EQ(unix._suspendReasons, i < 8192 ? 0u : 1u) << "after message " << i;
    }
    head.join();
    ASSERT_EQ(got.codes.size(), 8192u + 2);
    EXPECT_EQ(got.codes[4096], static_cast<unsigned long>(FSR_MSG_PROBE_RESTORE_HEAD));
    EXPECT_EQ(got.codes[8193], static_cast<unsigned long>(FSR_MSG_PROBE_RESTORE_HEAD));
    EXPECT_EQ(got.markers, (std::vector<std::pair<long long, unsigned long long>>{{4096, 1}, {8192, 1}}));
    EXPECT_EQ(unix._seeksSent, 8192);
    // The marker goes out before the processor is suspended.
    const auto lines = bare.log->lines();
    size_t marker = lines.size();
    size_t suspend = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].text == "Sending seek marker, num-msgs=8192") {
            marker = i;
        }
        if (lines[i].text == "Suspending seek forwarding, seeks sent=8192, seeks allowed=8192") {
            suspend = i;
        }
    }
    EXPECT_LT(marker, suspend);
    EXPECT_LT(suspend, lines.size());

    // A reply without the flag changes nothing; one with it allows one more batch. Either is read in place.
    std::vector<unsigned char> none = probeReplyBuffer(7, 0);
    bare.job.OnBufferPlFSProbeReply(none.data(), 16);
    EXPECT_EQ(unix._seeksAllowed, 8192);
    std::vector<unsigned char> more = probeReplyBuffer(4096, 1);
    bare.job.OnBufferPlFSProbeReply(more.data(), 16);
    EXPECT_EQ(unix._seeksAllowed, 8192 + 4096);
    uint64_t token = 0;
    uint64_t flags = 0;
    memcpy(&token, more.data() + PL_BUF_HEADER_SIZE, 8);
    memcpy(&flags, more.data() + PL_BUF_HEADER_SIZE + 8, 8);
    EXPECT_EQ(token, 4096u);
    EXPECT_EQ(flags, 1u);
    EXPECT_TRUE(bare.log->contains("Processing Probe Head Reply. Flags = 1, Token = 4096 "));
}

TEST(SeekWindow, ProbeReplyTooShortForItsFieldsIsNotRead) {
    BareJob<> bare;
    std::vector<unsigned char> reply = probeReplyBuffer(1, 1);
    bare.job.OnBufferPlFSProbeReply(reply.data(), 15);
    bare.job.OnBufferPlFSProbeReply(reply.data(), -1);
    EXPECT_EQ(bare.job._fclRestoreUnix->_seeksAllowed, 8192);
    EXPECT_EQ(bare.log->count("carries no token and flags: ignored"), 2u);
    EXPECT_EQ(wzbytes::loadBE64(reply.data() + PL_BUF_HEADER_SIZE + 8), 1u) << "left as received";
}

TEST(SeekWindow, RepliesBeyondAllCountingKeepTheWindowOpen) {
    BareJob<> bare;
    FclRestoreUNIX& unix = *bare.job._fclRestoreUnix;
    unix._seeksAllowed = INT_MAX - 10;
    std::vector<unsigned char> reply = probeReplyBuffer(1, 1);
    bare.job.OnBufferPlFSProbeReply(reply.data(), 16);
    EXPECT_EQ(unix._seeksAllowed, INT_MAX);
}

TEST(SeekWindow, EmptyPlainSeekArrayIsForwardedAndCounted) {
    BareJob<> bare;
    FSRSeekArchiveArray array;
    EXPECT_TRUE(bare.job.OnMsgSeekToOffset(&array));
    ASSERT_EQ(bare.next(), FSR_MSG_SEEK_TO_OFFSET);
    EXPECT_EQ(bare.record<FSRSeekArchiveArray>().count, 0u);
    EXPECT_EQ(bare.job._fclRestoreUnix->_seeksSent, 1);
}

class SeekWindowJobTest : public PipelineFixture {};

TEST_F(SeekWindowJobTest, ProbeRepliesOfTheRestoreHeadReopenASmallWindow) {
    fcltest::writeFile(settingsPath_, "[FileSystemAgent]\nnSeekMarkerBatchSize = 2\n");
    StreamWriter stream(media_, 1);
    std::vector<uint64_t> offsets;
    for (int i = 0; i < 8; ++i) {
        offsets.push_back(stream.item("/root/f" + std::to_string(i), 0100644, {"x"}));
    }
    stream.finish();

    EXPECT_EQ(inChild([&] {
                  PipelineJob* job = startPipelineJob();
                  ASSERT_EQ(job->_fclRestoreUnix->_seeksAllowed, 4);
                  // The first probe reply waits until the window is full: a head that answers sooner would widen it
                  // before it fills.
                  job->holdAt("PROBE_REPLY");
                  ASSERT_EQ(openArchive(1), FSR_MSG_SUCCESS);
                  for (uint64_t offset : offsets) {
                      seek({offset});
                  }
                  EXPECT_TRUE(logged("Suspending seek forwarding, seeks sent=4, seeks allowed=4", 20000));
                  job->release();
                  send(FSR_MSG_CLOSE_ARCHIVE);
                  finishJob();
                  for (int i = 0; i < 8; ++i) {
                      EXPECT_TRUE(job->waitFor("EOF /root/f" + std::to_string(i), 0)) << i;
                  }
                  EXPECT_TRUE(log().contains("Processing Probe Head Reply. Flags = 1, Token = 2 "));
                  EXPECT_TRUE(log().contains("Resumign restore message processor"));
                  EXPECT_TRUE(log().contains("Sending seek marker, num-msgs=8"));
                  EXPECT_EQ(job->_fclRestoreUnix->_seeksSent, 8);
              }),
              0);
}

}  // namespace
}  // namespace jobtest
