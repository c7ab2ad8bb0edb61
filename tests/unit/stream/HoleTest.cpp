// Holes: made sparse or written as zeros by the job's sparse option and hole threshold, fitted to the byte range of
// a mapped partial restore, written out from one shared zero page in chunks of 64 KiB.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "clRestore/objects/FsRestoreUnixObject.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/stream/StreamFixture.h"

namespace {

struct HoleCase {
    const char* label;
    int threshold;
    bool sparseOption;
    uint32_t length;
    bool madeSparse;
};

const HoleCase kHoleCases[] = {
    {"exactlyTheThresholdIsSparse", 4096, false, 4096, true},
    {"oneByteShortIsWritten", 4096, false, 4095, false},
    {"noThresholdWritesEveryHole", -1, false, 1u << 20, false},
    {"sparseOptionWithoutThreshold", -1, true, 1u << 20, true},
    {"sparseOptionBelowThreshold", 4096, true, 10, true},
    {"zeroThresholdMakesEveryHoleSparse", 0, false, 1, true},
    // Lengths of 2 GiB and more are unsigned, both for the threshold test and for the hole made.
    {"twoGiBHoleIsNotNegative", 0, false, 0x80000000u, true},
    {"largestHoleAgainstLargeThreshold", 0x7fffffff, false, 0xffffffffu, true},
};

class HoleChoice : public streamtest::StreamFixture, public ::testing::WithParamInterface<HoleCase> {
protected:
    HoleChoice() : StreamFixture(GetParam().sparseOption ? static_cast<unsigned long>(FSR_OPT_SPARSE_RESTORE) : 0UL) {}
};

TEST_P(HoleChoice, FollowsTheSparseOptionAndTheThreshold) {
    const HoleCase& c = GetParam();
    job_->_holeThreshold = c.threshold;
    header("/f");
    hole(c.length);
    EXPECT_EQ(c.length, job_->_currFileSize);
    if (c.madeSparse) {
        EXPECT_EQ(std::vector<std::string>{"hole " + std::to_string(c.length)}, callsFrom("hole"));
        EXPECT_TRUE(journal_.writeLengths.empty());
    } else {
        EXPECT_EQ(c.length, std::accumulate(journal_.writeLengths.begin(), journal_.writeLengths.end(), 0ull));
        EXPECT_EQ(std::string(c.length, '\0'), journal_.bytes);
        EXPECT_TRUE(callsFrom("hole").empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HoleChoice, ::testing::ValuesIn(kHoleCases),
                         [](const ::testing::TestParamInfo<HoleCase>& info) { return info.param.label; });

class Holes : public streamtest::StreamFixture {};

TEST_F(Holes, WrittenZerosGoInChunksOfOnePageSharedByEveryHole) {
    header("/f");
    hole(3 * 65536 + 3392);
    EXPECT_EQ((std::vector<int>{65536, 65536, 65536, 3392}), journal_.writeLengths);
    header("/g");
    hole(10);
    eof();
    EXPECT_EQ(1u, journal_.zeroSources.size());
}

TEST_F(Holes, AWriteFailureStopsTheZerosAfterItsChunk) {
    streamtest::Plan plan;
    plan.script.failWriteAt = 0;
    factory_->plans["/f"] = plan;
    header("/f");
    hole(3 * 65536 + 3392);
    EXPECT_EQ(std::vector<int>{65536}, journal_.writeLengths);
}

// A skipped item's object answers 1 with its code already set: the zeros still stop without failing the item.
TEST_F(Holes, ACodeThatAppearsDuringTheZerosStopsThem) {
    streamtest::Plan plan;
    plan.script.failWriteAt = 1;
    plan.script.failAnswersOne = true;
    plan.script.failCode = 0x17000040;
    factory_->plans["/f"] = plan;
    header("/f");
    hole(4 * 65536);
    EXPECT_EQ((std::vector<int>{65536, 65536}), journal_.writeLengths);
    eof();
    EXPECT_EQ(std::vector<std::string>{"/dst/f 0x17000040 obj"}, journal_.results);
}

// A code the object set at its open (a conflict name, say) is not a reason to stop writing a hole's zeros.
TEST_F(Holes, ACodeFromTheOpenDoesNotShortenTheZeros) {
    streamtest::Plan plan;
    plan.script.openCode = 0x17000071;
    factory_->plans["/f"] = plan;
    header("/f");
    hole(3 * 65536);
    EXPECT_EQ((std::vector<int>{65536, 65536, 65536}), journal_.writeLengths);
}

TEST_F(Holes, SparseHolesAreFittedToTheMappedByteRange) {
    job_->_holeThreshold = 0;
    header("/f");
    fileRange = fileRange_t(1000, -1);
    hole(600);
    EXPECT_TRUE(callsFrom("hole").empty());
    EXPECT_EQ(600, fileRange.seen);
    hole(600);
    EXPECT_EQ(std::vector<std::string>{"hole 200"}, callsFrom("hole"));
    EXPECT_EQ(1200, fileRange.seen);

    fileRange = fileRange_t(0, 1000);
    fileRange.seen = 900;
    hole(500);
    EXPECT_EQ("hole 100", journal_.calls.back());
    EXPECT_EQ(1000, fileRange.seen);
    hole(500);
    EXPECT_EQ("hole 100", journal_.calls.back());
}

TEST_F(Holes, AHoleBufferTooShortForItsLengthFailsTheItem) {
    header("/f");
    job_->_removeFileOnError = false;
    std::vector<unsigned char> buffer = streamtest::pipelineBuffer(2);
    job_->OnBufferPlHole(buffer.data());
    data("after");
    eof();
    EXPECT_TRUE(journal_.writeLengths.empty());
    EXPECT_EQ(std::vector<std::string>{"/dst/f 0x1700003e obj"}, journal_.results);
}

}  // namespace
