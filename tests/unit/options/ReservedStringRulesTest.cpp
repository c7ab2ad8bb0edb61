// How the keys of the reserved option string work together: the restore kinds of the tail, the failure, the log
// lines that name the kind, and the Cassandra texts.
#include "platform/support/FXErrorUtil.h"
#include "tests/unit/options/CompanionFixture.h"

namespace {

using fcltest::CompanionTest;

const std::string kBannerLine(104, '=');

TEST_F(CompanionTest, NullOrEmptyTextChangesNothingAndLogsNothing) {
    for (const char* text : {static_cast<const char*>(nullptr), ""}) {
        ASSERT_FALSE(parse(text).IsError());
        EXPECT_TRUE(capture_->lines().empty());
        EXPECT_TRUE(companion_->ShouldUnmountShares());
        EXPECT_FALSE(companion_->_distributedRestore);
    }
}

TEST_F(CompanionTest, ParseLogsTheTextAndTheUnmountDecision) {
    ASSERT_FALSE(parse("UseIndexingV2=1").IsError());
    EXPECT_TRUE(logged("Parsing InitData reserved string [UseIndexingV2=1]"));
    EXPECT_TRUE(logged("Automatic mounted shares will be unmounted"));
    EXPECT_TRUE(logged("Using Indexing V2"));
    ASSERT_FALSE(parse("OPT:automountshare=1\nOPT:donotunmountshares=1").IsError());
    EXPECT_TRUE(logged("This restore requires automatic mount of share for in-place restore"));
    EXPECT_TRUE(logged("Automatic mounted shares will not be unmounted, will be done by Controller"));
}

TEST_F(CompanionTest, RuvoSyncWithoutWebFolderFailsWith1627AndReadsNoFurther) {
    CQiError error = parse("RuvoDriveRestore=1\nDBRestoreFromMultiplexedBackup=1\npgSrcWalDir=/wal\nSplunkRestore=1");
    ASSERT_TRUE(error.IsError());
    EXPECT_EQ(FXErrorUtil::GetCode(error), 1627);
    EXPECT_EQ(FXErrorUtil::GetMessage(error), "Ruvo sync restore recived 0 as WebFolderID");
    EXPECT_TRUE(companion_->IsRuvoSyncRestore());
    EXPECT_TRUE(companion_->_splunkRestore);  // read before the tail
    EXPECT_FALSE(companion_->isDBRestoreFromMultiplexedBackup());
    EXPECT_EQ(companion_->m_pgSrcWalDir, "");
}

TEST_F(CompanionTest, RuvoSyncWithWebFolderLogsItsBanner) {
    ASSERT_FALSE(parse("RuvoDriveRestore=1\nRuvoWebFolderID=7\nDBRestoreFromMultiplexedBackup=1").IsError());
    EXPECT_TRUE(logged("This is a Ruvo Sync Restore for WebFolder(7)"));
    EXPECT_EQ(capture_->count(kBannerLine), 2u);
    EXPECT_FALSE(companion_->isDBRestoreFromMultiplexedBackup());
}

TEST_F(CompanionTest, HadoopDecidesTheKindBeforeRuvoAndMultiplexedDatabases) {
    ASSERT_FALSE(parse("RuvoDriveRestore=1\nHadoopInstance=5\nDBRestoreFromMultiplexedBackup=1").IsError());
    EXPECT_TRUE(companion_->_hadoopRestore);
    EXPECT_FALSE(companion_->isDBRestoreFromMultiplexedBackup());
    EXPECT_FALSE(logged("Ruvo Sync Restore"));
    EXPECT_TRUE(logged("This is a Hadoop Restore (destination instance ID=5 "));
    EXPECT_TRUE(logged("Holes will be restored as flat"));
    EXPECT_FALSE(logged("Hadoop largefile extents will be replicated after concat"));
}

TEST_F(CompanionTest, HadoopReadsTheExtentReplicationSetting) {
    writeSettings("[FileSystemAgent]\nnReplicateHadoopExtentsAfterConcat = yes\n");
    ASSERT_FALSE(parse("HadoopInstance=5").IsError());
    EXPECT_TRUE(companion_->_replicateHadoopExtentsAfterConcat);
    EXPECT_TRUE(logged("Hadoop largefile extents will be replicated after concat"));
    ASSERT_FALSE(parse("MongoDbRestore=1").IsError());
    EXPECT_FALSE(companion_->_replicateHadoopExtentsAfterConcat);  // only Hadoop restores read it
}

TEST_F(CompanionTest, LiveBlockLevelTextThatDoesNotUnserialiseIsLoggedAndTolerated) {
    ASSERT_FALSE(parse("fsLiveRestore=1\nfsBlockLevelRestore=1\nSnapMountXMLParams=<Mount><Vol></Mount>\n"
                       "DBRestoreFromMultiplexedBackup=1")
                     .IsError());
    EXPECT_TRUE(
        logged("Failed to unserialize XML string [<Mount><Vol></Mount>], though the options of Live Block "
               "Level restores were set, restore may fail!!!"));
    EXPECT_FALSE(companion_->IsFsBlockLevelLiveRestore());
    EXPECT_TRUE(companion_->isDBRestoreFromMultiplexedBackup());
    EXPECT_TRUE(logged("Restore of DB from multiplexed backup "));
    EXPECT_EQ(capture_->count(kBannerLine), 2u);
}

TEST_F(CompanionTest, LiveBlockLevelRestoreIsNotAlsoAMultiplexedDatabaseRestore) {
    ASSERT_FALSE(parse("fsLiveRestore=1\nfsBlockLevelRestore=1\nSnapMountXMLParams=<Mount vol=\"a=b\"/>\n"
                       "DBRestoreFromMultiplexedBackup=1")
                     .IsError());
    EXPECT_TRUE(companion_->IsFsBlockLevelLiveRestore());
    EXPECT_FALSE(companion_->isDBRestoreFromMultiplexedBackup());
}

TEST_F(CompanionTest, DistributedLogLineNamesTheKinds) {
    ASSERT_FALSE(parse("DistributedRestore=1\nDistributedMultiNodeRestore=1").IsError());
    EXPECT_TRUE(logged("This is Distributed restore"));
    EXPECT_TRUE(logged("This is a distributed multinode restore"));
    ASSERT_FALSE(parse("DistributedRestore=1\nDistributedMultiNodeRestore=1\nDistributedRestoreTimestampPhase=1\n"
                       "DistributedVLRBackupCopyRestore=1")
                     .IsError());
    EXPECT_TRUE(logged("This is a distributed multinode timestamp restore"));
    EXPECT_TRUE(logged("This is Multi-Stream Volume level Restore from BackupCopy"));
    ASSERT_FALSE(parse("DistributedRestore=1").IsError());
    EXPECT_TRUE(logged("This is a distributed restore"));
}

TEST_F(CompanionTest, SolrCloudClientIdIsReadWhenGivenAndLoggedWhenMissing) {
    ASSERT_FALSE(parse("DistributedRestore=1\nSolrIndexRestoreType=2").IsError());
    EXPECT_TRUE(companion_->_solrCloudRestore);
    EXPECT_TRUE(logged("This is Solr cloud restore"));
    EXPECT_TRUE(logged("Missing solr cloud client id"));
    EXPECT_EQ(companion_->_solrCloudClientId, 0u);
    ASSERT_FALSE(parse("DistributedRestore=1\nSolrIndexRestoreType=2\nSolrCloudClientID=12abc").IsError());
    EXPECT_EQ(companion_->_solrCloudClientId, 12u);  // the leading digits, as atoi reads them
    for (const char* bad : {"-4", "99999999999999999999999", "2147483648"}) {
        ASSERT_FALSE(
            parse(std::string("DistributedRestore=1\nSolrIndexRestoreType=2\nSolrCloudClientID=") + bad).IsError());
        EXPECT_EQ(companion_->_solrCloudClientId, 0u) << bad;
        EXPECT_TRUE(logged("is not a usable id")) << bad;
    }
}

TEST_F(CompanionTest, BannersOfTheRestoreKinds) {
    ASSERT_FALSE(parse("ExtentItemRestore=1\nContentIndexingRestore=1\nHBaseRestore=1\nSplunkRestore=1\n"
                       "MongoDbRestore=1\nMongoDbLogRestore=/m\nGreenplumExtendedRestoreOption=1\nRuvoDriveDownload=1")
                     .IsError());
    for (const char* line :
         {"============ This is Extent based Restore ===========",
          "================ This is a content indexing restore ================",
          "============ This is Apache HBase Restore ============", "This is a Splunk restore", "MongoDb restores [1]",
          "MongoDb Log Restore Path: /m", "This is Greenplum Restore option [SEGMENT ]",
          "========================= This is Ruvo Restore ========================="}) {
        EXPECT_TRUE(logged(line)) << line;
    }
    ASSERT_FALSE(parse("GreenplumExtendedRestoreOption=3\npgSrcWalDir=/w").IsError());
    EXPECT_TRUE(logged("This is Greenplum Restore option [JOBRESULTS]"));
    EXPECT_TRUE(logged("Postgres Log restore : Source Wal directory = /w"));
}

struct PairCase {
    const char* text;
    const char* filled;  // the map as "key=value;" pairs
};

TEST_F(CompanionTest, PairListsFillOnlyFromMoreThanOnePiece) {
    const PairCase cases[] = {
        {"n1:/d1", ""},
        {"n1:/d1##n2:/d2", "n1=/d1;n2=/d2;"},
        {"n1:/d1##", "n1=/d1;"},
        {"n1:/a##n1:/b", "n1=/b;"},
        {"n1:/a:extra##n2", "n1=/a;"},
        {":/x##n2:/y", "n2=/y;"},
        {"n1:##n2:/y", "n1=;n2=/y;"},
        {"####", ""},
    };
    for (const PairCase& c : cases) {
        ASSERT_FALSE(parse(std::string("CassandraRestore=1\nCassandraRestoreDataDirectory=") + c.text).IsError());
        EXPECT_EQ(fcltest::pairsText(companion_->_cassandraDataDirs), c.filled) << c.text;
    }
    EXPECT_TRUE(logged(" Cassandra restores [1]"));
    EXPECT_TRUE(logged(" Cassandra data directory [####]"));
}

TEST_F(CompanionTest, CassandraMetaNamesTableDirectoriesBelowTheirKeyspace) {
    const PairCase cases[] = {
        {"~KEYSPACE~ks~BEGIN~~TABLEMETA~t1~TABLEID~abc", "ks:t1=ks/t1-abc;"},
        {"~KEYSPACE~ks~BEGIN~~TABLEMETA~t1", "ks:t1=ks/t1;"},
        {"~KEYSPACE~ks~BEGIN~~TABLEMETA~t1~TABLEID~", "ks:t1=ks/t1;"},
        {"junk~KEYSPACE~a~BEGIN~~TABLEMETA~x~KEYSPACE~b~BEGIN~~TABLEMETA~y~TABLEID~1~TABLEMETA~z",
         "a:x=a/x;b:y=b/y-1;b:z=b/z;"},
        {"ks~BEGIN~~TABLEMETA~t1", ""},
        {"~KEYSPACE~ks~BEGIN~", ""},
        {"~KEYSPACE~ks", ""},
        {"~KEYSPACE~ks~BEGIN~x~BEGIN~~TABLEMETA~t", ""},
        // Names become directories under the destination: no climbing, no hidden separators, nothing empty.
        {"~KEYSPACE~..~BEGIN~~TABLEMETA~t", ""},
        {"~KEYSPACE~ks~BEGIN~~TABLEMETA~../../etc~TABLEMETA~a/b~TABLEMETA~~TABLEMETA~ok", "ks:ok=ks/ok;"},
        {"~KEYSPACE~ks~BEGIN~~TABLEMETA~t~TABLEID~x/../../y", ""},
        {"~KEYSPACE~~BEGIN~~TABLEMETA~t", ""},
    };
    for (const PairCase& c : cases) {
        ASSERT_FALSE(parse(std::string("CassandraRestore=1\nCassandraMeta=") + c.text).IsError());
        EXPECT_EQ(fcltest::pairsText(companion_->_cassandraTableDirs), c.filled) << c.text;
    }
    ASSERT_FALSE(parse("CassandraRestore=1\nCassandraMeta=~KEYSPACE~ks~BEGIN~~TABLEMETA~t1~TABLEID~9").IsError());
    EXPECT_TRUE(logged(" keyspace [ks~BEGIN~~TABLEMETA~t1~TABLEID~9] "));
    EXPECT_TRUE(logged(" Table [t1~TABLEID~9] "));
}

TEST_F(CompanionTest, StagingLocationsNeedTheStagedFlag) {
    ASSERT_FALSE(
        parse("CassandraStagedRestore=1\nCassandraStagedRestoreStagingLoc=a:/s1##b:/s2\nCassandraRestore=0").IsError());
    EXPECT_EQ(companion_->_cassandraStagingLocs.size(), 2u);
    EXPECT_TRUE(companion_->_cassandraDataDirs.empty());
    EXPECT_TRUE(logged(" Cassandra staged restores [1]"));
    EXPECT_TRUE(logged(" Cassandra staging directory [a:/s1##b:/s2]"));
}

}  // namespace
