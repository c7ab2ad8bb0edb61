// A failed item never looks complete: when its data fails, the rest of its data is dropped, its object is closed
// knowing it failed, its partial file is removed under the job's remove-on-error flag and its end records the
// failure.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "clRestore/support/ItemErrorIds.h"
#include "tests/unit/stream/StreamFixture.h"

namespace {

using streamtest::Plan;

bool exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

struct FailureCase {
    const char* label;
    bool removeOnError;
};

const FailureCase kFailureCases[] = {{"partialFileRemoved", true}, {"partialFileKeptWhenTheJobKeepsThem", false}};

class WriteFailure : public streamtest::StreamFixture, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(WriteFailure, EndsTheItemAsFailed) {
    const std::string partial = planPartialFile("/f", 1, fclitem::kWriteFailed);
    header("/f");
    job_->_removeFileOnError = GetParam().removeOnError;
    data("aaaa");
    data("bbbb");
    data("cccc");
    hole(100);
    // The code a later operation may leave does not replace the failure.
    factory_->setErrCode(0);
    eof();

    EXPECT_EQ((std::vector<int>{4, 4}), journal_.writeLengths);
    EXPECT_EQ(1u, std::count(journal_.calls.begin(), journal_.calls.end(), "close " + partial + " code=0x17000012"));
    EXPECT_EQ(std::vector<std::string>{partial + " 0x17000012 obj"}, journal_.results);
    EXPECT_EQ(!GetParam().removeOnError, exists(partial));
    EXPECT_EQ(0u, job_->_itemDataError);
}

INSTANTIATE_TEST_SUITE_P(Table, WriteFailure, ::testing::ValuesIn(kFailureCases),
                         [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.label; });

class DataFailure : public streamtest::StreamFixture {};

TEST_F(DataFailure, AFailureAnsweredWithOneButLeavingADiskFullStillStopsTheJob) {
    Plan plan;
    plan.script.failWriteAt = 0;
    plan.script.failCode = fclitem::kDiskFull;
    plan.script.failAnswersOne = true;
    plan.script.path = scratch_ / "partial";
    factory_->plans["/f"] = plan;
    header("/f");
    data("aaaa");
    EXPECT_TRUE(job_->isFatalError());
    EXPECT_EQ(nullptr, job_->_ro);
}

struct DiskFullCase {
    const char* label;
    bool byHole;
};

const DiskFullCase kDiskFullCases[] = {{"writingData", false}, {"writingAHolesZeros", true}};

class DiskFull : public streamtest::StreamFixture, public ::testing::WithParamInterface<DiskFullCase> {};

// The job's disk-full stop closes and drops the object; the handler must not touch it afterwards (the sanitizer
// build catches a use after free) and later buffers write nothing.
TEST_P(DiskFull, StopsTheJobAndLeavesTheClosedObjectAlone) {
    const std::string partial = planPartialFile("/f", 0, fclitem::kDiskFull);
    header("/f");
    if (GetParam().byHole) {
        hole(200000);
    } else {
        data("aaaa");
    }
    data("more");
    hole(1000);

    EXPECT_TRUE(job_->isFatalError());
    EXPECT_EQ(nullptr, job_->_ro);
    EXPECT_EQ(1u, journal_.writeLengths.size());
    const std::vector<std::string> expectedEnd = {"close " + partial + " code=0x17000046", "destroy " + partial};
    EXPECT_EQ(expectedEnd, callsFrom("close"));
    EXPECT_FALSE(exists(partial));
}

INSTANTIATE_TEST_SUITE_P(Table, DiskFull, ::testing::ValuesIn(kDiskFullCases),
                         [](const ::testing::TestParamInfo<DiskFullCase>& info) { return info.param.label; });

TEST_F(DataFailure, AFailedHoleEndsTheItemAsFailed) {
    job_->_holeThreshold = 0;
    Plan plan;
    plan.script.failHoleAt = 0;
    plan.script.failCode = 0x17000014;
    plan.script.path = scratch_ / "partial";
    factory_->plans["/f"] = plan;
    header("/f");
    hole(8192);
    data("x");
    eof();
    EXPECT_TRUE(journal_.writeLengths.empty());
    EXPECT_EQ(std::vector<std::string>{plan.script.path + " 0x17000014 obj"}, journal_.results);
}

// The data mover could not deliver the item whole: it ends as a failed item, not as a restored one closed later by
// the next header.
TEST_F(DataFailure, ABadFileMarkerEndsTheItemAsFailed) {
    const std::string partial = planPartialFile("/f");
    header("/f");
    data("aaaa");
    badFile();
    EXPECT_EQ(nullptr, job_->_ro);
    EXPECT_EQ("close " + partial + " code=0x1700003e", callsFrom("close").front());
    EXPECT_EQ(std::vector<std::string>{partial + " 0x1700003e obj"}, journal_.results);
    EXPECT_FALSE(exists(partial));
    header("/g");
    eof();
    EXPECT_EQ("/dst/g 0x0 obj", journal_.results.back());
}

TEST_F(DataFailure, ABadFileMarkerForAnItemWithoutObjectKeepsItsOwnCode) {
    Plan plan;
    plan.kind = Plan::kDecline;
    plan.code = 0x17000040;
    factory_->plans["/f"] = plan;
    header("/f");
    badFile();
    EXPECT_EQ(std::vector<std::string>{"/f 0x17000040"}, journal_.results);
}

// An item whose data failed and whose end never came is still recorded as failed when the next header closes it.
TEST_F(DataFailure, AFailedItemWithoutEndIsRecordedWhenTheNextHeaderClosesIt) {
    Plan plan;
    plan.script.failWriteAt = 0;
    factory_->plans["/a"] = plan;
    header("/a");
    job_->_removeFileOnError = false;
    data("aaaa");
    header("/b");
    EXPECT_EQ("close /dst/a code=0x17000012", callsFrom("close").front());
    EXPECT_EQ(std::vector<std::string>{"/dst/a 0x17000012 obj"}, journal_.results);
    data("bb");
    eof();
    EXPECT_EQ("/dst/b 0x0 obj", journal_.results.back());
    EXPECT_EQ(2, journal_.writeLengths.back());
}

}  // namespace
