// The mapping file the host checks before a job: every line an entry or empty, and an error naming the line that is
// not.
#include <gtest/gtest.h>

#include "tests/common/TestSupport.h"
#include "tools/fcl-restore/MappingFile.h"

namespace {

struct MapCase {
    const char* name;
    const char* text;
    const char* says;  // "" when the file is taken
};

class MappingFile : public ::testing::TestWithParam<MapCase> {};

TEST_P(MappingFile, IsTakenOrRefusedNamingTheLine) {
    fcltest::ScratchDir scratch("mapfile");
    const std::string path = scratch / "map.txt";
    fcltest::writeFile(path, GetParam().text);
    std::string why;
    const bool taken = fclhost::checkMappingFile(path, &why);
    if (*GetParam().says == '\0') {
        EXPECT_TRUE(taken) << why;
    } else {
        EXPECT_FALSE(taken);
        EXPECT_NE(why.find("the mapping file " + path), std::string::npos) << why;
        EXPECT_NE(why.find(GetParam().says), std::string::npos) << why;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MappingFile,
    ::testing::Values(
        MapCase{"OneEntry", "\"/data\",\"/restore\"\n", ""},
        MapCase{"LastLineWithoutLineFeed", "\"/data\",\"/restore\"", ""},
        MapCase{"ExcludedSourceAndEmptyLines", "\n\"/data\",\"/restore\"\n\n\"/data/tmp\",\"\"\n", ""},
        MapCase{"ByteRanges", "\"/data/big\",\"/r/big\",100\n\"/data/b2\",\"/r/b2\",100,200\n", ""},
        MapCase{"Comment", "\"/data\",\"/restore\"\n# old\n", "line 2: it is not \"SOURCE\",\"DESTINATION\""},
        MapCase{"NoQuotes", "/data,/restore\n", "line 1: it is not"},
        MapCase{"RelativeSource", "\"data\",\"/restore\"\n", "line 1: its source is not an absolute path"},
        MapCase{"RelativeDestination", "\"/data\",\"restore\"\n", "line 1: its destination is neither"},
        MapCase{"UnclosedDestination", "\"/data\",\"/restore\n", "line 1: its destination does not end"},
        MapCase{"BadRange", "\"/data\",\"/r\",ten\n", "line 1: its byte range"},
        MapCase{"CarriageReturn", "\"/data\",\"/restore\"\r\n", "line 1: it ends with a carriage return"},
        MapCase{"NoEntry", "\n\n", "names no entry"}),
    [](const ::testing::TestParamInfo<MapCase>& info) { return std::string(info.param.name); });

}  // namespace
