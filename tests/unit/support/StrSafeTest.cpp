#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/support/StrSafe.h"

namespace {

struct CopyCase {
    const char* name;
    unsigned long cbDest;
    const char* src;
    HRESULT result;
    const char* expected;  // dest afterwards; null when nothing may be written
};

class StringCbCopyACases : public ::testing::TestWithParam<CopyCase> {};

TEST_P(StringCbCopyACases, CopiesWithinTheByteCountAndReportsTheOutcome) {
    const CopyCase& c = GetParam();
    char dest[16];
    memset(dest, '#', sizeof dest);
    EXPECT_EQ(StringCbCopyA(dest, c.cbDest, c.src), c.result);
    if (c.expected == nullptr) {
        EXPECT_EQ(dest[0], '#');
        return;
    }
    EXPECT_STREQ(dest, c.expected);
    // Nothing is written beyond the terminator, let alone beyond the byte count.
    for (size_t i = strlen(c.expected) + 1; i < sizeof dest; ++i) {
        EXPECT_EQ(dest[i], '#') << "byte " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Strsafe, StringCbCopyACases,
                         ::testing::Values(CopyCase{"sixIntoFour", 4, "abcdef", STRSAFE_E_INSUFFICIENT_BUFFER, "abc"},
                                           CopyCase{"threeIntoFour", 4, "abc", 0, "abc"},
                                           CopyCase{"fourIntoFour", 4, "abcd", STRSAFE_E_INSUFFICIENT_BUFFER, "abc"},
                                           CopyCase{"emptySource", 4, "", 0, ""},
                                           CopyCase{"oneByteDest", 1, "abc", STRSAFE_E_INSUFFICIENT_BUFFER, ""},
                                           CopyCase{"zeroBytes", 0, "abc", STRSAFE_E_INVALID_PARAMETER, nullptr},
                                           CopyCase{"countAboveMax", 0x80000000UL, "abc", STRSAFE_E_INVALID_PARAMETER,
                                                    nullptr},
                                           CopyCase{"nullSource", 4, nullptr, STRSAFE_E_INVALID_PARAMETER, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StrSafe, StatusCodesAreTheStrsafeValues) {
    EXPECT_EQ(static_cast<uint32_t>(STRSAFE_E_INVALID_PARAMETER), 0x80070057u);
    EXPECT_EQ(static_cast<uint32_t>(STRSAFE_E_INSUFFICIENT_BUFFER), 0x8007007au);
    EXPECT_LT(STRSAFE_E_INSUFFICIENT_BUFFER, 0);
}

TEST(StrSafe, NullDestinationIsRefused) {
    EXPECT_EQ(StringCbCopyA(nullptr, 8, "abc"), STRSAFE_E_INVALID_PARAMETER);
}

TEST(StrSafe, StrnicmpComparesOnlyTheFirstBytesInAnyCase) {
    EXPECT_EQ(_strnicmp("/HOME/user", "/home/USER", 10), 0);
    EXPECT_EQ(_strnicmp("abcX", "ABCy", 3), 0);
    EXPECT_LT(_strnicmp("abc", "abd", 3), 0);
}

}  // namespace
