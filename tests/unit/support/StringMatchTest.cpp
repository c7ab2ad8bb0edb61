#include <gtest/gtest.h>

#include <string>

#include "platform/support/FXString.h"

namespace {

struct MatchCase {
    const char* name;
    std::string s;
    std::string affix;
    bool left;         // CompareLeft is 0
    bool leftNoCase;   // CompareLeftNoCase is 0
    bool right;        // MatchRight
    bool rightNoCase;  // MatchRightNoCase
};

class MatchCases : public ::testing::TestWithParam<MatchCase> {};

TEST_P(MatchCases, PrefixAndSuffixTests) {
    const MatchCase& c = GetParam();
    EXPECT_EQ(FXString::CompareLeft(c.s, c.affix) == 0, c.left);
    EXPECT_EQ(FXString::CompareLeftNoCase(c.s, c.affix) == 0, c.leftNoCase);
    EXPECT_EQ(FXString::MatchRight(c.s, c.affix), c.right);
    EXPECT_EQ(FXString::MatchRightNoCase(c.s, c.affix), c.rightNoCase);
}

INSTANTIATE_TEST_SUITE_P(
    Strings, MatchCases,
    ::testing::Values(MatchCase{"suffixLongerThanText", "abc", "xabc", false, false, false, false},
                      MatchCase{"upperNameLowerExtension", "REPORT.TXT", ".txt", false, false, false, true},
                      MatchCase{"leadingDirInOtherCase", "/%CacheDB%/index/1", "/%CACHEDB%/", false, true, false,
                                false},
                      MatchCase{"exactPrefix", "/data/base/1", "/data/", true, true, false, false},
                      MatchCase{"exactSuffix", "/a/postmaster.pid", "postmaster.pid", false, false, true, true},
                      MatchCase{"whole", "QSYS.LIB", "QSYS.LIB", true, true, true, true},
                      MatchCase{"emptyAffix", "abc", "", true, true, true, true},
                      MatchCase{"emptyText", "", "a", false, false, false, false},
                      MatchCase{"prefixLongerThanText", "/da", "/data", false, false, false, false},
                      MatchCase{"suffixDiffersInOneChar", "A.LIB", "B.LIB", false, false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Strings, CompareLeftKeepsTheSignOfTheComparison) {
    EXPECT_LT(FXString::CompareLeft("/a/b", "/b"), 0);
    EXPECT_GT(FXString::CompareLeft("/c/b", "/b"), 0);
}

}  // namespace
