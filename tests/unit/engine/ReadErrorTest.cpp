// Bytes of the backup that cannot be read, end to end: a packed tree, one of its file's data buffers unreadable on
// the medium, the FIR driver's default job against a real job. The file fails once with the read-error id, the rest
// is restored, the FIR's answer names the file, and the archive-close handshake waits for that answer (or for its
// deadline).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/archive/ArchiveHooks.h"
#include "platform/log/LogWriter.h"
#include "platform/results/StoreResults.h"
#include "tests/unit/engine/PipelineFixture.h"
#include "tools/fir/ArchiveIndexFile.h"

namespace jobtest {
namespace {

constexpr size_t kPackBuffer = 256 << 10;  // the packer's data buffer

std::atomic<long long> g_clockAhead{0};
long long aheadClock() {
    return static_cast<long long>(time(nullptr)) + g_clockAhead.load();
}

struct ReadErrorCase {
    const char* name;
    bool seeks;     // the FIR selects items, so the data mover serves seeks instead of reading the whole file
    bool answered;  // the FIR answers the report once the engine waits for it; else the answer never comes
};

const ReadErrorCase kCases[] = {
    {"ReadWholeAnsweredLate", false, true},
    {"SeeksAnsweredLate", true, true},
    {"ReadWholeNeverAnswered", false, false},
};

struct SourceFile {
    const char* name;
    size_t size;
    bool selected;  // taken when the FIR selects items
};

const SourceFile kFiles[] = {{"a-small", 1000, false},
                             {"big", 4 * kPackBuffer + 5, true},
                             {"empty", 0, false},
                             {"sub/z-after", 300 << 10, true}};

std::string contentOf(const SourceFile& f) {
    std::string data(f.size, '\0');
    for (size_t i = 0; i < f.size; ++i) {
        data[i] = static_cast<char>('a' + (i * 7 + f.size) % 26);
    }
    return data;
}

class ReadErrorTest : public PipelineFixture, public ::testing::WithParamInterface<ReadErrorCase> {};

TEST_P(ReadErrorTest, TheFileFailsOnceTheRestIsRestoredAndTheCloseWaitsForTheAnswer) {
    const ReadErrorCase& row = GetParam();
    const std::string source = scratch_ / "tree";
    ASSERT_EQ(mkdir(source.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((source + "/sub").c_str(), 0755), 0);
    for (const SourceFile& f : kFiles) {
        fcltest::writeFile(source + "/" + f.name, contentOf(f));
    }
    ASSERT_EQ(packTree(source, media_), 0);
    // The data buffers the mover reads before the big file's second one, from the index's item order.
    fir::ArchiveIndex index;
    std::string why;
    ASSERT_TRUE(fir::readArchiveIndex(media_, 1, &index, &why)) << why;
    unsigned buffersBefore = 0;
    bool found = false;
    for (const fclarchive::IndexEntry& item : index.items) {
        for (const SourceFile& f : kFiles) {
            if (item.path != source + "/" + f.name) {
                continue;
            }
            if (std::string(f.name) == "big") {
                found = true;
            } else if (!found && (!row.seeks || f.selected)) {
                buffersBefore += static_cast<unsigned>((f.size + kPackBuffer - 1) / kPackBuffer);
            }
        }
    }
    ASSERT_TRUE(found);

    EXPECT_EQ(
        inChild([&] {
            wzlog::ScopedCapture log;
            g_clockAhead = 0;
            fclarchive::hooks::failDataRead(buffersBefore + 1);
            FclRestore* job = makeJob();
            job->_clock = aheadClock;
            fir_->setAnswerErrorReports(false);
            std::atomic<bool> released{false};
            std::atomic<int> earlyReplies{0};
            fir_->setObserver([&](const fir::FirMessage& m) {
                if (m.code == FSR_MSG_WAIT_ARCHIVE_CLOSED && !released.load()) {
                    ++earlyReplies;
                }
            });
            // Once the engine holds the handshake for the outstanding report: the answer, or the deadline.
            std::atomic<bool> sawWait{false};
            std::thread releaser([&] {
                sawWait = eventually(
                    [&] { return log->contains("Will wait all (1) reply for FSR_MSG_ERROR_REPORT_7_0."); }, 60000);
                std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                released = true;
                if (row.answered) {
                    fir_->setAnswerErrorReports(true);
                } else {
                    g_clockAhead = 181;
                }
            });
            fir::FirJobOptions options;
            options.mediaDir = media_;
            options.destDir = dest_;
            options.waitMs = 60000;
            if (row.seeks) {
                options.paths = {source + "/big", source + "/sub"};
            }
            fir::FirJobResult result = runHostedJob(*job, engineEnd_.get(), *fir_, options);
            releaser.join();
            fir_->setObserver(nullptr);

            EXPECT_TRUE(sawWait.load()) << "the close handshake never waited for the report";
            EXPECT_EQ(earlyReplies.load(), 0) << "the handshake was answered while the report was open";
            EXPECT_EQ(result.outcome, fir::FirOutcome::Succeeded) << result.reason;
            const std::string big = source + "/big";
            if (row.answered) {
                EXPECT_EQ(result.reportsAnswered, std::vector<std::string>{big});
            } else {
                EXPECT_TRUE(result.reportsAnswered.empty());
            }
            ASSERT_NE(job->_results, nullptr);
            EXPECT_EQ(statusesOf(job->_results->filePath(), "/big"), std::vector<int>{10});
            EXPECT_EQ(job->_statistics->getNumFilesFailed(), 1u);
            EXPECT_TRUE(log->contains("FSR_MSG_ERROR_REPORT nodeNumHigh:0 nodeNumLow:0 archiveId:1 offset:"));
            for (const SourceFile& f : kFiles) {
                SCOPED_TRACE(f.name);
                const std::string copy = dest_ + source + "/" + f.name;
                if (std::string(f.name) == "big") {
                    EXPECT_NE(fcltest::readFile(copy), contentOf(f)) << "the cut file looks complete";
                } else if (!row.seeks || f.selected) {
                    EXPECT_EQ(fcltest::readFile(copy), contentOf(f));
                    EXPECT_EQ(statusesOf(job->_results->filePath(), std::string("/") + f.name), std::vector<int>{5});
                }
            }
            destroyJob();
        }),
        0);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReadErrorTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ReadErrorCase>& info) { return info.param.name; });

}  // namespace
}  // namespace jobtest
