// The settings file against hostile and unusual content: each case names what one read must answer.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/settings/WZPlatformInfo.h"
#include "tests/unit/platform/PlatformFixture.h"

namespace {

using fcltest::PlatformFixture;

struct NumberCase {
    const char* name;
    std::string content;
    const char* section;
    const char* key;
    bool found;
    unsigned long value;  // expected when found
};
void PrintTo(const NumberCase& c, std::ostream* os) {
    *os << c.name;
}

const unsigned long kPreset = 4242;
const char kNulLine[] = "[S]\nk = 1\nk = 2\0junk\n";

std::string junk(size_t n) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i) {
        bytes += static_cast<char>((i * 131 + 7) % 256);
    }
    return bytes;
}

std::vector<NumberCase> numberCases() {
    return {
        {"plain", "[FileSystemAgent]\nnSeekMarkerBatchSize = 100\n", "FileSystemAgent", "nSeekMarkerBatchSize", true,
         100},
        {"noFinalNewline", "[Wzd]\nnKEEPALIVEINTERVAL=7", "Wzd", "nKEEPALIVEINTERVAL", true, 7},
        {"crlf", "[Wzd]\r\nnKEEPALIVEINTERVAL = 12\r\n", "Wzd", "nKEEPALIVEINTERVAL", true, 12},
        {"byteOrderMark", "\xEF\xBB\xBF[Wzd]\nn = 3\n", "Wzd", "n", true, 3},
        {"hex", "[S]\nk =  0x1F \n", "S", "k", true, 31},
        {"leadingZeroIsDecimal", "[S]\nk = 010\n", "S", "k", true, 10},
        {"max64", "[S]\nk = 18446744073709551615\n", "S", "k", true, 18446744073709551615UL},
        {"emptyKey", "[FileSystemAgent]\n= 30\nother = 1\n", "FileSystemAgent", "", true, 30},
        {"emptyKeyAbsent", "[FileSystemAgent]\nother = 1\n", "FileSystemAgent", "", false, 0},
        {"repeatedKeyLastWins", "[S]\nk = 1\nk = 2\nk = 3\n", "S", "k", true, 3},
        {"repeatedSectionMerges", "[S]\na = 1\n[T]\nb = 2\n[S]\nc = 5\n", "S", "a", true, 1},
        {"keyBeforeAnySection", "k = 9\n[S]\nk = 1\n", "", "k", true, 9},
        {"sectionNamesAreExact", "[filesystemagent]\nk = 1\n", "FileSystemAgent", "k", false, 0},
        {"commentsSkipped", "; k = 1\n# k = 2\n[S]\n;k = 3\n  # k = 4\n", "S", "k", false, 0},
        {"otherSectionNotSeen", "[A]\nk = 1\n[B]\n", "B", "k", false, 0},
        {"trailingLetters", "[S]\nk = 12abc\n", "S", "k", false, 0},
        {"emptyValue", "[S]\nk =\n", "S", "k", false, 0},
        {"negative", "[S]\nk = -1\n", "S", "k", false, 0},
        {"plusSign", "[S]\nk = +5\n", "S", "k", false, 0},
        {"bareHexPrefix", "[S]\nk = 0x\n", "S", "k", false, 0},
        {"above64Bits", "[S]\nk = 18446744073709551616\n", "S", "k", false, 0},
        {"innerBlank", "[S]\nk = 1 2\n", "S", "k", false, 0},
        {"noEquals", "[S]\nk 5\n", "S", "k", false, 0},
        {"brokenHeaderKeepsItsKeys", "[S]\nk = 1\n[Broken\nk = 2\n", "S", "k", true, 1},
        {"brokenHeaderKeysUnreachable", "[Broken\nk = 2\n[S]\nj = 1\n", "Broken", "k", false, 0},
        {"goodHeaderAfterBrokenOne", "[Broken\nk = 2\n[S]\nk = 8\n", "S", "k", true, 8},
        {"nulByteLineIgnored", std::string(kNulLine, sizeof kNulLine - 1), "S", "k", true, 1},
        {"hugeLineThenKey", "[S]\n" + std::string(1 << 20, 'x') + "\nk = 5\n", "S", "k", true, 5},
        {"hugeValue", "[S]\nk = " + std::string(1 << 20, '7') + "\n", "S", "k", false, 0},
        {"binaryJunkThenKey", junk(4096) + "\n[S]\nk = 6\n", "S", "k", true, 6},
        {"onlyJunk", junk(65536), "S", "k", false, 0},
        {"empty", "", "S", "k", false, 0},
    };
}

class SettingsNumbers : public PlatformFixture, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(SettingsNumbers, ReadAnswersAsTheFileSays) {
    const NumberCase& c = GetParam();
    writeSettings(c.content);
    unsigned long value = kPreset;
    WZPlatformInfo info;
    int found = info.getNumber(c.section, c.key, &value);
    EXPECT_EQ(found != 0, c.found);
    EXPECT_EQ(value, c.found ? c.value : kPreset);
}

INSTANTIATE_TEST_SUITE_P(HostileFiles, SettingsNumbers, ::testing::ValuesIn(numberCases()),
                         [](const auto& info) { return std::string(info.param.name); });

class SettingsFileKinds : public PlatformFixture {};

TEST_F(SettingsFileKinds, MissingFileMeansEverySettingAbsent) {
    unsigned long value = kPreset;
    WZPlatformInfo info;
    EXPECT_EQ(info.getNumber("S", "k", &value), 0);
    EXPECT_EQ(value, kPreset);
    EXPECT_EQ(info.getLastError(), static_cast<unsigned long>(ENOENT));
}

TEST_F(SettingsFileKinds, DirectoryFifoAndOversizedFilesGiveDefaultsWithoutHanging) {
    ASSERT_EQ(mkdir(settingsPath_.c_str(), 0755), 0);
    std::string fifo = scratch_ / "fifo.ini";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    std::string big = scratch_ / "big.ini";
    fcltest::writeFile(big, "[S]\nk = 1\n");
    ASSERT_EQ(truncate(big.c_str(), static_cast<off_t>(wzplatform::kMaxSettingsFileBytes) + 1), 0);

    for (const std::string& path : {settingsPath_, fifo, big}) {
        wzplatform::setSettingsFile(path);
        std::string value = "preset";
        EXPECT_EQ(WZPlatformInfo().getString("S", "k", &value), 0) << path;
        EXPECT_EQ(value, "preset") << path;
    }
}

TEST_F(SettingsFileKinds, UnreadableFileGivesDefaultsAndItsError) {
    if (fcltest::isRoot()) {
        GTEST_SKIP() << "root reads files of any mode";
    }
    writeSettings("[S]\nk = 1\n");
    ASSERT_EQ(chmod(settingsPath_.c_str(), 0), 0);
    WZPlatformInfo info;
    unsigned long value = kPreset;
    EXPECT_EQ(info.getNumber("S", "k", &value), 0);
    EXPECT_EQ(value, kPreset);
    EXPECT_EQ(info.getLastError(), static_cast<unsigned long>(EACCES));
}

}  // namespace
