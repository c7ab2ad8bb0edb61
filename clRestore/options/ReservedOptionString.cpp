// The reserved option string of the init data: one "key=value" per line (see CExtendedOptions for the syntax). The
// text comes from the wire, so every malformed form has a defined outcome:
// - a line without '=' is ignored; a key given twice takes its last value; a key may hold ':' ("OPT:automountshare");
// - a number that does not read as one (letters, out of range) counts as 0, so its flag stays clear;
// - pair lists and the Cassandra table text fill only the entries that have both a name and a value; names that are
//   empty, "." or "..", or hold a '/', are skipped, since they become directory names under the destination;
// - a Solr cloud client id that is negative or beyond an int is logged and leaves the id 0.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/WZPlatformInfo.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"
#include "platform/tasks/CExtendedOptions.h"
#include "platform/tasks/CNMessageBase.h"

namespace {

const int kErrorRuvoWebFolder = 1627;
const int kBlockLevelMessageSet = 22;
const int kBlockLevelMessageId = 228;

const std::string kBannerLine(104, '=');

bool isSet(const CExtendedOptions& options, const char* key) {
    return options.getOptionAsInt(key) == 1;
}

bool usableName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// "node:dir##node:dir...": only a text with more than one "##" piece fills anything.
void fillPairList(const std::string& text, std::map<std::string, std::string>& out) {
    std::vector<std::string> pieces;
    if (FXString::Split(text, "##", pieces) <= 1) {
        return;
    }
    for (const std::string& piece : pieces) {
        std::vector<std::string> parts;
        if (FXString::Split(piece, ":", parts) > 1 && !parts[0].empty()) {
            out[parts[0]] = parts[1];
        }
    }
}

void fillTablesOfKeyspace(const std::string& keyspacePiece, std::map<CQiString, CQiString>& out) {
    std::vector<std::string> halves;
    if (FXString::Split(keyspacePiece, "~BEGIN~", halves) != 2 || halves[1].empty()) {
        return;
    }
    const std::string& keyspace = halves[0];
    if (!usableName(keyspace)) {
        FCL_LOG(3, " Skipping keyspace [%s] ", keyspace.c_str());
        return;
    }
    std::vector<std::string> tables;
    FXString::Split(halves[1], "~TABLEMETA~", tables);
    for (size_t i = 1; i < tables.size(); ++i) {
        FCL_LOG(3, " Table [%s] ", tables[i].c_str());
        std::vector<std::string> parts;
        FXString::Split(tables[i], "~TABLEID~", parts);
        if (parts.empty() || !usableName(parts[0])) {
            continue;
        }
        std::string directory = parts[0];
        if (parts.size() > 1 && !parts[1].empty()) {
            directory += "-" + parts[1];
            if (!usableName(directory)) {
                continue;
            }
        }
        std::string path = keyspace;
        FXPath::Append(path, directory, 0);
        out[CQiString((keyspace + ":" + parts[0]).c_str())] = CQiString(path.c_str());
    }
}

// "~KEYSPACE~ks~BEGIN~~TABLEMETA~table~TABLEID~id~TABLEMETA~...~KEYSPACE~...": keyspace ":" table -> keyspace/dir.
void fillCassandraTables(const std::string& text, std::map<CQiString, CQiString>& out) {
    std::vector<std::string> keyspaces;
    if (FXString::Split(text, "~KEYSPACE~", keyspaces) <= 1) {
        return;
    }
    for (size_t i = 1; i < keyspaces.size(); ++i) {
        FCL_LOG(3, " keyspace [%s] ", keyspaces[i].c_str());
        fillTablesOfKeyspace(keyspaces[i], out);
    }
}

// As atoi reads it (leading blanks, a sign, the digits up to the first other character), but a value that is
// negative or beyond an int is refused instead of taken: false, and `id` is left alone.
bool readClientId(const std::string& text, unsigned long long& id) {
    errno = 0;
    char* end = nullptr;
    long long value = strtoll(text.c_str(), &end, 10);
    if (errno == ERANGE || value < 0 || value > INT_MAX) {
        return false;
    }
    id = static_cast<unsigned long long>(value);
    return true;
}

// The options every job reads first: the job kinds that later steps decide on, and the share handling.
void readLeadingKeys(FclRestoreUNIX& c, const CExtendedOptions& options) {
    c._ruvoSyncRestore = isSet(options, "RuvoDriveRestore");
    c._ruvoWebFolderId = options.getOptionAsInt("RuvoWebFolderID");
    c._greenplumRestoreOption = options.getOptionAsInt("GreenplumExtendedRestoreOption");
    c._ruvoRestore = isSet(options, "RuvoDriveDownload");
    c._useIndexingV2 = isSet(options, "UseIndexingV2");
    c._autoMountShare = isSet(options, "OPT:automountshare");
    c._doNotUnmountShares = isSet(options, "OPT:donotunmountshares");
    c._hadoopDestinationInstanceId = options.getOptionAsUInt("HadoopInstance");
    if (c._autoMountShare) {
        FCL_LOG(0, "This restore requires automatic mount of share for in-place restore");
    }
    if (c._doNotUnmountShares) {
        FCL_LOG(0, "Automatic mounted shares will not be unmounted, will be done by Controller");
    } else {
        FCL_LOG(0, "Automatic mounted shares will be unmounted");
    }
    if (c._useIndexingV2) {
        FCL_LOG(0, "Using Indexing V2");
    }
    if (c._greenplumRestoreOption != 0) {
        FCL_LOG(0, "=============================== This is Greenplum Restore option [%s] =======================",
                c._greenplumRestoreOption == 1 ? "SEGMENT " : "JOBRESULTS");
    }
    if (c._ruvoRestore) {
        FCL_LOG(0, "========================= This is Ruvo Restore =========================");
    }
}

// Keys that mean something only in a distributed restore.
void readDistributedKeys(FclRestoreUNIX& c, const CExtendedOptions& options) {
    c._distributedRestore = isSet(options, "DistributedRestore");
    if (!c._distributedRestore) {
        return;
    }
    c._timestampRestoreEnabled = isSet(options, "TimestampRestoreEnabled");
    FCL_LOG(0, "This is Distributed restore");
    c._distributedTimestampPhase = isSet(options, "DistributedRestoreTimestampPhase");
    c._multiNodeRestore = isSet(options, "DistributedMultiNodeRestore");
    FCL_LOG(0, "This is a distributed %s%srestore", c._multiNodeRestore ? "multinode " : "",
            c._distributedTimestampPhase ? "timestamp " : "");
    c._vlrBackupCopyRestore = isSet(options, "DistributedVLRBackupCopyRestore");
    if (c._vlrBackupCopyRestore) {
        FCL_LOG(0, "This is Multi-Stream Volume level Restore from BackupCopy");
    }
    if (options.getOptionAsInt("SolrIndexRestoreType") == 2) {
        c._solrCloudRestore = true;
        FCL_LOG(0, "This is Solr cloud restore");
        std::string clientId = options.getOption("SolrCloudClientID");
        if (clientId.empty()) {
            FCL_LOG(0, "Missing solr cloud client id");
        } else if (!readClientId(clientId, c._solrCloudClientId)) {
            FCL_ERROR("Solr cloud client id [%s] is not a usable id", clientId.c_str());
        }
    }
    if (isSet(options, "SolrIndexRestoreType")) {
        c._solrDBRestore = true;
        FCL_LOG(0, "This is single node Solr restore");
    }
}

// True for a Hadoop restore, which is then the job's restore kind.
bool readHadoop(FclRestoreUNIX& c) {
    if (c._hadoopDestinationInstanceId == 0) {
        return false;
    }
    FCL_LOG(0,
            "===========================  This is a Hadoop Restore (destination instance ID=%llu "
            "==================================",
            c._hadoopDestinationInstanceId);
    c._hadoopRestore = true;
    FCL_LOG(0, "Holes will be restored as flat");
    WZPlatformInfo settings;
    settings.getBoolean("FileSystemAgent", "nReplicateHadoopExtentsAfterConcat", &c._replicateHadoopExtentsAfterConcat);
    if (c._replicateHadoopExtentsAfterConcat) {
        FCL_LOG(0, "Hadoop largefile extents will be replicated after concat");
    }
    return true;
}

// The application kinds that only change how items are named and where they go.
void readApplicationKeys(FclRestoreUNIX& c, const CExtendedOptions& options) {
    c._cassandraRestore = isSet(options, "CassandraRestore");
    c._cassandraStagedRestore = isSet(options, "CassandraStagedRestore");
    c._splunkRestore = isSet(options, "SplunkRestore");
    c._mongoDbRestore = isSet(options, "MongoDbRestore");
    c._mongoDbLogRestorePath = options.getOption("MongoDbLogRestore");
    if (c._mongoDbRestore) {
        FCL_LOG(0, "MongoDb restores [%d]", 1);
    }
    if (!c._mongoDbLogRestorePath.empty()) {
        FCL_LOG(0, "MongoDb Log Restore Path: %s", c._mongoDbLogRestorePath.c_str());
    }
    if (c._splunkRestore) {
        FCL_LOG(0, "This is a Splunk restore");
    }
    if (c._cassandraRestore) {
        FCL_LOG(0, " Cassandra restores [%d]", 1);
        std::string dataDirectories = options.getOption("CassandraRestoreDataDirectory");
        FCL_LOG(0, " Cassandra data directory [%s]", dataDirectories.c_str());
        fillPairList(dataDirectories, c._cassandraDataDirs);
        fillCassandraTables(options.getOption("CassandraMeta"), c._cassandraTableDirs);
    }
    if (c._cassandraStagedRestore) {
        FCL_LOG(0, " Cassandra staged restores [%d]", 1);
        std::string stagingLocations = options.getOption("CassandraStagedRestoreStagingLoc");
        FCL_LOG(0, " Cassandra staging directory [%s]", stagingLocations.c_str());
        fillPairList(stagingLocations, c._cassandraStagingLocs);
    }
}

void logBanner(const char* text) {
    FCL_LOG(0, "%s", kBannerLine.c_str());
    FCL_LOG(0, "%s", text);
    FCL_LOG(0, "%s", kBannerLine.c_str());
}

}  // namespace

