#include <gtest/gtest.h>

#include <climits>

#include "clRestore/support/ClExceptError.h"
#include "platform/support/CQiError.h"

namespace {

TEST(ErrorValues, OnlyNegativeCodesAreErrors) {
    CQiError topBitOnly;
    topBitOnly.code = INT_MIN;
    EXPECT_TRUE(topBitOnly.IsError());
    CQiError largestPositive;
    largestPositive.code = INT_MAX;
    EXPECT_FALSE(largestPositive.IsError());
    EXPECT_FALSE(CQiError::Success().IsError());
    EXPECT_FALSE(CQiError::Success().details);
}

TEST(ErrorValues, ExceptionCarriesItsCodeAndAZeroSubcodeThroughAThrow) {
    try {
        throw ClExceptError(0x1700002e);
    } catch (ClExceptError e) {
        EXPECT_EQ(e.getErrCode(), 0x1700002e);
        EXPECT_EQ(e.getErrSubcode(), 0);
    }
}

}  // namespace
