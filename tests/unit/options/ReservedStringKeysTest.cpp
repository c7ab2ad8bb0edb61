// Every key of the reserved option string sets its own flag or text and nothing else; keys read only under a
// condition change nothing without it; a flag is set only by the value 1.
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tests/unit/options/CompanionFixture.h"

namespace {

using Fields = std::map<std::string, std::string>;

// Everything the parse may write, as text.
Fields describe(FclRestoreUNIX& c) {
    auto b = [](bool v) { return std::string(v ? "1" : "0"); };
    return {
        {"liveBlockLevel", b(c.IsFsBlockLevelLiveRestore())},
        {"ruvoSync", b(c.IsRuvoSyncRestore())},
        {"ruvoWebFolder", std::to_string(c._ruvoWebFolderId)},
        {"greenplum", std::to_string(c._greenplumRestoreOption)},
        {"ruvo", b(c._ruvoRestore)},
        {"indexingV2", b(c._useIndexingV2)},
        {"autoMountShare", b(c.ShouldAutoMountShare())},
        {"unmountShares", b(c.ShouldUnmountShares())},
        {"hadoopInstance", std::to_string(c._hadoopDestinationInstanceId)},
        {"hadoop", b(c._hadoopRestore)},
        {"hadoopReplicate", b(c._replicateHadoopExtentsAfterConcat)},
        {"distributed", b(c._distributedRestore)},
        {"timestamps", b(c.IsTimestampRestoreEnabled())},
        {"timestampPhase", b(c.IsDistributedTimestampRestore())},
        {"multiNode", b(c.IsMultiNodeRestore())},
        {"vlrBackupCopy", b(c.IsVLRBackupCopyMultiStreamRestore())},
        {"solrCloud", b(c._solrCloudRestore)},
        {"solrClientId", std::to_string(c._solrCloudClientId)},
        {"solrSingleNode", b(c._solrDBRestore)},
        {"contentIndexing", b(c.IsContentIndexingRestore())},
        {"hbase", b(c._hbaseRestore)},
        {"cassandra", b(c._cassandraRestore)},
        {"cassandraStaged", b(c._cassandraStagedRestore)},
        {"splunk", b(c._splunkRestore)},
        {"mongo", b(c._mongoDbRestore)},
        {"mongoLogPath", c._mongoDbLogRestorePath},
        {"cassandraData", fcltest::pairsText(c._cassandraDataDirs)},
        {"cassandraTables", fcltest::pairsText(c._cassandraTableDirs)},
        {"cassandraStaging", fcltest::pairsText(c._cassandraStagingLocs)},
        {"dbMultiplexed", b(c.isDBRestoreFromMultiplexedBackup())},
        {"pgSrcWalDir", c.m_pgSrcWalDir},
    };
}

struct KeyCase {
    const char* name;
    const char* text;
    Fields changed;  // the fields that differ from a fresh companion, with their values
};

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.name;
}

const char kDistributed[] = "DistributedRestore=1\n";

class ReservedKey : public fcltest::CompanionTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(ReservedKey, SetsItsFieldsAndNoOthers) {
    const KeyCase& c = GetParam();
    Fields expected = describe(makeCompanion());
    for (const auto& kv : c.changed) {
        ASSERT_EQ(expected.count(kv.first), 1u) << kv.first;
        ASSERT_NE(expected[kv.first], kv.second) << kv.first << " is already so on a fresh companion";
        expected[kv.first] = kv.second;
    }
    ASSERT_FALSE(parse(c.text).IsError());
    EXPECT_EQ(describe(*companion_), expected);
}

