// The application rules of the file-header handler: which rule a job's header goes through, and each rule.
#include "clRestore/stream/FileHeaderRules.h"

#include <algorithm>
#include <string>
#include <vector>

#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/stream/HeaderName.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/apps/ApplicationTypes.h"
#include "platform/log/LogWriter.h"
#include "platform/support/FXPath.h"
#include "platform/support/FXString.h"
#include "protocol/FsrMessages.h"

namespace fclstream {
namespace {

constexpr unsigned long kAppDocumentum = 0x80;
constexpr unsigned long kAppSybase = 5;
constexpr unsigned long kAppMarker = 0x16;
constexpr uint64_t kTypeMask = 0xF000;
constexpr uint64_t kTypeDirectory = 0x4000;

const char kPgDataPrefix[] = "/data";
const char kNoBrowse[] = "+NOBROWSE+";
const char kSybaseDevices[] = "~WZ_SYB_DEVICES~";
const char kMarker[] = "{20d03aa2-7726-42d8-8381-fdda7a8a1c47}";
const char kDbDumps[] = "/db_dumps/";
const char kCommitLog[] = "#COMMITLOG#";

// The item goes on with `name`, or fails when it does not fit the header.
unsigned long rename(CXFileHeader* hdr, const std::string& name, bool updateLength) {
    if (!setHeaderName(hdr, name, updateLength)) {
        FCL_ERROR("The rewritten name of [%s] does not fit the header (%zu bytes)", hdr->h_filename, name.size());
        return fclitem::kPathTooLong;
    }
    return 0;
}

bool startsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool isDirectory(const CXFileHeader* hdr) {
    return (hdr->h_mode & kTypeMask) == kTypeDirectory;
}

long slashCount(const std::string& name) {
    return static_cast<long>(std::count(name.begin(), name.end(), '/'));
}

unsigned long postgresRule(FclRestore& job, CXFileHeader* hdr) {
    FclRestoreUNIX& unix = *job._fclRestoreUnix;
    std::string name = hdr->h_filename;
    FCL_LOG(9, "Check for /data/ prefix. Filename %s", name.c_str());
    if (startsWith(name, "/data/")) {
        const std::string& walDir = unix.m_pgSrcWalDir;
        FCL_LOG(6, "m_pgSrcWalDir is %s", walDir.c_str());
        bool strip = false;
        if (walDir.empty()) {
            strip = !unix.IsFsBlockLevelLiveRestore() && !unix._snapArchive && !unix._useIndexingV2;
            if (strip) {
                FCL_LOG(6, "/data/ prefix to be removed from %s", name.c_str());
            }
        } else if (startsWith(name, kPgDataPrefix + walDir)) {
            strip = true;
            FCL_LOG(6, "/data/ prefix to be removed from log path %s", name.c_str());
        }
        if (strip) {
            name.erase(0, sizeof kPgDataPrefix - 1);
            rename(hdr, name, true);
            FCL_LOG(9, "Updated filename %s", hdr->h_filename);
        }
    }
    if (name.find("postmaster.pid") != std::string::npos) {
        FCL_LOG(0, "Skip %s", name.c_str());
        return fclitem::kSkippedByRule;
    }
    return 0;
}

unsigned long documentumRule(CXFileHeader* hdr) {
    const std::string name = hdr->h_filename;
    const size_t first = name.find('/', 1);
    if (first == std::string::npos) {
        return 0;
    }
    const size_t second = name.find('/', first + 1);
    return second == std::string::npos ? 0 : rename(hdr, name.substr(second), true);
}

unsigned long mySqlRule(FclRestore& job, CXFileHeader* hdr) {
    FCL_LOG(6, " h_filename = [%s]", hdr->h_filename);
    bool browse = true;
    const std::string name = hdr->h_filename;
    const size_t marker = name.find(kNoBrowse);
    if (marker != std::string::npos) {
        browse = false;
        rename(hdr, name.substr(marker + sizeof kNoBrowse - 1), true);
        FCL_LOG(6, " h_filename = [%s]", hdr->h_filename);
    }
    if (job.fetchMySqlIndexMetadataOnce(browse) != 0) {
        FCL_LOG(0, "FetchMySqlIndexMetadata failed.i Fatal error");
        job.terminateOnFatalError();
        return fclitem::kSkippedByRule;
    }
    return 0;
}

unsigned long sybaseRule(CXFileHeader* hdr) {
    const std::string name = hdr->h_filename;
    if (name.find(kSybaseDevices) == std::string::npos) {
        return 0;
    }
    const size_t last = name.find_last_of("/\\");
    if (last == std::string::npos || last + 1 == name.size()) {
        return 0;
    }
    std::string device = name.substr(last + 1);
    std::replace(device.begin(), device.end(), '~', '/');
    const unsigned long rc = rename(hdr, device, true);
    FCL_LOG(0, "decoded header file name [%s]", hdr->h_filename);
    return rc;
}

unsigned long markerRule(CXFileHeader* hdr) {
    if (std::string(hdr->h_filename).find(kMarker) == std::string::npos) {
        return 0;
    }
    FCL_LOG(2, "Skip restoring %s", hdr->h_filename);
    return fclitem::kSkippedByRule;
}

unsigned long greenplumDumpRule(CXFileHeader* hdr) {
    const std::string name = hdr->h_filename;
    const size_t at = name.rfind(kDbDumps);
    if (at == std::string::npos) {
        FCL_ERROR("Greenplum restore: Source Path [%s] does not contain /db_dumps/", name.c_str());
        return 0;
    }
    const unsigned long rc = rename(hdr, name.substr(at), false);
    FCL_LOG(6, " File Name is [%s] ", hdr->h_filename);
    return rc;
}

// Piece `index` of a name split at '/' with its leading empty piece; a piece the name lacks is empty.
std::string piece(const std::vector<std::string>& pieces, size_t index) {
    return index < pieces.size() ? pieces[index] : std::string();
}

std::string lastComponent(const std::string& name) {
    std::string parent;
    std::string last;
    FXPath::SplitParentPath(name, parent, last);
    return last;
}

std::string joined(std::string path, const std::string& part) {
    FXPath::Append(path, part, 0);
    return path;
}

std::string mapped(const std::map<std::string, std::string>& table, const std::string& key) {
    auto found = table.find(key);
    return found != table.end() ? found->second : std::string();
}

unsigned long skipDirectory(CXFileHeader* hdr) {
    FCL_LOG(0, " Skipping restore of this directory {%s]", hdr->h_filename);
    return fclitem::kSkippedByRule;
}

unsigned long cassandraRule(FclRestoreUNIX& unix, CXFileHeader* hdr) {
    FCL_LOG(1, " Cassandra  Restore");
    const std::string name = hdr->h_filename;
    if (isDirectory(hdr)) {
        FCL_LOG(3, " Directory ");
        if (slashCount(name) < 6) {
            return skipDirectory(hdr);
        }
    }
    std::vector<std::string> pieces;
    FXString::Split(name, "/", pieces);
    const std::string node = piece(pieces, 3);
    const std::string dataDir = mapped(unix._cassandraDataDirs, node);
    FCL_LOG(0, "Node: %s, data dir: %s", node.c_str(), dataDir.c_str());
    const std::string key = piece(pieces, 4) + ":" + piece(pieces, 5);
    FCL_LOG(1, "  Search param [%s]", key.c_str());
    auto table = unix._cassandraTableDirs.find(CQiString(key.c_str()));
    const std::string tableDir = table != unix._cassandraTableDirs.end() ? table->second.c_str() : "";
    FCL_LOG(1, " File header [%s]", tableDir.c_str());
    const unsigned long rc = rename(hdr, joined(joined(dataDir, tableDir), lastComponent(name)), false);
    FCL_LOG(0, " Destination header [%s]", hdr->h_filename);
    return rc;
}

unsigned long cassandraStagedRule(FclRestoreUNIX& unix, CXFileHeader* hdr) {
    FCL_LOG(1, " Cassandra Staged Restore");
    const std::string name = hdr->h_filename;
    if (isDirectory(hdr)) {
        FCL_LOG(3, " Directory ");
        return skipDirectory(hdr);
    }
    std::vector<std::string> pieces;
    FXString::Split(name, "/", pieces);
    const std::string node = piece(pieces, 3);
    const std::string stagingDir = mapped(unix._cassandraStagingLocs, node);
    FCL_LOG(0, "Node: %s, staging dir: %s", node.c_str(), stagingDir.c_str());
    const std::string renamed = piece(pieces, 4) == kCommitLog
                                    ? joined(joined(stagingDir, kCommitLog), lastComponent(name))
                                    : joined(stagingDir, name);
    const unsigned long rc = rename(hdr, renamed, false);
    FCL_LOG(0, " Destination header [%s]", hdr->h_filename);
    return rc;
}

// Drops the first `components` components of the name (MongoDB one, Splunk two). A name with exactly that many '/'
// is a top directory: it becomes "/" and is not restored.
unsigned long dropComponents(CXFileHeader* hdr, const char* title, size_t components, const char* skipLine) {
    FCL_LOG(3, "%s", title);
    const std::string name = hdr->h_filename;
    if (isDirectory(hdr)) {
        FCL_LOG(6, " Directory  SlashCount=%ld name=%s", slashCount(name), name.c_str());
    } else {
        FCL_LOG(6, " File       SlashCount=%ld name=%s", slashCount(name), name.c_str());
    }
    size_t at = std::string::npos;
    for (size_t found = 0; found <= components; ++found) {
        at = name.find('/', at == std::string::npos ? 0 : at + 1);
        if (at == std::string::npos) {
            if (found != components) {
                return 0;
            }
            rename(hdr, "/", false);
            FCL_LOG(0, "%s", skipLine);
            return fclitem::kSkippedByRule;
        }
    }
    return rename(hdr, name.substr(at), false);
}

unsigned long mongoDbRule(FclRestoreUNIX& unix, CXFileHeader* hdr) {
    const std::string& logRestore = unix._mongoDbLogRestorePath;
    if (logRestore.empty()) {
        return dropComponents(hdr, "MongoDb Restore", 1, " Skipping restore of this directory [/]");
    }
    const std::string name = hdr->h_filename;
    std::string parent;
    std::string last;
    if (FXPath::SplitParentPath(name, parent, last).IsError()) {
        FCL_ERROR("Mongo Log restore: [%s] has no file name", name.c_str());
        return 0;
    }
    const unsigned long rc = rename(hdr, joined(joined(logRestore, "local"), last), false);
    FCL_LOG(5, "Mongo Log restore filepath converted from [%s] to [%s]", name.c_str(), hdr->h_filename);
    return rc;
}

unsigned long fakeDirectoryRule(FclRestore& job, CXFileHeader* hdr) {
    const FSRInitData* initData = job._initData;
    const uint64_t atime = hdr->h_atime;
    if (hdr->h_mode == kTypeDirectory && initData != nullptr && isUnixFileSystemAppType(initData->appType) &&
        hdr->h_nlink == 1 && atime == hdr->h_mtime && atime == hdr->h_ctime) {
        FCL_LOG(0, " Skipping restore of this directory [%s], Unix FAKE_ITEM and Mode 0x4000", hdr->h_filename);
        return fclitem::kSkippedByRule;
    }
    return 0;
}

// The rule of a job that is neither one of the database types above nor an in-place Documentum restore.
unsigned long otherApplicationRule(FclRestore& job, CXFileHeader* hdr) {
    FclRestoreUNIX& unix = *job._fclRestoreUnix;
    switch (job.getGreenplumRestoreOption()) {
        case 1:
            FCL_LOG(0, "Greenplum restore: Source FIFO Path [%s] ", hdr->h_filename);
            return 0;
        case 2:
            return greenplumDumpRule(hdr);
        default:
            break;
    }
    if (unix._cassandraRestore) {
        return cassandraRule(unix, hdr);
    }
    if (unix._cassandraStagedRestore) {
        return cassandraStagedRule(unix, hdr);
    }
    if (unix._mongoDbRestore && !unix._snapArchive) {
        return mongoDbRule(unix, hdr);
    }
    if (unix._splunkRestore && !unix._snapArchive) {
        return dropComponents(hdr, "Splunk Restore", 2, "Skipping restore of this directory [/]");
    }
    return fakeDirectoryRule(job, hdr);
}

}  // namespace

unsigned long applyFileHeaderRules(FclRestore& job, CXFileHeader* hdr) {
    FCL_LOG(9, "IsIndexingV2=%s", job._fclRestoreUnix->_useIndexingV2 ? "True" : "False");
    if (job._initData == nullptr) {
        return otherApplicationRule(job, hdr);
    }
    const unsigned long appType = job._initData->appType;
    const uint64_t options = job._setParams != nullptr ? job._setParams->options : 0;
    if (appType == fclapps::kPostgresAppType) {
        return postgresRule(job, hdr);
    }
    if (appType == kAppDocumentum && (options & FSR_OPT_OUT_OF_PLACE) == 0) {
        return documentumRule(hdr);
    }
    if (appType == fclapps::kMySqlAppType) {
        return mySqlRule(job, hdr);
    }
    if (appType == kAppSybase) {
        return sybaseRule(hdr);
    }
    if (appType == kAppMarker) {
        return markerRule(hdr);
    }
    return otherApplicationRule(job, hdr);
}

}  // namespace fclstream
