// Each application rule of the file-header handler, over application types and names: the name it leaves and
// whether the item is left out.
#include <gtest/gtest.h>

#include "platform/log/LogWriter.h"

#include <functional>
#include <string>

#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/stream/FileHeaderRules.h"
#include "clRestore/support/ItemErrorIds.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/stream/StreamFixture.h"

namespace {

using streamtest::hostHeader;

constexpr unsigned long kPostgres = 0x7d;
constexpr unsigned long kDocumentum = 0x80;
constexpr unsigned long kMySql = 0x68;
constexpr unsigned long kSybase = 5;
constexpr unsigned long kMarkerType = 0x16;
constexpr unsigned long kUnixFs = 29;
constexpr unsigned long kOtherType = 0x50;  // neither a rule of its own nor a Unix file system
constexpr unsigned long kSkip = fclitem::kSkippedByRule;
const char kMarker[] = "{20d03aa2-7726-42d8-8381-fdda7a8a1c47}";

using Setup = std::function<void(FclRestoreUNIX&)>;

struct RuleCase {
    const char* label;
    unsigned long appType;
    unsigned long options;
    Setup setup;
    std::string name;
    uint64_t mode;
    std::string expectedName;
    unsigned long expectedCode;
    bool lengthFollowsName;  // h_namelen becomes the new length + 1; otherwise it keeps the old value
};

void none(FclRestoreUNIX&) {}
void snapArchive(FclRestoreUNIX& u) {
    u._snapArchive = true;
}
void indexingV2(FclRestoreUNIX& u) {
    u._useIndexingV2 = true;
}
void walDir(FclRestoreUNIX& u) {
    u.m_pgSrcWalDir = "/pg_wal";
}
void greenplumFifo(FclRestoreUNIX& u) {
    u._greenplumRestoreOption = 1;
}
void greenplumDump(FclRestoreUNIX& u) {
    u._greenplumRestoreOption = 2;
}
void cassandra(FclRestoreUNIX& u) {
    u._cassandraRestore = true;
    u._cassandraDataDirs["node1"] = "/var/lib/cassandra/data";
    u._cassandraTableDirs[CQiString("ks:tbl")] = "ks/tbl-0c3e";
}
void cassandraStaged(FclRestoreUNIX& u) {
    u._cassandraStagedRestore = true;
    u._cassandraStagingLocs["node1"] = "/stage";
}
void mongo(FclRestoreUNIX& u) {
    u._mongoDbRestore = true;
}
void mongoInSnap(FclRestoreUNIX& u) {
    u._mongoDbRestore = true;
    u._snapArchive = true;
}
void mongoLog(FclRestoreUNIX& u) {
    u._mongoDbRestore = true;
    u._mongoDbLogRestorePath = "/logs";
}
void splunk(FclRestoreUNIX& u) {
    u._splunkRestore = true;
}

constexpr uint64_t kFile = 0100644;
constexpr uint64_t kDir = 040755;

const RuleCase kCases[] = {
    {"pgStripsData", kPostgres, 0, none, "/data/base/1/2", kFile, "/base/1/2", 0, true},
    {"pgKeepsDataInSnapArchive", kPostgres, 0, snapArchive, "/data/base/1/2", kFile, "/data/base/1/2", 0, false},
    {"pgKeepsDataWithIndexingV2", kPostgres, 0, indexingV2, "/data/base/1/2", kFile, "/data/base/1/2", 0, false},
    {"pgOtherPrefixUnchanged", kPostgres, 0, none, "/database/x", kFile, "/database/x", 0, false},
    {"pgWalStripsLogPath", kPostgres, 0, walDir, "/data/pg_wal/0001", kFile, "/pg_wal/0001", 0, true},
    {"pgWalKeepsDataPath", kPostgres, 0, walDir, "/data/base/1", kFile, "/data/base/1", 0, false},
    {"pgSkipsPostmasterPid", kPostgres, 0, none, "/data/postmaster.pid", kFile, "/postmaster.pid", kSkip, true},
    {"docInPlaceShortens", kDocumentum, 0, none, "/cabinet/docbase/a/b", kFile, "/a/b", 0, true},
    {"docInPlaceTwoSlashesUnchanged", kDocumentum, 0, none, "/c/d", kFile, "/c/d", 0, false},
    {"docOutOfPlaceUnchanged", kDocumentum, FSR_OPT_OUT_OF_PLACE, none, "/cabinet/docbase/a/b", kFile,
     "/cabinet/docbase/a/b", 0, false},
    {"mySqlDropsNoBrowse", kMySql, 0, none, "/a/+NOBROWSE+/db/t.ibd", kFile, "/db/t.ibd", 0, true},
    {"mySqlPlainUnchanged", kMySql, 0, none, "/db/t.ibd", kFile, "/db/t.ibd", 0, false},
    {"sybaseDecodesDevice", kSybase, 0, none, "/x/~WZ_SYB_DEVICES~/~dev~rdsk~c0t1d0s4", kFile, "/dev/rdsk/c0t1d0s4", 0,
     true},
    {"sybaseTrailingSlashUnchanged", kSybase, 0, none, "/x/~WZ_SYB_DEVICES~/", kFile, "/x/~WZ_SYB_DEVICES~/", 0, false},
    {"sybasePlainUnchanged", kSybase, 0, none, "/x/~dev~a", kFile, "/x/~dev~a", 0, false},
    {"markerSkipped", kMarkerType, 0, none, std::string("/a/") + kMarker + "/b", kFile,
     std::string("/a/") + kMarker + "/b", kSkip, false},
    {"markerTypeOtherNameKept", kMarkerType, 0, none, "/a/b", kFile, "/a/b", 0, false},
    {"markerNameOfOtherTypeKept", kOtherType, 0, none, std::string("/a/") + kMarker, kFile,
     std::string("/a/") + kMarker, 0, false},
    {"greenplumFifoUnchanged", kOtherType, 0, greenplumFifo, "/gp/fifo", kFile, "/gp/fifo", 0, false},
    {"greenplumDumpFromLastDbDumps", kOtherType, 0, greenplumDump, "/db_dumps/x/seg1/db_dumps/2023/f", kFile,
     "/db_dumps/2023/f", 0, false},
    {"greenplumDumpWithoutDbDumpsKept", kOtherType, 0, greenplumDump, "/gp/seg1/f", kFile, "/gp/seg1/f", 0, false},
    {"cassandraFileMapped", kOtherType, 0, cassandra, "/a/b/node1/ks/tbl/f.db", kFile,
     "/var/lib/cassandra/data/ks/tbl-0c3e/f.db", 0, false},
    {"cassandraShallowDirectorySkipped", kOtherType, 0, cassandra, "/a/b/node1/ks/tbl", kDir, "/a/b/node1/ks/tbl",
     kSkip, false},
    {"cassandraDeepDirectoryMapped", kOtherType, 0, cassandra, "/a/b/node1/ks/tbl/snap", kDir,
     "/var/lib/cassandra/data/ks/tbl-0c3e/snap", 0, false},
    {"cassandraUnknownNodeGivesEmptyDataDir", kOtherType, 0, cassandra, "/a/b/node9/ks/tbl/f.db", kFile,
     "ks/tbl-0c3e/f.db", 0, false},
    {"stagedFileUnderStaging", kOtherType, 0, cassandraStaged, "/a/b/node1/ks/tbl/f", kFile,
     "/stage/a/b/node1/ks/tbl/f", 0, false},
    {"stagedCommitLog", kOtherType, 0, cassandraStaged, "/a/b/node1/#COMMITLOG#/c.log", kFile,
     "/stage/#COMMITLOG#/c.log", 0, false},
    {"stagedDirectorySkipped", kOtherType, 0, cassandraStaged, "/a/b/node1/ks/tbl/x/y", kDir, "/a/b/node1/ks/tbl/x/y",
     kSkip, false},
    {"mongoTopBecomesRootAndSkipped", kOtherType, 0, mongo, "/shard", kDir, "/", kSkip, false},
    {"mongoDropsFirstComponent", kOtherType, 0, mongo, "/shard/db/f", kFile, "/db/f", 0, false},
    {"mongoNoSlashUnchanged", kOtherType, 0, mongo, "shard", kFile, "shard", 0, false},
    {"mongoInSnapArchiveUnchanged", kOtherType, 0, mongoInSnap, "/shard/db/f", kFile, "/shard/db/f", 0, false},
    {"mongoLogUnderLocal", kOtherType, 0, mongoLog, "/x/y/oplog.bson", kFile, "/logs/local/oplog.bson", 0, false},
    {"splunkTwoSlashesSkipped", kOtherType, 0, splunk, "/idx/db", kDir, "/", kSkip, false},
    {"splunkDropsTwoComponents", kOtherType, 0, splunk, "/idx/db/hot/f", kFile, "/hot/f", 0, false},
    {"splunkNoSlashUnchanged", kOtherType, 0, splunk, "idx", kFile, "idx", 0, false},
};

class FileHeaderRules : public streamtest::StreamFixture, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(FileHeaderRules, LeaveTheNameTheTableGives) {
    const RuleCase& c = GetParam();
    FclRestore::m_mysqlIndexFetched = true;
    job_->_initData->appType = c.appType;
    job_->_setParams->options = c.options;
    c.setup(*job_->_fclRestoreUnix);
    CXFileHeader header = hostHeader(c.name, c.mode);
    const uint32_t oldLength = header.h_namelen;