const KeyCase kKeyCases[] = {
    {"liveBlockLevel",
     "fsLiveRestore=1\nfsBlockLevelRestore=1\nSnapMountXMLParams=<Mount vol=\"/dev/sdb1\"/>",
     {{"liveBlockLevel", "1"}}},
    {"ruvoSync", "RuvoDriveRestore=1\nRuvoWebFolderID=7", {{"ruvoSync", "1"}, {"ruvoWebFolder", "7"}}},
    {"ruvoWebFolder", "RuvoWebFolderID=-3", {{"ruvoWebFolder", "-3"}}},
    {"greenplum", "GreenplumExtendedRestoreOption=2", {{"greenplum", "2"}}},
    {"ruvoDownload", "RuvoDriveDownload=1", {{"ruvo", "1"}}},
    {"indexingV2", "UseIndexingV2=1", {{"indexingV2", "1"}}},
    {"autoMountShare", "OPT:automountshare=1", {{"autoMountShare", "1"}}},
    {"doNotUnmount", "OPT:donotunmountshares=1", {{"unmountShares", "0"}}},
    {"hadoop", "HadoopInstance=5", {{"hadoopInstance", "5"}, {"hadoop", "1"}}},
    {"hadoopWide", "HadoopInstance=0x100000005", {{"hadoopInstance", "4294967301"}, {"hadoop", "1"}}},
    {"hadoopPort", "sHadoopRestUtilPort=8020", {}},
    {"distributed", kDistributed, {{"distributed", "1"}}},
    {"timestamps", "DistributedRestore=1\nTimestampRestoreEnabled=1", {{"distributed", "1"}, {"timestamps", "1"}}},
    {"timestampPhase",
     "DistributedRestore=1\nDistributedRestoreTimestampPhase=1",
     {{"distributed", "1"}, {"timestampPhase", "1"}}},
    {"multiNode", "DistributedRestore=1\nDistributedMultiNodeRestore=1", {{"distributed", "1"}, {"multiNode", "1"}}},
    {"vlrBackupCopy",
     "DistributedRestore=1\nDistributedVLRBackupCopyRestore=1",
     {{"distributed", "1"}, {"vlrBackupCopy", "1"}}},
    {"rawDeviceMapping", "DistributedRestore=1\nBackupCopyRawDeviceNameMapping=/dev/a:/dev/b", {{"distributed", "1"}}},
    {"blockDeviceConfig", "DistributedRestore=1\nBlockDeviceConfigFile=/etc/blk.conf", {{"distributed", "1"}}},
    {"solrCloud",
     "DistributedRestore=1\nSolrIndexRestoreType=2\nSolrCloudClientID=42",
     {{"distributed", "1"}, {"solrCloud", "1"}, {"solrClientId", "42"}}},
    {"solrSingleNode", "DistributedRestore=1\nSolrIndexRestoreType=1", {{"distributed", "1"}, {"solrSingleNode", "1"}}},
    {"extentItem", "ExtentItemRestore=1", {}},
    {"contentIndexing", "ContentIndexingRestore=1", {{"contentIndexing", "1"}}},
    {"hbase", "HBaseRestore=1", {{"hbase", "1"}}},
    {"cassandra", "CassandraRestore=1", {{"cassandra", "1"}}},
    {"cassandraStaged", "CassandraStagedRestore=1", {{"cassandraStaged", "1"}}},
    {"splunk", "SplunkRestore=1", {{"splunk", "1"}}},
    {"mongo", "MongoDbRestore=1", {{"mongo", "1"}}},
    {"mongoLog", "MongoDbLogRestore=/var/log/mongo", {{"mongoLogPath", "/var/log/mongo"}}},
    {"cassandraData",
     "CassandraRestore=1\nCassandraRestoreDataDirectory=n1:/d1##n2:/d2",
     {{"cassandra", "1"}, {"cassandraData", "n1=/d1;n2=/d2;"}}},
    {"cassandraMeta",
     "CassandraRestore=1\nCassandraMeta=~KEYSPACE~ks~BEGIN~~TABLEMETA~t1~TABLEID~abc~TABLEMETA~t2",
     {{"cassandra", "1"}, {"cassandraTables", "ks:t1=ks/t1-abc;ks:t2=ks/t2;"}}},
    {"cassandraStaging",
     "CassandraStagedRestore=1\nCassandraStagedRestoreStagingLoc=n1:/s1##n2:/s2",
     {{"cassandraStaged", "1"}, {"cassandraStaging", "n1=/s1;n2=/s2;"}}},
    {"dbMultiplexed", "DBRestoreFromMultiplexedBackup=1", {{"dbMultiplexed", "1"}}},
    {"pgSrcWalDir", "pgSrcWalDir=/pg/wal", {{"pgSrcWalDir", "/pg/wal"}}},
    // Keys read only under a condition change nothing without it.
    {"timestampsAlone", "TimestampRestoreEnabled=1", {}},
    {"timestampPhaseAlone", "DistributedRestoreTimestampPhase=1", {}},
    {"multiNodeAlone", "DistributedMultiNodeRestore=1", {}},
    {"vlrBackupCopyAlone", "DistributedVLRBackupCopyRestore=1", {}},
    {"solrCloudAlone", "SolrIndexRestoreType=2\nSolrCloudClientID=42", {}},
    {"solrSingleNodeAlone", "SolrIndexRestoreType=1", {}},
    {"solrClientIdWithoutCloud", "DistributedRestore=1\nSolrCloudClientID=42", {{"distributed", "1"}}},
    {"cassandraDataAlone", "CassandraRestoreDataDirectory=n1:/d1##n2:/d2", {}},
    {"cassandraMetaAlone", "CassandraMeta=~KEYSPACE~ks~BEGIN~~TABLEMETA~t1", {}},
    {"cassandraStagingAlone", "CassandraStagedRestoreStagingLoc=n1:/s1##n2:/s2", {}},
    {"snapMountWithoutBothKinds", "fsLiveRestore=1\nSnapMountXMLParams=<Mount/>", {}},
    {"liveKindsWithoutSnapMount", "fsLiveRestore=1\nfsBlockLevelRestore=1", {}},
};

