// Plain seeks go to the restore head as they came, and bring back exactly the items they name; in a restarted job
// the seeks below the restart point are dropped.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/ArchiveIndex.h"
#include "tests/unit/engine/BareJob.h"
#include "tests/unit/engine/PipelineFixture.h"

namespace jobtest {
namespace {

TEST(SeekForward, SeeksAreForwardedAsTheyCame) {
    BareJob<> bare;
    char link[] = "link";
    std::vector<FSRSeekArchive> seeks(2);
    seeks[0] = {7, 8, 9, link, 0x14};
    seeks[1].offset = 11;
    auto array = seekArray<FSRSeekArchiveArray>(seeks);
    EXPECT_TRUE(bare.job.OnMsgSeekToOffset(&array));
    ASSERT_EQ(bare.next(), FSR_MSG_SEEK_TO_OFFSET);
    const auto& sent = bare.record<FSRSeekArchiveArray>();
    ASSERT_EQ(sent.count, 2u);
    EXPECT_EQ(sent.entries[0].offset, 7u);
    EXPECT_EQ(sent.entries[0].secondPosition, 8u);
    EXPECT_EQ(sent.entries[0].version, 9u);
    EXPECT_STREQ(sent.entries[0].linkName, "link");
    EXPECT_EQ(sent.entries[0].flags, 0x14u);
    EXPECT_EQ(sent.entries[1].offset, 11u);
    EXPECT_TRUE(bare.log->contains("FSR_MSG_SEEK_TO_OFFSET [7:8:9:0014:link]"));
    EXPECT_TRUE(bare.log->contains("FSR_MSG_SEEK_TO_OFFSET [11:0:0:0000:unavailable]"));
    EXPECT_EQ(bare.job._seekItemCount, 2u);
}

struct Restart {
    const char* name;
    unsigned long options;
    std::vector<bool> forwarded;  // of messages of 2, 2, 2 and 1 seeks, with the restart point 5
};

const Restart kRestarts[] = {
    {"restart skip", FSR_OPT_RESTART | FSR_OPT_RESTART_SKIP, {false, false, true, true}},
    {"restart without skip", FSR_OPT_RESTART, {true, true, true, true}},
};

TEST(SeekForward, SeeksBelowTheRestartPointAreDroppedUntilTheCountReachesIt) {
    for (const Restart& r : kRestarts) {
        SCOPED_TRACE(r.name);
        BareJob<> bare(r.options);
        bare.job._restartFileNum = 5;
        const std::vector<size_t> counts = {2, 2, 2, 1};
        for (size_t m = 0; m < counts.size(); ++m) {
            std::vector<FSRSeekArchive> seeks(counts[m]);
            seeks[0].offset = 100 + m;
            auto array = seekArray<FSRSeekArchiveArray>(seeks);
            EXPECT_EQ(bare.job.OnMsgSeekToOffset(&array), static_cast<bool>(r.forwarded[m])) << m;
            if (r.forwarded[m]) {
                ASSERT_EQ(bare.next(), FSR_MSG_SEEK_TO_OFFSET) << m;
                EXPECT_EQ(bare.record<FSRSeekArchiveArray>().entries[0].offset, 100 + m);
            }
        }
        EXPECT_EQ(bare.next(1), 0u);
        EXPECT_EQ(bare.job._seekItemCount, 7u);
        EXPECT_EQ(bare.log->contains("Current file number = 4 < restart file number = 5"), !r.forwarded[1]);
    }
}

class SeekJobTest : public PipelineFixture {};

TEST_F(SeekJobTest, SeeksBringBackExactlyTheItemsTheyName) {
    StreamWriter stream(media_, 1);
    std::vector<uint64_t> offsets;
    for (const char* name : {"/root/a", "/root/b", "/root/c", "/root/d"}) {
        offsets.push_back(stream.item(name, 0100644, {"data"}));
    }
    stream.finish();

    EXPECT_EQ(inChild([&] {
                  PipelineJob* job = startPipelineJob();
                  ASSERT_EQ(openArchive(1), FSR_MSG_SUCCESS);
                  seek({offsets[3], offsets[1]});
                  send(FSR_MSG_CLOSE_ARCHIVE);
                  finishJob();
                  EXPECT_EQ(job->streamEvents(),
                            (std::vector<std::string>{"HDR /root/d pre=0", "DATA 4", "EOF /root/d", "HDR /root/b pre=0",
                                                      "DATA 4", "EOF /root/b"}));
                  expectEveryBufferGivenBackOnce();
              }),
              0);
}

// The whole default job of the FIR driver over a backup packed by fcl-pack: a restarted job does not stream the
// items below the restart point.
TEST_F(SeekJobTest, RestartedJobOfAPackedBackupSkipsTheItemsBelowTheRestartPoint) {
    const std::string source = scratch_ / "tree";
    ASSERT_EQ(mkdir(source.c_str(), 0755), 0);
    for (int i = 0; i < 5; ++i) {
        fcltest::writeFile(source + "/f" + std::to_string(i), std::string(100 + i, 'x'));
    }
    ASSERT_EQ(packTree(source, media_), 0);
    fclarchive::IndexReader index;
    ASSERT_TRUE(index.open(fclarchive::indexFilePath(media_, 1)));
    std::vector<fclarchive::IndexEntry> files;
    for (fclarchive::IndexEntry entry; index.next(entry);) {
        files.push_back(entry);
    }
    // The items in the order the seeks go: by offset, the packed root left out.
    files.erase(files.begin());
    std::sort(files.begin(), files.end(),
              [](const fclarchive::IndexEntry& a, const fclarchive::IndexEntry& b) { return a.offset < b.offset; });
    ASSERT_EQ(files.size(), 5u);

    EXPECT_EQ(inChild([&] {
                  wzlog::ScopedCapture log;
                  PipelineJob* job = makeJob<PipelineJob>();
                  job->setup.restartPoint = 3;
                  fir::FirJobOptions options;
                  options.mediaDir = media_;
                  options.destDir = dest_;
                  options.restart = true;
                  options.seeksPerMessage = 1;
                  options.waitMs = 30000;
                  for (const fclarchive::IndexEntry& file : files) {
                      options.paths.push_back(file.path);
                  }
                  fir::FirJobResult result = runHostedJob(*job, engineEnd_.get(), *fir_, options);
                  EXPECT_EQ(result.outcome, fir::FirOutcome::Succeeded) << result.reason;
                  std::vector<std::string> headers;
                  for (const std::string& event : job->events()) {
                      if (event.compare(0, 4, "HDR ") == 0) {
                          headers.push_back(event);
                      }
                  }
                  // Seek messages 1 and 2 lie below the restart point 3.
                  std::vector<std::string> expected;
                  for (size_t i = 2; i < files.size(); ++i) {
                      expected.push_back("HDR " + files[i].path + " pre=0");
                  }
                  EXPECT_EQ(headers, expected);
                  EXPECT_TRUE(log->contains("Current file number = 2 < restart file number = 3"));
                  EXPECT_EQ(job->_seekItemCount, 5u);
              }),
              0);
}

}  // namespace
}  // namespace jobtest