    EXPECT_EQ(c.expectedCode, fclstream::applyFileHeaderRules(*job_, &header));
    EXPECT_EQ(c.expectedName, header.h_filename);
    EXPECT_EQ(c.lengthFollowsName ? c.expectedName.size() + 1 : oldLength, header.h_namelen);
}

INSTANTIATE_TEST_SUITE_P(Table, FileHeaderRules, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<RuleCase>& info) { return info.param.label; });

// The fake directory of a Unix file-system backup: mode 0x4000 without permission bits, one link, three equal times.
struct FakeDirCase {
    const char* label;
    unsigned long appType;
    uint64_t mode;
    uint32_t nlink;
    uint64_t mtime;  // atime and ctime are 1000
    bool skipped;
};

const FakeDirCase kFakeDirCases[] = {
    {"bareDirectorySkipped", kUnixFs, 040000, 1, 1000, true},
    {"directoryWithPermissionsKept", kUnixFs, 040755, 1, 1000, false},
    {"twoLinksKept", kUnixFs, 040000, 2, 1000, false},
    {"differentTimesKept", kUnixFs, 040000, 1, 1001, false},
    {"notUnixFileSystemKept", kOtherType, 040000, 1, 1000, false},
};

class FakeDirectoryRule : public streamtest::StreamFixture, public ::testing::WithParamInterface<FakeDirCase> {};

