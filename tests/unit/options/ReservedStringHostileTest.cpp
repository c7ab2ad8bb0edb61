// Reserved option strings as a hostile or broken peer might send them. Each has a defined outcome, and none may
// read or write outside what it was given (the sanitizer build runs these too).
#include <functional>
#include <string>

#include "tests/unit/options/CompanionFixture.h"
#include "tools/fir/ReservedOptions.h"

namespace {

struct HostileCase {
    const char* name;
    std::string text;
    bool fails;
    std::function<bool(FclRestoreUNIX&)> holds;  // what must be true of the companion afterwards
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

std::string repeat(const std::string& piece, size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

std::string everyByte() {
    std::string out;
    for (int i = 1; i < 256; ++i) {
        out += static_cast<char>(i);
    }
    return out;
}

class HostileReserved : public fcltest::CompanionTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileReserved, HasItsDefinedOutcome) {
    const HostileCase& c = GetParam();
    CQiError result = parse(c.text);
    EXPECT_EQ(result.IsError(), c.fails);
    EXPECT_TRUE(c.holds(*companion_));
}

const HostileCase kHostileCases[] = {
    {"noSeparator", "DistributedRestore", false, [](FclRestoreUNIX& c) { return !c._distributedRestore; }},
    {"onlySeparators", "=\n==\n\n\r\n=", false, [](FclRestoreUNIX& c) { return !c._distributedRestore; }},
    {"emptyKey", "=1", false, [](FclRestoreUNIX& c) { return !c._distributedRestore; }},
    {"blanksAroundKeyAndValue", "  HBaseRestore \t=  1  ", false, [](FclRestoreUNIX& c) { return c._hbaseRestore; }},
    {"crlfLines", "HBaseRestore=1\r\nSplunkRestore=1\r\n", false,
     [](FclRestoreUNIX& c) { return c._hbaseRestore && c._splunkRestore; }},
    {"duplicateKeyLastWins", "HBaseRestore=1\nHBaseRestore=0", false,
     [](FclRestoreUNIX& c) { return !c._hbaseRestore; }},
    {"duplicateKeyLastWinsTheOtherWay", "HBaseRestore=0\nHBaseRestore=1", false,
     [](FclRestoreUNIX& c) { return c._hbaseRestore; }},
    {"keyCaseMatters", "hbaserestore=1", false, [](FclRestoreUNIX& c) { return !c._hbaseRestore; }},
    {"colonKeyNeedsItsWholeName", "OPT=1\nautomountshare=1\nOPT:automountshare:=1", false,
     [](FclRestoreUNIX& c) { return !c.ShouldAutoMountShare(); }},
    {"valueHoldsEquals", "pgSrcWalDir=/a=b==c", false, [](FclRestoreUNIX& c) { return c.m_pgSrcWalDir == "/a=b==c"; }},
    {"numberOverflow", "HadoopInstance=99999999999999999999999", false,
     [](FclRestoreUNIX& c) { return !c._hadoopRestore && c._hadoopDestinationInstanceId == 0; }},
    {"negativeUnsigned", "HadoopInstance=-5", false, [](FclRestoreUNIX& c) { return !c._hadoopRestore; }},
    {"hexFlag", "HBaseRestore=0x1", false, [](FclRestoreUNIX& c) { return c._hbaseRestore; }},
    {"webFolderNotANumber", "RuvoDriveRestore=1\nRuvoWebFolderID=seven", true,
     [](FclRestoreUNIX& c) { return c._ruvoWebFolderId == 0; }},
    {"webFolderOutOfRange", "RuvoDriveRestore=1\nRuvoWebFolderID=2147483648", true,
     [](FclRestoreUNIX& c) { return c._ruvoWebFolderId == 0; }},
    {"hugeKey", repeat("K", 1 << 20) + "=1\nSplunkRestore=1", false,
     [](FclRestoreUNIX& c) { return c._splunkRestore; }},
    {"hugeValue", "pgSrcWalDir=" + repeat("/w", 1 << 19), false,
     [](FclRestoreUNIX& c) { return c.m_pgSrcWalDir.size() == (1u << 20); }},
    {"manyLines", repeat("x=1\n", 100000) + "SplunkRestore=1", false,
     [](FclRestoreUNIX& c) { return c._splunkRestore; }},
    {"everyByte", everyByte() + "\nSplunkRestore=1", false, [](FclRestoreUNIX& c) { return c._splunkRestore; }},
    {"pairListOfMarkersOnly", "CassandraRestore=1\nCassandraRestoreDataDirectory=" + repeat("##:", 5000), false,
     [](FclRestoreUNIX& c) { return c._cassandraDataDirs.empty(); }},
    {"pairListOfColonsOnly", "CassandraStagedRestore=1\nCassandraStagedRestoreStagingLoc=::::##:::", false,
     [](FclRestoreUNIX& c) { return c._cassandraStagingLocs.empty(); }},
    {"manyPairs", "CassandraRestore=1\nCassandraRestoreDataDirectory=" + repeat("n:/d##", 10000), false,
     [](FclRestoreUNIX& c) { return c._cassandraDataDirs.size() == 1; }},
    {"metaOfMarkersOnly", "CassandraRestore=1\nCassandraMeta=" + repeat("~KEYSPACE~~BEGIN~~TABLEMETA~~TABLEID~", 1000),
     false, [](FclRestoreUNIX& c) { return c._cassandraTableDirs.empty(); }},
    {"metaWithPartialMarkers", "CassandraRestore=1\nCassandraMeta=~KEYSPACE~k~BEGIN~~TABLE~META~~TABLEID", false,
     [](FclRestoreUNIX& c) { return c._cassandraTableDirs.empty(); }},
    {"metaManyTables", "CassandraRestore=1\nCassandraMeta=~KEYSPACE~k~BEGIN~" + repeat("~TABLEMETA~t~TABLEID~1", 5000),
     false, [](FclRestoreUNIX& c) { return c._cassandraTableDirs.size() == 1; }},
    {"xmlNotClosed", "fsLiveRestore=1\nfsBlockLevelRestore=1\nSnapMountXMLParams=<a><b>", false,
     [](FclRestoreUNIX& c) { return !c.IsFsBlockLevelLiveRestore(); }},
    {"xmlTextOnly", "fsLiveRestore=1\nfsBlockLevelRestore=1\nSnapMountXMLParams=just text", false,
     [](FclRestoreUNIX& c) { return !c.IsFsBlockLevelLiveRestore(); }},
    {"xmlTwoRoots", "fsLiveRestore=1\nfsBlockLevelRestore=1\nSnapMountXMLParams=<a/><b/>", false,
     [](FclRestoreUNIX& c) { return !c.IsFsBlockLevelLiveRestore(); }},
    {"xmlNestedTooDeep",
     "fsLiveRestore=1\nfsBlockLevelRestore=1\nSnapMountXMLParams=" + repeat("<a>", 200000) + repeat("</a>", 200000),
     false, [](FclRestoreUNIX& c) { return !c.IsFsBlockLevelLiveRestore(); }},
    {"xmlNestedModerately",
     "fsLiveRestore=1\nfsBlockLevelRestore=1\nSnapMountXMLParams=" + repeat("<a>", 50) + repeat("</a>", 50), false,
     [](FclRestoreUNIX& c) { return c.IsFsBlockLevelLiveRestore(); }},
    {"xmlUnbalancedClosers",
     "fsLiveRestore=1\nfsBlockLevelRestore=1\nSnapMountXMLParams=" + repeat("</a>", 1000) + "<a/>", false,
     [](FclRestoreUNIX& c) { return !c.IsFsBlockLevelLiveRestore(); }},
    {"xmlEndsInOpenBracket", "fsLiveRestore=1\nfsBlockLevelRestore=1\nSnapMountXMLParams=<", false,
     [](FclRestoreUNIX& c) { return !c.IsFsBlockLevelLiveRestore(); }},
    {"xmlTagNeverClosed", "fsLiveRestore=1\nfsBlockLevelRestore=1\nSnapMountXMLParams=<a", false,
     [](FclRestoreUNIX& c) { return !c.IsFsBlockLevelLiveRestore(); }},
};

INSTANTIATE_TEST_SUITE_P(Inputs, HostileReserved, ::testing::ValuesIn(kHostileCases),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                             return std::string(info.param.name);
                         });

class FirText : public fcltest::CompanionTest {};

// The FIR driver writes the reserved options; what it writes must read back as the same options here, whatever
// markers the values carry.
TEST_F(FirText, WrittenByTheFirDriverReadsBack) {
    fir::OptionPairs options = {
        {"OPT:automountshare", "1"},
        {"DistributedRestore", "1"},
        {"SolrIndexRestoreType", "2"},
        {"SolrCloudClientID", "77"},
        {"CassandraRestore", "1"},
        {"CassandraRestoreDataDirectory", "n1:/data/one##n2:/data/two"},
        {"CassandraMeta", "~KEYSPACE~ks~BEGIN~~TABLEMETA~t~TABLEID~id"},
        {"fsLiveRestore", "1"},
        {"fsBlockLevelRestore", "1"},
        {"SnapMountXMLParams", "<Mount dev=\"/dev/sdb\" opts=\"a=b\"/>"},
        {"pgSrcWalDir", "/pg/wal dir"},
    };
    std::string text;
    std::string why;
    ASSERT_TRUE(fir::encodeReservedOptions(options, &text, &why)) << why;
    ASSERT_FALSE(parse(text).IsError());
    FclRestoreUNIX& c = *companion_;
    EXPECT_TRUE(c.ShouldAutoMountShare());
    EXPECT_TRUE(c._solrCloudRestore);
    EXPECT_EQ(c._solrCloudClientId, 77u);
    EXPECT_EQ(c._cassandraDataDirs.size(), 2u);
    EXPECT_EQ(c._cassandraDataDirs["n2"], "/data/two");
    ASSERT_EQ(c._cassandraTableDirs.size(), 1u);
    EXPECT_STREQ(c._cassandraTableDirs.begin()->second.c_str(), "ks/t-id");
    EXPECT_TRUE(c.IsFsBlockLevelLiveRestore());
    EXPECT_EQ(c.m_pgSrcWalDir, "/pg/wal dir");
}

}  // namespace
