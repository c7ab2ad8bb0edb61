#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/log/LogWriter.h"
#include "platform/support/FXErrorUtil.h"

namespace {

struct PositiveCode {
    const char* name;
    int code;
};

class PositiveCodes : public ::testing::TestWithParam<PositiveCode> {};

TEST_P(PositiveCodes, StandInErrorsTestAsErrorsAndPrintTheirRealCode) {
    const PositiveCode& c = GetParam();
    for (const CQiError& e :
         {FXErrorUtil::ErrorWin32(FX_HERE, c.code, "text %s", "here"), FXErrorUtil::ErrorErrNo(FX_HERE, c.code),
          FXErrorUtil::ErrorEventMessage(FX_HERE, c.code)}) {
        EXPECT_TRUE(e.IsError());
        EXPECT_NE(e.AsString().find(std::to_string(c.code)), std::string::npos) << e.AsString();
        EXPECT_EQ(FXErrorUtil::GetEventMessage(e), c.code);
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, PositiveCodes,
                         ::testing::Values(PositiveCode{"enomem", 12}, PositiveCode{"efault", 14},
                                           PositiveCode{"pathNotFound", 774}, PositiveCode{"win1627", 1627},
                                           PositiveCode{"event", 0x3e0000b6}, PositiveCode{"event2", 0x1c000082}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Errors, CopiesShareDetailsAndOutliveTheOriginal) {
    CQiError copy;
    {
        CQiError original = FXErrorUtil::ErrorWin32(FX_HERE, 1627, "AutoMount Manager has not been instantiated");
        copy = original;
    }
    EXPECT_TRUE(copy.IsError());
    EXPECT_NE(copy.AsString().find("AutoMount Manager has not been instantiated"), std::string::npos);
    copy.Push(FX_HERE, "while %s", "testing");
    EXPECT_NE(copy.AsString(eErrorOutputDetailed).find("while testing"), std::string::npos);
}

TEST(Errors, ErrnoKindIsRecognised) {
    CQiError e = FXErrorUtil::ErrorErrNo(FX_HERE, 2, "An entry does not exists for container file=%s", "x");
    EXPECT_TRUE(FXErrorUtil::IsErrNo(e, 2));
    EXPECT_FALSE(FXErrorUtil::IsErrNo(e, 12));
    EXPECT_FALSE(FXErrorUtil::IsErrNo(CQiError::Success(), 2));
}

// The plain form is what a user reads: a system error by the system's text, never its number.
TEST(Errors, ThePlainFormGivesTheSystemsTextOfASystemError) {
    EXPECT_EQ(
        FXErrorUtil::ErrorErrNo(FX_HERE, ECONNREFUSED, "cannot connect to '%s'", "/s").AsString(eErrorOutputPlain),
        "cannot connect to '/s': Connection refused");
    EXPECT_EQ(FXErrorUtil::ErrorErrNo(FX_HERE, ENOENT).AsString(eErrorOutputPlain), "No such file or directory");
    EXPECT_EQ(
        FXErrorUtil::ErrorErrNo(FX_HERE, ENOENT, "cannot open x: %s", strerror(ENOENT)).AsString(eErrorOutputPlain),
        "cannot open x: No such file or directory");
    EXPECT_EQ(FXErrorUtil::ErrorWin32(FX_HERE, 1627, "not instantiated").AsString(eErrorOutputPlain),
              "not instantiated");
}

TEST(LogWriter, LevelGatesLinesAndErrorsAlwaysPass) {
    wzlog::ScopedCapture capture(1);
    FCL_LOG(0, "level zero %d", 0);
    FCL_LOG(1, "level one");
    FCL_LOG(2, "level two");
    FCL_ERROR("an error %s", "line");
    EXPECT_TRUE(capture->contains("level zero 0"));
    EXPECT_TRUE(capture->contains("level one"));
    EXPECT_FALSE(capture->contains("level two"));
    EXPECT_TRUE(capture->contains("an error line"));
}

}  // namespace