TEST_P(FakeDirectoryRule, SkipsOnlyTheFakeItem) {
    const FakeDirCase& c = GetParam();
    job_->_initData->appType = c.appType;
    CXFileHeader header = hostHeader("/fs/dir", c.mode);
    header.h_nlink = c.nlink;
    header.h_atime = 1000;
    header.h_ctime = 1000;
    header.h_mtime = c.mtime;
    EXPECT_EQ(c.skipped ? kSkip : 0UL, fclstream::applyFileHeaderRules(*job_, &header));
}

INSTANTIATE_TEST_SUITE_P(Table, FakeDirectoryRule, ::testing::ValuesIn(kFakeDirCases),
                         [](const ::testing::TestParamInfo<FakeDirCase>& info) { return info.param.label; });

class HeaderRuleJob : public streamtest::StreamFixture {};

// The metadata fetch fails (the task has no to-time), so the first header stops the job instead of restoring
// without it.
TEST_F(HeaderRuleJob, MySqlMetadataThatCannotBeFetchedStopsTheJob) {
    FclRestore::m_mysqlIndexFetched = false;
    job_->_initData->appType = kMySql;
    CXFileHeader header = hostHeader("/db/t.ibd");
    wzlog::ScopedCapture capture;
    EXPECT_EQ(fclitem::kSkippedByRule, fclstream::applyFileHeaderRules(*job_, &header));
    EXPECT_FALSE(FclRestore::m_mysqlIndexFetched);
    EXPECT_TRUE(capture->contains("FetchMySqlIndexMetadata failed.i Fatal error"));
}

// A rewritten name that does not fit the header fails the item instead of being cut (a cut name would land the
// item somewhere else).
TEST_F(HeaderRuleJob, ARewrittenNameTooLongForTheHeaderFailsTheItem) {
    job_->_initData->appType = kOtherType;
    job_->_fclRestoreUnix->_cassandraStagedRestore = true;
    job_->_fclRestoreUnix->_cassandraStagingLocs["node1"] = "/" + std::string(600, 's');
    const std::string name = "/a/b/node1/ks/tbl/" + std::string(500, 'f');
    CXFileHeader header = hostHeader(name);
    EXPECT_EQ(fclitem::kPathTooLong, fclstream::applyFileHeaderRules(*job_, &header));
    EXPECT_EQ(name, header.h_filename);
}

}  // namespace
