// A stream of headers, data, holes and ends of file drives each item's object through its operations in order and
// records one result per item.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/events/EvEvent.h"
#include "platform/log/LogWriter.h"
#include "tests/unit/stream/StreamFixture.h"

namespace {

using streamtest::Plan;
using Calls = std::vector<std::string>;

class StreamOrder : public streamtest::StreamFixture {};

TEST_F(StreamOrder, EachItemRunsFromCreateToDestroyAndRecordsOneResult) {
    header("/src/a");
    data("hello", 3);
    hole(100);
    data("xy", 1);
    eof();
    EXPECT_EQ(107u, job_->getStatistics()->getCurrFileSize());
    EXPECT_EQ(4u, job_->getStatistics()->getCurrFileCompSize());
    header("/src/d", 040755);
    eof();

    const Calls expected = {"create /src/a v0",
                            "open /dst/src/a",
                            "write 5",
                            "write 100",
                            "write 2",
                            "close /dst/src/a code=0x0",
                            "result /dst/src/a 0x0 obj",
                            "destroy /dst/src/a",
                            "create /src/d v0",
                            "open /dst/src/d",
                            "close /dst/src/d code=0x0",
                            "result /dst/src/d 0x0 obj",
                            "destroy /dst/src/d"};
    EXPECT_EQ(expected, journal_.calls);
    EXPECT_EQ("hello" + std::string(100, '\0') + "xy", journal_.bytes);
    EXPECT_EQ(nullptr, job_->_ro);
}

// The data buffer's payload is handed over where it lies: the handler neither copies nor allocates per buffer.
TEST_F(StreamOrder, DataGoesToTheObjectStraightFromTheArchiveBuffer) {
    struct AddressObject : FsRestoreObject {
        std::vector<const void*> seen;
        int writeData(void* buffer, int) override {
            seen.push_back(buffer);
            return 1;
        }
    };
    AddressObject object;
    job_->_ro = &object;
    std::vector<unsigned char> buffer = streamtest::pipelineBuffer(8);
    job_->OnBufferPlData(buffer.data(), 8);
    job_->_ro = nullptr;
    ASSERT_EQ(1u, object.seen.size());
    EXPECT_EQ(buffer.data() + 96, object.seen[0]);
}

struct NoObjectCase {
    const char* label;
    Plan plan;
    std::string expectedResult;
};

Plan declined(unsigned long code) {
    Plan plan;
    plan.kind = Plan::kDecline;
    plan.code = code;
    return plan;
}

Plan thrown(unsigned long code) {
    Plan plan;
    plan.kind = Plan::kThrow;
    plan.code = code;
    return plan;
}

Plan nullWithoutCode() {
    Plan plan;
    plan.kind = Plan::kNullWithoutCode;
    return plan;
}

Plan openFails(unsigned long code) {
    Plan plan;
    plan.script.openResult = 0;
    plan.script.openCode = code;
    return plan;
}

const NoObjectCase kNoObjectCases[] = {
    {"declined", declined(0x17000040), "/item 0x17000040"},
    {"thrownByNaming", thrown(0x1700005b), "/item 0x1700005b"},
    {"nullWithoutCodeIsNoMemory", nullWithoutCode(), "/item 0x1700000b"},
    {"openFailed", openFails(0x17000017), "/item 0x17000017"},
};

class ItemWithoutObject : public streamtest::StreamFixture, public ::testing::WithParamInterface<NoObjectCase> {};

TEST_P(ItemWithoutObject, DropsItsDataAndRecordsItsCodeAtItsEnd) {
    factory_->plans["/item"] = GetParam().plan;
    header("/item");
    data("abc");
    hole(10);
    eof();
    EXPECT_EQ(nullptr, job_->_ro);
    EXPECT_TRUE(journal_.writeLengths.empty());
    EXPECT_EQ(13u, job_->_currFileSize);
    EXPECT_EQ(std::vector<std::string>{GetParam().expectedResult}, journal_.results);
    // The next item starts clean.
    header("/next");
    eof();
    EXPECT_EQ("/dst/next 0x0 obj", journal_.results.back());
}

INSTANTIATE_TEST_SUITE_P(Table, ItemWithoutObject, ::testing::ValuesIn(kNoObjectCases),
                         [](const ::testing::TestParamInfo<NoObjectCase>& info) { return info.param.label; });

TEST_F(StreamOrder, AnObjectThatCannotBeAllocatedSaysSoAndTheJobGoesOn) {
    factory_->plans["/item"] = nullWithoutCode();
    header("/item");
    EXPECT_EQ("Restore: Insufficient memory for process execution.", job_->getFailureReason());
    bool raised = false;
    for (const EvRaisedEvent& event : wzplatform::raisedEvents()) {
        raised = raised || event.messageId == 0x1700000b;
    }
    EXPECT_TRUE(raised);
    EXPECT_FALSE(job_->isFatalError());
}

TEST_F(StreamOrder, AMissingEndClosesThePreviousObjectWithoutAResult) {
    header("/a");
    data("1234");
    header("/b");
    eof();
    const Calls expected = {"create /a v0",          "open /dst/a",   "write 4",     "close /dst/a code=0x0",
                            "destroy /dst/a",        "create /b v0",  "open /dst/b", "close /dst/b code=0x0",
                            "result /dst/b 0x0 obj", "destroy /dst/b"};
    EXPECT_EQ(expected, journal_.calls);
}

// An item a rule leaves out ends the previous item's object first, so that its own data cannot reach it, and its end
// records it as skipped by its rule, whatever the item before it left in the factory's code.
TEST_F(StreamOrder, AnItemLeftOutByARuleNeitherFeedsThePreviousObjectNorPassesForRestored) {
    job_->_initData->appType = 0x16;
    header("/a");
    header("/x/{20d03aa2-7726-42d8-8381-fdda7a8a1c47}/y");
    data("zz");
    eof();
    const Calls expected = {"create /a v0", "open /dst/a", "close /dst/a code=0x0", "destroy /dst/a",
                            "result /x/{20d03aa2-7726-42d8-8381-fdda7a8a1c47}/y 0x170000b2"};
    EXPECT_EQ(expected, journal_.calls);
    EXPECT_EQ(fclitem::kSkippedByRule, 0x170000b2UL);
}

TEST_F(StreamOrder, AHeaderBufferTooShortForAHeaderFailsTheItem) {
    std::vector<unsigned char> buffer = streamtest::pipelineBuffer(100);
    job_->OnBufferPlFsHdr(buffer.data(), &hdr_, &prehdr_);
    data("abc");
    eof();
    EXPECT_TRUE(journal_.writeLengths.empty());
    EXPECT_EQ(std::vector<std::string>{" 0x1700003e"}, journal_.results);
}

TEST_F(StreamOrder, EndOfFileWithoutObjectOrHeaderSendsAStatusWithoutName) {
    wzlog::ScopedCapture capture(0);
    std::vector<unsigned char> buffer = streamtest::pipelineBuffer(0);
    job_->OnBufferPlFsEof(buffer.data(), nullptr);
    EXPECT_TRUE(capture->contains("Sending status [385875976], media read err where the file name is not supplied."));
    EXPECT_TRUE(journal_.results.empty());
}

TEST_F(StreamOrder, ADependantPathIsReportedAfterTheClose) {
    struct DependantObject : FsRestoreObject {
        char path[16] = "/dst/base";
        char* getDependantPath() override { return path; }
        std::string getTranslatedPathname() override { return "/dst/dep"; }
    };
    wzlog::ScopedCapture capture(0);
    job_->_ro = new DependantObject;
    eof();
    // No FIR session in this job: the send fails and says so.
    EXPECT_TRUE(capture->contains("Failed Sending Path,/dst/base, to FIR"));
    EXPECT_EQ(std::vector<std::string>{"/dst/dep 0x0 obj"}, journal_.results);
}

}  // namespace
