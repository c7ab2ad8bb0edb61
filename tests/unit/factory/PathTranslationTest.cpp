// Path translation by the job's path mode: source paths and strip levels, options, the job's kind and the item's
// header in; the destination path, an empty one (no destination) or the per-item id thrown out. Hostile tails never
// leave the destination.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/factory/NamingFixture.h"

namespace {

enum class Kind { Plain, MySql, Fbr, HBase, ContentIndexing, Salesforce, Spanner, Greenplum, Silo, Photo, CacheDb };

const unsigned long kOut = FSR_OPT_OUT_OF_PLACE;
const unsigned long kKeep = FSR_OPT_OUT_OF_PLACE | FSR_OPT_KEEP_DIR_STRUCTURE;
const unsigned short kFile = 0x8000;
const unsigned short kDir = 0x4000;
const std::string kLongName(1021, 'a');
const std::string kLongSource = "/p/" + std::string(960, 'x');

struct TranslationCase {
    const char* name;
    std::string sources;  // "path:strip ..."
    unsigned long options;
    Kind kind;
    std::string from;
    unsigned short mode;
    const char* headerName;  // null: no header
    uint32_t flags2;
    std::string expected;  // "" no destination, "#0x..." the id thrown
    const char* line;      // a log line the case writes, or null
};

void PrintTo(const TranslationCase& c, std::ostream* os) {
    *os << c.name;
}

const TranslationCase kCases[] = {
    // Strip levels.
    {"StripsOneLevel", "/data:1 /home/u:2", kKeep, Kind::Plain, "/data/x/f", kFile, nullptr, 0, "/r/x/f",
     "Final toPath=[/r/x/f]"},
    {"StripsTwoLevels", "/data:1 /home/u:2", kKeep, Kind::Plain, "/home/u/d/f", kFile, nullptr, 0, "/r/d/f", nullptr},
    {"DirectoryKeepsItsSlash", "/data:1 /home/u:2", kKeep, Kind::Plain, "/home/u/d", kDir, nullptr, 0, "/r/d/",
     nullptr},
    {"StripBeyondDepthLeavesTheLastName", "/data:5", kKeep, Kind::Plain, "/data/x/f", kFile, nullptr, 0, "/r/f",
     nullptr},
    {"UnmatchedItemStripsOne", "/data:1 /home/u:2", kKeep, Kind::Plain, "/other/f", kFile, nullptr, 0, "/r/f", nullptr},
    {"ShorterThanEverySourceHasNoDestination", "/data:1 /home/u:2", kKeep, Kind::Plain, "/a/b", kFile, nullptr, 0, "",
     nullptr},
    {"CommonStripLevelOfTheFirstSource", "/a:2 /b:0", kOut | FSR_OPT_COMMON_STRIP_LEVEL, Kind::Plain, "/b/x/f", kFile,
     nullptr, 0, "/r/f", nullptr},
    {"RecordWithoutTextIsPassedOver", "- /data:1 -", kKeep, Kind::Plain, "/data/x/f", kFile, nullptr, 0, "/r/x/f",
     nullptr},
    {"NormalisedNameIsSelected", "/data:1", kKeep, Kind::Plain, "/data//x/./f", kFile, nullptr, 0, "/r/x/f", nullptr},
    {"LongNameKeepsEveryByte", "/data:1", kKeep, Kind::Plain, "/data/" + kLongName, kFile, nullptr, 0,
     "/r/" + kLongName, nullptr},
    {"LongSourceMatchesUnderItsParent", kLongSource + ":1", kKeep, Kind::Plain, "/p/y/f", kFile, nullptr, 0, "/r/y/f",
     nullptr},
    {"RootHasNoDestination", "/data:1", kKeep, Kind::Plain, "/", kFile, nullptr, 0, "", nullptr},
    {"SingleNameWithBackslashesBecomesLevels", "/data:1", kKeep, Kind::Plain, "dir\\file", kFile, nullptr, 0,
     "/r/dir/file", nullptr},
    {"LongPathItemIsSearchedByItsHeaderName", "/data:2", kKeep, Kind::Plain, "/zz/a/f", kFile, "/data/x",
     CXHDR_F2_LONG_PATH, "/r/f", nullptr},
    // Hostile tails.
    {"DotDotInTheSourceIsRefused", "/data:1", kKeep, Kind::Plain, "/data/../etc/passwd", kFile, nullptr, 0,
     "#0x1700005b", "climbs"},
    {"DotDotBelowTheStripIsRefused", "/data:1", kKeep, Kind::Plain, "/data/x/../../../etc", kFile, nullptr, 0,
     "#0x1700005b", nullptr},
    {"RelativeClimbIsRefused", "/data:1", kKeep, Kind::Plain, "a/../../x", kFile, nullptr, 0, "#0x1700005b", nullptr},
    {"BackslashClimbIsRefused", "/data:1", kKeep, Kind::Plain, "..\\..\\etc\\passwd", kFile, nullptr, 0, "#0x1700005b",
     "climbs"},
    {"FlatDotDotIsRefused", "", kOut, Kind::Plain, "/a/..", kFile, nullptr, 0, "#0x1700005b", nullptr},
    // Flat restores.
    {"FlatKeepsTheBaseName", "", kOut, Kind::Plain, "/a/b/c.txt", kFile, nullptr, 0, "/r/c.txt", nullptr},
    {"FlatWithoutBaseNameIsTheDestination", "", kOut, Kind::Plain, "abc", kFile, nullptr, 0, "/r/",
     "Could not get basename from abc"},
    // Component indexing.
    {"ComponentIndexingKeepsTheLastTwoNames", "", kOut | FSR_OPT_COMPONENT_INDEXING | FSR_OPT_INDEX_CACHE, Kind::Plain,
     "/x/y/z", kFile, nullptr, 0, "/r/y/z", "Component indexing path to restore [/r/y/z]"},
    {"ComponentIndexingOneName", "", kOut | FSR_OPT_COMPONENT_INDEXING | FSR_OPT_INDEX_CACHE, Kind::Plain, "/z", kFile,
     nullptr, 0, "", "(CIR1) path in the file header is invalid [/z]"},
    {"ComponentIndexingRelativeName", "", kOut | FSR_OPT_COMPONENT_INDEXING | FSR_OPT_INDEX_CACHE, Kind::Plain, "a/z",
     kFile, nullptr, 0, "", "(CIR2) path in the file header is invalid [a/z]"},
    // Index reconstruction.
    {"IndexReconstruction", "/x:0", kOut | FSR_OPT_INDEX_RECONSTRUCTION, Kind::Plain, "%IDXDB%/db/f", kFile, nullptr, 0,
     "/r/db/f", nullptr},
    {"IndexReconstructionMarkerWithoutSeparator", "/x:0", kOut | FSR_OPT_INDEX_RECONSTRUCTION, Kind::Plain,
     "pre/%IDXDB%db/f", kFile, nullptr, 0, "/r/db/f", nullptr},
    {"IndexReconstructionThatRunsOutJoinsWithASeparator", "/x:5", kOut | FSR_OPT_INDEX_RECONSTRUCTION, Kind::Plain,
     "%IDXDB%/db/f", kFile, nullptr, 0, "/r/f", nullptr},
    {"IndexReconstructionBackslashTailStaysInside", "/x:0", kOut | FSR_OPT_INDEX_RECONSTRUCTION, Kind::Plain,
     "%IDXDB%\\..\\..\\x", kFile, nullptr, 0, "/r/\\..\\..\\x", nullptr},
    {"IndexReconstructionWithoutMarker", "/x:0", kOut | FSR_OPT_INDEX_RECONSTRUCTION, Kind::Plain, "/db/f", kFile,
     nullptr, 0, "", "Unexpected error: Wrong source path specified"},
    // Modes that keep the path or name nothing.
    {"SyntheticFullKeepsThePath", "/a:1", kKeep | FSR_OPT_SYNTHETIC_FULL, Kind::Plain, "/a//b", kFile, nullptr, 0,
     "/a/b", nullptr},
    {"DestinationThatIsTheFileNamesNothingHere", "/a:1", kKeep | FSR_OPT_DEST_IS_FILE, Kind::Plain, "/a/b", kFile,
     nullptr, 0, "", "translatePathname() is called for DMR-triggered restores!"},
    {"ContentIndexingKeepsThePath", "/a:1", kKeep, Kind::ContentIndexing, "/a/b", kFile, nullptr, 0, "/a/b", nullptr},
    {"HBaseIncrementalName", "/hb:1", kKeep, Kind::HBase, "/hb/~INCREMENTAL~/t/f", kFile, nullptr, 0, "/t/f",
     " HBase incremental restore [/t/f] "},
    // Jobs of particular applications.
    {"MySqlIsSearchedUnderNoBrowse", "/+NOBROWSE+/db:2", kKeep, Kind::MySql, "/db/t", kFile, nullptr, 0, "/r/t",
     "src.path=[/+NOBROWSE+/db/t]"},
    {"MySqlKeyAlreadyUnderNoBrowse", "/+NOBROWSE+/db:2", kKeep, Kind::MySql, "/+NOBROWSE+/db/t", kFile, nullptr, 0,
     "/r/t", nullptr},
    {"SalesforceStripsNothing", "/data:1", kKeep, Kind::Salesforce, "/data/x", kFile, nullptr, 0, "/r/data/x", nullptr},
    {"SpannerStripsNothing", "/data:1", kKeep, Kind::Spanner, "/data/x", kFile, nullptr, 0, "/r/data/x", nullptr},
    {"GreenplumTakesTheDestination", "/data:1", kKeep, Kind::Greenplum, "/data/x", kFile, nullptr, 0, "/r", nullptr},
    {"FbrWithItsVolumeGroup", "/vg1/data:1", kKeep, Kind::Fbr, "/data/x/f", kFile, nullptr, 0, "/r/data/x/f",
     "FBR set stripLevel = [1]"},
    {"FbrWithAnotherVolumeGroup", "/vg1/data:1", kKeep, Kind::Fbr, "/vg2/data/x", kFile, nullptr, 0, "/r/data/x",
     "FBR set stripLevel = [2]"},
    {"FbrUnknownStripsNothing", "/vg1/data:1", kKeep, Kind::Fbr, "/zz/q", kFile, nullptr, 0, "/r/zz/q",
     "Can't find strip level for [/zz/q]. Set stripLevel as 0 for it."},
    {"SiloTranslationFailureNamesNothing", "/a:1", kOut, Kind::Silo, "/x/MPATHID_1/f", kFile, nullptr, 0, "",
     "Could not translate path name /x/MPATHID_1/f for silo restore!"},
    {"SiloDatabasePathIsStripped", "/WZ_SIDB:1", kKeep, Kind::Silo, "\\WZ_SIDB\\x\\f", kFile, nullptr, 0, "/r/x/f",
     nullptr},
    {"SiloDatabaseBackslashClimbIsRefused", "/WZ_SIDB:1", kKeep, Kind::Silo, "\\WZ_SIDB\\..\\..\\f", kFile, nullptr, 0,
     "#0x1700005b", nullptr},
    {"PhotoFailureNamesNothing", "/a:1", kKeep, Kind::Photo, "/a/img.jpg", kFile, nullptr, 0, "",
     "TranslateIphotoPath failed"},
    // Index-cache database restores.
    {"IndexCacheStripsByTheHeaderDepth", "/data:1", kKeep, Kind::CacheDb, "/data/a/b/f", kFile, "/data/a/b/f", 0,
     "/r/f", nullptr},
    {"IndexCacheUnmatchedTakesTheFirstSource", "/data:2", kKeep, Kind::CacheDb, "/other/x/f", kFile, nullptr, 0, "/r/f",
     nullptr},
    {"IndexCacheNameWithoutSeparatorCannotBeStripped", "/d:1", kKeep, Kind::CacheDb, "/d/f", kFile, "f", 0,
     "#0x17000039", "could not strip 1 levels off path f"},
};

class Translation : public fcltest::NamingFixture, public ::testing::WithParamInterface<TranslationCase> {
protected:
    void setKind(Kind kind) {
        FclRestoreUNIX& c = companion();
        switch (kind) {
            case Kind::Plain:
                break;
            case Kind::MySql:
                initData().appType = 104;
                break;
            case Kind::Fbr:
                initData().appType = 106;
                break;
            case Kind::HBase:
                c._hbaseRestore = true;
                break;
            case Kind::ContentIndexing:
                c._contentIndexingRestore = true;
                break;
            case Kind::Salesforce:
                c._destAppType = 134;
                break;
            case Kind::Spanner:
                c._cloudInstanceType = 37;
                break;
            case Kind::Greenplum:
                c._greenplumRestoreOption = 1;
                break;
            case Kind::Silo:
                job_._siloJob = true;
                break;
            case Kind::Photo:
                c._iphotoFileRestore = true;
                break;
            case Kind::CacheDb:
                c._cacheDbRestore = true;
                break;
        }
    }
};

TEST_P(Translation, GivesTheDestinationOfTheMode) {
    const TranslationCase& c = GetParam();
    addSources(c.sources);
    setKind(c.kind);
    makeNamingFactory(c.options);
    CXFileHeader header;
    CXFileHeader* given = nullptr;
    if (c.headerName != nullptr) {
        strcpy(header.name, c.headerName);
        header.mode = c.mode;
        header.flags2 = c.flags2;
        given = &header;
    }
    wzlog::ScopedCapture capture;
    EXPECT_EQ(translate(c.from, c.mode, given), c.expected);
    if (c.line != nullptr) {
        EXPECT_TRUE(capture->contains(c.line)) << c.line;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Translation, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<TranslationCase>& info) { return info.param.name; });

class TranslationState : public fcltest::NamingFixture {};

// The comparator follows the job's case mode: an item of another case matches only while it is off.
TEST_F(TranslationState, CaseInsensitiveSearchMatchesAnotherCase) {
    addSources("/data:2");
    fcltest::NamingFactory& factory = makeNamingFactory(kKeep);
    EXPECT_EQ(translate("/Data/x/F"), "/r/x/F") << "no match: strip level 1 of an unmatched item";
    factory.setCaseSensitive(false);
    EXPECT_EQ(translate("/Data/x/F"), "/r/F");
}

// The shortest source path is measured once per process and kept for later jobs, until the job start resets it.
TEST_F(TranslationState, ShortestSourcePathIsKeptUntilReset) {
    addSources("/data:1 /home/u:2");
    makeNamingFactory(kKeep);
    EXPECT_EQ(translate("/z/z"), "");
    EXPECT_EQ(MinSrcPathSize, 5);
    resetProcessRestoreState();
    EXPECT_EQ(MinSrcPathSize, 0);
}

// A route that fails never hands back what the caller's string held: that would be the name of the item before.
TEST_F(TranslationState, FailedRoutesNeverKeepTheCallersName) {
    const unsigned long failing[] = {kKeep | FSR_OPT_DEST_IS_FILE, kOut | FSR_OPT_INDEX_RECONSTRUCTION};
    for (unsigned long options : failing) {
        makeNamingFactory(options);
        EXPECT_EQ(translate("/no/marker", kFile, nullptr, "/r/previous/item"), "") << options;
    }
}

TEST_F(TranslationState, WithoutAJobTheStripRulesAlone) {
    addSources("/data:1");
    makeNamingFactory(kKeep, "/r", false);
    EXPECT_EQ(translate("/data/x/f"), "/r/x/f");
    EXPECT_EQ(translate("/data/../x"), "#0x1700005b");
}

}  // namespace
