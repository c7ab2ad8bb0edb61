// Source paths of Windows clients in Unix form, and the limit of 1024 bytes that a converted path must keep.
#include <gtest/gtest.h>

#include <string>

#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"
#include "tests/common/FactoryFixture.h"

namespace {

struct ConversionCase {
    const char* name;
    std::string path;
    unsigned long options;
    bool converted;
    std::string out;
};

void PrintTo(const ConversionCase& c, std::ostream* os) {
    *os << c.name;
}

const ConversionCase kCases[] = {
    {"DriveLetterGetsALeadingSlash", "C:\\Users\\a b\\f.txt", 0, true, "/C:/Users/a b/f.txt"},
    {"LeadingBackslashBecomesTheSlash", "\\\\server\\share\\x", 0, true, "//server/share/x"},
    {"UnixPathUnchanged", "/already/unix", 0, true, "/already/unix"},
    {"SyntheticFullTakesThePathAsItStands", "C:\\x", FSR_OPT_SYNTHETIC_FULL, true, "C:\\x"},
    {"Empty", "", 0, true, "/"},
    {"LongestThatFits", std::string(1023, 'a'), 0, true, "/" + std::string(1023, 'a')},
    {"AddedSlashMakesItTooLong", std::string(1024, 'a'), 0, false, std::string(1024, 'a')},
    {"AbsoluteOf1024Fits", "\\" + std::string(1023, 'b'), 0, true, "/" + std::string(1023, 'b')},
    {"AbsoluteOf1025IsTooLong", "\\" + std::string(1024, 'b'), 0, false, "\\" + std::string(1024, 'b')},
};

class WindowsPath : public fcltest::FactoryFixture, public ::testing::WithParamInterface<ConversionCase> {};

TEST_P(WindowsPath, ConvertsWithinTheLimit) {
    const ConversionCase& c = GetParam();
    std::string out = "left over";
    wzlog::ScopedCapture capture;
    EXPECT_EQ(windowsPathToUnixPath(c.path.c_str(), out, c.options), c.converted);
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(capture->contains("path too long at " + std::to_string(c.path.size()) + " bytes"), !c.converted);

    auto factory = makeFactory(c.options);
    std::string viaFactory;
    if (c.converted) {
        factory->convertWindowsPathToUnixPath(c.path.c_str(), viaFactory);
        EXPECT_EQ(viaFactory, c.out);
    } else {
        try {
            factory->convertWindowsPathToUnixPath(c.path.c_str(), viaFactory);
            ADD_FAILURE() << "a path over the limit is converted";
        } catch (const ClExceptError& error) {
            EXPECT_EQ(static_cast<unsigned long>(error.getErrCode()), fclitem::kPathTooLong);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, WindowsPath, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ConversionCase>& info) { return info.param.name; });

}  // namespace