CQiError FclRestoreUNIX::ParseInitDataReservedString(const char* reserved) {
    if (reserved == nullptr || *reserved == '\0') {
        return CQiError::Success();
    }
    CExtendedOptions options{std::string(reserved)};
    FCL_LOG(2, "Parsing InitData reserved string [%s]", reserved);

    bool liveRestore = isSet(options, "fsLiveRestore");
    bool blockLevelRestore = isSet(options, "fsBlockLevelRestore");
    readLeadingKeys(*this, options);
    readDistributedKeys(*this, options);
    if (isSet(options, "ExtentItemRestore")) {
        FCL_LOG(0, "============ This is Extent based Restore ===========");
    }
    _contentIndexingRestore = isSet(options, "ContentIndexingRestore");
    if (_contentIndexingRestore) {
        FCL_LOG(0, "================ This is a content indexing restore ================");
    }
    _hbaseRestore = isSet(options, "HBaseRestore");
    if (_hbaseRestore) {
        FCL_LOG(0, "============ This is Apache HBase Restore ============");
    }
    bool kindDecided = readHadoop(*this);
    readApplicationKeys(*this, options);

    // At most one more restore kind; the first that applies decides.
    if (!kindDecided && _ruvoSyncRestore) {
        if (_ruvoWebFolderId == 0) {
            return FXErrorUtil::ErrorWin32(FX_HERE, kErrorRuvoWebFolder, "Ruvo sync restore recived 0 as WebFolderID");
        }
        std::string banner;
        FXString::Format(banner,
                         "===========================   This is a Ruvo Sync Restore for WebFolder(%d) "
                         "============================",
                         _ruvoWebFolderId);
        logBanner(banner.c_str());
        kindDecided = true;
    }
    if (!kindDecided) {
        if (liveRestore && blockLevelRestore) {
            std::string mountText = options.getOption("SnapMountXMLParams");
            if (!mountText.empty()) {
                Vornak::BlockLevelMountInfo mountInfo(kBlockLevelMessageSet, kBlockLevelMessageId);
                if (mountInfo.unserialize(mountText) == 0) {
                    _fsBlockLevelLiveRestore = true;
                } else {
                    FCL_ERROR(
                        "Failed to unserialize XML string [%s], though the options of Live Block Level restores were "
                        "set, restore may fail!!!",
                        mountText.c_str());
                }
            }
        }
        if (!_fsBlockLevelLiveRestore && isSet(options, "DBRestoreFromMultiplexedBackup")) {
            logBanner("Restore of DB from multiplexed backup ");
            setDBRestoreFromMultiplexedBackup(true);
        }
    }

    m_pgSrcWalDir = options.getOption("pgSrcWalDir");
    if (!m_pgSrcWalDir.empty()) {
        FCL_LOG(0, "Postgres Log restore : Source Wal directory = %s", m_pgSrcWalDir.c_str());
    }
    return CQiError::Success();
}
