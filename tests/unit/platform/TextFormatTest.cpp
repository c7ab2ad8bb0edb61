// Error texts, log lines and FXString::Format are made by one formatter: the same format gives the same text on
// every path, on both sides of its stack buffer.
#include <gtest/gtest.h>

#include <string>

#include "platform/log/LogWriter.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/support/FXString.h"

namespace {

TEST(TextFormat, ErrorsLogLinesAndStringsGiveTheSameText) {
    for (size_t length : {0u, 1u, 505u, 511u, 512u, 513u, 5000u}) {
        SCOPED_TRACE(length);
        std::string filler(length, 'q');
        std::string want = "item <" + filler + "> failed with 42";
        std::string formatted;
        EXPECT_EQ(FXString::Format(formatted, "item <%s> failed with %d", filler.c_str(), 42), want);
        EXPECT_EQ(FXErrorUtil::GetMessage(
                      FXErrorUtil::ErrorErrNo(FX_HERE, 5, "item <%s> failed with %d", filler.c_str(), 42)),
                  want);
        wzlog::ScopedCapture log(0);
        FCL_LOG(0, "item <%s> failed with %d", filler.c_str(), 42);
        ASSERT_EQ(log->lines().size(), 1u);
        EXPECT_EQ(log->lines()[0].text, want);
    }
}

TEST(TextFormat, ANullFormatGivesAnEmptyText) {
    std::string formatted = "old";
    EXPECT_EQ(FXString::Format(formatted, nullptr), "");
    // The errno's own text stands in for a message that is empty.
    EXPECT_EQ(FXErrorUtil::GetMessage(FXErrorUtil::ErrorErrNo(FX_HERE, 2, nullptr)), "No such file or directory");
}

}  // namespace
