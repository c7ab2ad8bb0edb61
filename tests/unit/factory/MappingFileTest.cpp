// The mapping of a mapped restore: every line form of the MapFile with its byte ranges and its malformed lines, the
// file checks, the XML entries and the synchronised-restore pairs, the lookup by the longest mapped ancestor, and byte
// ranges that belong to their own job only.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "clRestore/objects/FsRestoreUnixObject.h"
#include "platform/log/LogWriter.h"
#include "platform/sync/CSyncRestorePathMapper.h"
#include "tests/unit/factory/NamingFixture.h"

namespace {

std::string entriesText(const std::map<std::string, std::string>& mapping) {
    std::string out;
    for (const auto& entry : mapping) {
        out += entry.first + "=" + entry.second + ";";
    }
    return out;
}

std::string rangesText() {
    std::string out;
    for (const auto& entry : fileRangeMap) {
        out += entry.first + "=" + std::to_string(entry.second.start) + "," + std::to_string(entry.second.end) + ";";
    }
    return out;
}

const char kNulLine[] = "\"/da\0ta\",\"/r\"\n";

struct LineCase {
    const char* name;
    std::string content;
    std::string entries;
    std::string ranges;
    const char* line;  // a log line it writes; null: it refuses nothing
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

const LineCase kLines[] = {
    {"Entry", "\"/data\",\"/restore\"\n", "/data=/restore;", "", nullptr},
    {"TrailingSlashesDropped", "\"/data/\",\"/restore/\"\n", "/data=/restore;", "", nullptr},
    {"SourceBackslashDropped", "\"/a\\\",\"/r\"\n", "/a=/r;", "", nullptr},
    {"RootDestinationKept", "\"/data\",\"/\"\n", "/data=/;", "", nullptr},
    {"EmptyDestinationExcludes", "\"/data\",\"\"\n", "/data=;", "",
     "srcTemp = /data and destTemp is empty, will not restore the src path"},
    {"RangeStartOnly", "\"/data\",\"/restore\",100\n", "/data=/restore;", "/data=100,-1;",
     "srcTemp = /data and destTemp = /restore start:100 end:-1 "},
    {"RangeStartAndEnd", "\"/data\",\"/restore\",100,200\n", "/data=/restore;", "/data=100,200;", nullptr},
    {"RangeEndBeforeStartReadsToTheEnd", "\"/data\",\"/restore\",100,50\n", "/data=/restore;", "/data=100,-1;",
     "Start position 100 ahead of end 50 for source [/data]. Reseting to end of file."},
    {"RangeWithBlanksAndSign", "\"/d\",\"/r\", +10, 20\n", "/d=/r;", "/d=10,20;", nullptr},
    {"RangeWithoutDigitsStartsAtZero", "\"/d\",\"/r\",abc\n", "/d=/r;", "/d=0,-1;", nullptr},
    {"FirstEntryForASourceStaysWhole", "\"/data\",\"/one\"\n\"/data\",\"/two\",5\n", "/data=/one;", "", nullptr},
    {"LastLineWithoutLineFeed", "\"/a\",\"/b\"\n\"/c\",\"/d\"", "/a=/b;/c=/d;", "", nullptr},
    {"CarriageReturnIsAnOrdinaryCharacter", "\"/data\",\"/restore\"\r\n", "/data=/restore\"\r;", "", nullptr},
    {"LinesWithoutTheSeparatorArePassedOver", "\n# comment\n; other\n/data,/restore\n\"/x\"\n", "", "", nullptr},
    {"NormalisedPaths", "\"/d//x/.\",\"/r//y/\"\n", "/d/x=/r/y;", "", nullptr},
    {"RelativeSourceRefused", "\"data\",\"/restore\"\n", "", "",
     "Specify absolute path for source.Ignoring line \"data\",\"/restore\""},
    {"RelativeDestinationRefused", "\"/data\",\"restore\"\n", "", "",
     "Specify absolute path for destination.Ignoring line \"/data\",\"restore\""},
    {"EmptySourceRefused", "\"\",\"/restore\"\n", "", "", "Source cannot be empty.Ignoring line"},
    {"RootSourceRefused", "\"/\",\"/restore\"\n", "", "", "Source cannot be empty.Ignoring line"},
    {"SourceClimbRefused", "\"/data/../etc\",\"/r\"\n", "", "", "A mapping path cannot climb with \"..\""},
    {"DestinationClimbRefused", "\"/data\",\"/r/../etc\"\n", "", "", "A mapping path cannot climb with \"..\""},
    {"RangeBeforeTheFileRefused", "\"/data\",\"/r\",-5\n", "", "", "A range cannot start before the file"},
    {"NulByteRefused", std::string(kNulLine, sizeof(kNulLine) - 1), "", "", "A line cannot hold a NUL byte"},
};

class MapFileLines : public fcltest::NamingFixture, public ::testing::WithParamInterface<LineCase> {};

TEST_P(MapFileLines, EnterWhatTheyName) {
    const LineCase& c = GetParam();
    fcltest::writeFile(scratch_ / "map", c.content);
    writeSettings("[TaskOptions]\n1 = " + (scratch_ / "map") + "\n2.0 = true\n");
    fcltest::NamingFactory& factory = makeNamingFactory(0);
    wzlog::ScopedCapture capture;
    EXPECT_EQ(factory.InitializeForMappedRestores(kJobId), 0);
    EXPECT_EQ(entriesText(factory.mapping()), c.entries);
    EXPECT_EQ(rangesText(), c.ranges);
    if (c.line != nullptr) {
        EXPECT_TRUE(capture->contains(c.line)) << c.line;
    } else {
        EXPECT_FALSE(capture->contains("Ignoring"));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, MapFileLines, ::testing::ValuesIn(kLines),
                         [](const ::testing::TestParamInfo<LineCase>& info) { return info.param.name; });

class Mapping : public fcltest::NamingFixture {
protected:
    fcltest::NamingFactory& mapFileFactory(const std::string& content, const std::string& options = "") {
        fcltest::writeFile(scratch_ / "map", content);
        writeSettings("[TaskOptions]\n1 = " + (scratch_ / "map") + "\n" + options);
        fcltest::NamingFactory& factory = makeNamingFactory(0);
        EXPECT_EQ(factory.InitializeForMappedRestores(kJobId), 0);
        return factory;
    }
    // The lookup's answer: the mapped path, "(excluded)", "(none)" or the id thrown.
    std::string lookUp(const std::string& item) {
        std::string to = "kept";
        std::string from = item;
        try {
            if (!factory_->getMappingPath(to, from)) {
                EXPECT_EQ(to, "kept");
                return "(none)";
            }
            return to.empty() ? "(excluded)" : to;
        } catch (const ClExceptError& error) {
            return fcltest::thrownId(error);
        }
    }
};

TEST_F(Mapping, LongestMappedAncestorDecides) {
    mapFileFactory("\"/a\",\"/A\"\n\"/a/b\",\"/B\"\n\"/data\",\"\"\n\"/deep/er/path/x\",\"/D\"\n");
    const struct {
        const char* item;
        const char* expected;
    } cases[] = {
        {"/a/b/c", "/B/c"},
        {"/a/bc", "/A/bc"},
        {"/a", "/A"},
        {"/a/b", "/B"},
        {"/a/b/", "/B"},
        {"/data/x", "(excluded)"},
        {"/data", "(excluded)"},
        {"/zzz", "(none)"},
        {"/a/./b//c", "/B/c"},
        {"/a/b/../x", "#0x1700005b"},
        {"/deep/er/path/x/y", "/D/y"},
        {"relative", "(none)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lookUp(c.item), c.expected) << c.item;
    }
    EXPECT_EQ(lookUp("/a/b/c"), "/B/c");
    EXPECT_EQ(factory_->mappedPath(), "/B");
}

TEST_F(Mapping, RangeOfADirectoryHoldsForEveryFileUnderIt) {
    mapFileFactory("\"/data\",\"/restore\",10,20\n");
    EXPECT_EQ(lookUp("/data/x/f"), "/restore/x/f");
    EXPECT_EQ(fileRange.start, 10);
    EXPECT_EQ(fileRange.end, 20);
    EXPECT_EQ(fileRange.seen, 0);
}

// A range belongs to the job whose MapFile names it: the next job's file of the same source is restored whole.
TEST_F(Mapping, RangesOfAnEarlierJobDoNotClipTheNext) {
    mapFileFactory("\"/data\",\"/restore\",100\n");
    EXPECT_EQ(lookUp("/data/f"), "/restore/f");
    EXPECT_EQ(fileRange.start, 100);
    mapFileFactory("\"/data\",\"/restore\"\n");
    EXPECT_EQ(rangesText(), "");
    EXPECT_EQ(lookUp("/data/f"), "/restore/f");
    EXPECT_EQ(fileRange.start, 0);
    EXPECT_EQ(fileRange.end, -1);
}

struct FileCheck {
    const char* name;
    const char* line;
};

TEST_F(Mapping, MapFileMustBeARegularFile) {
    const std::string target = scratch_ / "real";
    fcltest::writeFile(target, "\"/a\",\"/b\"\n");
    ASSERT_EQ(symlink(target.c_str(), (scratch_ / "link").c_str()), 0);
    ASSERT_EQ(mkdir((scratch_ / "dir").c_str(), 0700), 0);
    const FileCheck checks[] = {{"missing", "does not exists"}, {"link", "is not a file"}, {"dir", "is not a file"}};
    for (const FileCheck& check : checks) {
        const std::string name = scratch_ / check.name;
        writeSettings("[TaskOptions]\n1 = " + name + "\n");
        fcltest::NamingFactory& factory = makeNamingFactory(0);
        wzlog::ScopedCapture capture;
        EXPECT_EQ(factory.InitializeForMappedRestores(kJobId), -1) << check.name;
        EXPECT_TRUE(capture->contains(check.line)) << check.name;
        EXPECT_TRUE(capture->contains(name)) << check.name;
        EXPECT_TRUE(capture->contains("User Selected Option not to restore Unmapped Data ")) << check.name;
        EXPECT_FALSE(factory.isFileMappingEnabled());
    }
}

// With the choice to restore unmapped data, a MapFile that gives nothing lets the job go on by the other rules.
TEST_F(Mapping, UnusableMapFileWithUnmappedDataGoesOn) {
    writeSettings("[TaskOptions]\n1 = " + (scratch_ / "missing") + "\n2.0 = true\n[RestoreTask]\n" +
                  "0x5e93ea78 = <MapFilePath sourcePath=\"/x\" destinationPath=\"/y\"/>\n");
    fcltest::NamingFactory& factory = makeNamingFactory(0);
    wzlog::ScopedCapture capture;
    EXPECT_EQ(factory.InitializeForMappedRestores(kJobId), 0);
    EXPECT_EQ(factory.restoreUnmappedData(), 1);
    EXPECT_TRUE(capture->contains("NoMappingData option set to =[1] "));
    EXPECT_EQ(entriesText(factory.mapping()), "/x=/y;") << "the XML entries are read all the same";
}

TEST_F(Mapping, JobThatNamesNoMapFileNeverReadsTheUnmappedChoice) {
    writeSettings("[TaskOptions]\n2.0 = true\n");
    fcltest::NamingFactory& factory = makeNamingFactory(0);
    wzlog::ScopedCapture capture;
    EXPECT_EQ(factory.InitializeForMappedRestores(kJobId), 0);
    EXPECT_EQ(factory.restoreUnmappedData(), 0);
    EXPECT_FALSE(capture->contains("NoMappingData"));
    EXPECT_FALSE(factory.isFileMappingEnabled());
}

TEST_F(Mapping, XmlEntriesAreCheckedLikeLines) {
    writeSettings(
        "[RestoreTask]\n"
        "0x5e93ea78 = <MapFilePath sourcePath=\"/x/\" destinationPath=\"/y/\"/>\n"
        "0x5e93ea78 = <MapFilePath sourcePath=\"/gone\" destinationPath=\"&quot;\"/>\n"
        "0x5e93ea78 = <MapFilePath sourcePath=\"rel\" destinationPath=\"/z\"/>\n"
        "0x5e93ea78 = <MapFilePath sourcePath=\"/e\" destinationPath=\"\"/>\n"
        "0x5e93ea78 = <MapFilePath sourcePath=\"/up/..\" destinationPath=\"/z\"/>\n"
        "0x5e93ea78 = <MapFilePath sourcePath=\n");
    fcltest::NamingFactory& factory = makeNamingFactory(0);
    wzlog::ScopedCapture capture;
    EXPECT_EQ(factory.InitializeForMappedRestores(kJobId), 0);
    EXPECT_EQ(entriesText(factory.mapping()), "/gone=;/x=/y;");
    EXPECT_TRUE(capture->contains("Adding map srcTemp = /x and destTemp = /y"));
    EXPECT_TRUE(capture->contains("Specify absolute path for source.Ignoring map rel:/z"));
    EXPECT_TRUE(capture->contains("Invalid Format.Ignoring map /e:"));
    EXPECT_TRUE(capture->contains("A mapping path cannot climb with \"..\".Ignoring map"));
    EXPECT_TRUE(capture->contains("initialization of TMMsg::MapFilePath failed"));
    EXPECT_EQ(lookUp("/gone/f"), "(excluded)");
}

// A synchronised restore takes its path mapper's pairs and nothing else.
TEST_F(Mapping, SynchronisedRestoreTakesTheMappersPairs) {
    companion()._syncRestore = true;
    CSyncRestorePathMapper* mapper = new CSyncRestorePathMapper(kJobId);
    mapper->GetMappedPaths().push_back(SrcDestMap{"/s/", "/t"});
    mapper->GetMappedPaths().push_back(SrcDestMap{"/u", "/v"});
    companion().SetSyncPathMapper(mapper);
    fcltest::writeFile(scratch_ / "map", "\"/a\",\"/b\"\n");
    writeSettings("[TaskOptions]\n1 = " + (scratch_ / "map") + "\n");
    fcltest::NamingFactory& factory = makeNamingFactory(0);
    wzlog::ScopedCapture capture;
    EXPECT_EQ(factory.InitializeForMappedRestores(kJobId), 0);
    EXPECT_EQ(entriesText(factory.mapping()), "/s=/t;/u=/v;");
    EXPECT_TRUE(capture->contains("Inserting map entry, SrcPath=/s/, DestPath=/t"));
    EXPECT_FALSE(capture->contains("mappingFile="));
    EXPECT_EQ(lookUp("/s/x"), "/t/x");
}

}  // namespace