INSTANTIATE_TEST_SUITE_P(Keys, ReservedKey, ::testing::ValuesIn(kKeyCases),
                         [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

// A flag key sets its flag only for the value 1.
class ReservedFlagValue : public fcltest::CompanionTest,
                          public ::testing::WithParamInterface<std::tuple<const char*, const char*>> {};

TEST_P(ReservedFlagValue, OtherValuesLeaveTheFlagClear) {
    const char* key = std::get<0>(GetParam());
    const char* value = std::get<1>(GetParam());
    Fields fresh = describe(makeCompanion());
    ASSERT_FALSE(parse(std::string(kDistributed) + key + "=" + value).IsError());
    Fields parsed = describe(*companion_);
    parsed.erase("distributed");
    fresh.erase("distributed");
    EXPECT_EQ(parsed, fresh) << key << "=" << value;
}

const char* const kFlagKeys[] = {"RuvoDriveDownload",
                                 "UseIndexingV2",
                                 "OPT:automountshare",
                                 "OPT:donotunmountshares",
                                 "TimestampRestoreEnabled",
                                 "DistributedRestoreTimestampPhase",
                                 "DistributedMultiNodeRestore",
                                 "DistributedVLRBackupCopyRestore",
                                 "ContentIndexingRestore",
                                 "HBaseRestore",
                                 "CassandraRestore",
                                 "CassandraStagedRestore",
                                 "SplunkRestore",
                                 "MongoDbRestore",
                                 "DBRestoreFromMultiplexedBackup"};
const char* const kNotOne[] = {"2", "0", "", "yes", "-1", "1x", "1 1", "4294967297"};

INSTANTIATE_TEST_SUITE_P(Values, ReservedFlagValue,
                         ::testing::Combine(::testing::ValuesIn(kFlagKeys), ::testing::ValuesIn(kNotOne)),
                         [](const ::testing::TestParamInfo<ReservedFlagValue::ParamType>& info) {
                             return fcltest::nameFromText(std::get<0>(info.param)) + "_Is_" +
                                    fcltest::nameFromText(std::get<1>(info.param));
                         });

}  // namespace
