// The services of database restores: the MySQL metadata fetched from the backup index before the first MySQL item,
// and the revert of an archive's volume snapshots in place of its restore.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/objects/StaticUtils.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/apps/ClientApplications.h"
#include "platform/clients/ClientDirectory.h"
#include "platform/events/EvEvent.h"
#include "platform/index/IndexFiles.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/WZPlatformAgents.h"
#include "platform/snapshots/VolumeSnaps.h"
#include "platform/tasks/EvTask.h"
#include "protocol/FsrMessages.h"

namespace {

constexpr unsigned long kLogRestoreTypeOption = 0x127c15c8;
constexpr unsigned long kStagingDirectoryOption = 0x86f6b98;
constexpr unsigned long kRevertOption = 0x8e66a87;
constexpr int kSnapshotUnavailable = 0x17000075;
constexpr int kRetrieveValidFlags = 0x1e;
constexpr int kSubclientListKind = 5;

const char kMasterPrefix[] = "wz_master_";
const char kMasterSuffix[] = ".info";
const char kConfigPrefix[] = "wz_my_";
const char kConfigSuffix[] = ".cnf";

std::string masterFile(const std::string& dir, const std::string& job) {
    return dir + "/" + kMasterPrefix + job + kMasterSuffix;
}

std::string configFile(const std::string& dir, const std::string& job) {
    return dir + "/" + kConfigPrefix + job + kConfigSuffix;
}

// The job number text of a master file's name: after the last '_', before the last ".info".
std::string jobNumberText(const std::string& name) {
    const size_t underscore = name.rfind('_');
    std::string rest = underscore == std::string::npos ? name : name.substr(underscore + 1);
    const size_t suffix = rest.rfind(kMasterSuffix);
    if (suffix != std::string::npos) {
        rest.erase(suffix);
    }
    return rest.empty() ? "0" : rest;
}

// Keeps only the pair of the newest backup job among the master files of `dir`; `newest` is the newest found so far.
bool keepNewestPair(const std::string& dir, unsigned long long& newest) {
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) {
        FCL_LOG(0, "opendir (%s) failed:%d", dir.c_str(), errno);
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && name.find(kMasterPrefix) != std::string::npos) {
            names.push_back(name);
        }
    }
    closedir(d);
    for (const std::string& name : names) {
        const std::string text = jobNumberText(name);
        const unsigned long long job = strtoull(text.c_str(), nullptr, 10);
        FCL_LOG(0, "LatestJobID = %lu, currJobId = %lu", static_cast<unsigned long>(newest),
                static_cast<unsigned long>(job));
        if (newest < job) {
            remove(masterFile(dir, std::to_string(newest)).c_str());
            remove(configFile(dir, std::to_string(newest)).c_str());
            newest = job;
        } else if (job != 0) {
            remove((dir + "/" + name).c_str());
            remove(configFile(dir, text).c_str());
        }
    }
    return true;
}

// The whole file as text, false with errno when it cannot be read.
bool readWhole(const std::string& path, std::string* text) {
    FILE* file = fopen(path.c_str(), "r");
    if (file == nullptr) {
        return false;
    }
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, file)) > 0;) {
        text->append(buffer, n);
    }
    const bool ok = ferror(file) == 0;
    const int err = errno;
    fclose(file);
    errno = err;
    return ok;
}

// The directory of the default subclient of the local client's MySQL application; false when a lookup fails.
bool defaultSubclientDirectory(unsigned long zendrelId, long instanceId, std::string* directory) {
    std::string machine;
    if (!wzapps::getPhysicalMachine(&machine)) {
        FCL_LOG(0, "Failed to get local client name.");
        return false;
    }
    unsigned long clientId = 0;
    if (WZClient(machine, false, 0).getClientId(clientId, nullptr) != 0) {
        FCL_LOG(0, "Failed to client Id for local client [%s]", machine.c_str());
        return false;
    }
    ClientApplicationList list;
    std::vector<std::string> applications;
    const int rc = list.getApplications(zendrelId, clientId, fclapps::kMySqlAppType,
                                        static_cast<unsigned long>(instanceId), applications);
    if (rc != 0) {
        FCL_LOG(0, "AppTypeId  lookup failed.errorcode [%d]", rc);
        return false;
    }
    // Without a MySQL application there is no backup set whose subclients could hold the metadata.
    if (applications.empty()) {
        FCL_LOG(0, "No MySQL application on local client [%s]", machine.c_str());
        return false;
    }
    DbApplicationId application(applications.front());
    const WZDbBackupSet* backupSet = application.getBackupSet(nullptr);
    if (backupSet == nullptr) {
        FCL_LOG(0, "getBackupSet failed errCode [%d], error [%s]", application.getLastError(),
                application.getErrorString().c_str());
        return false;
    }
    std::vector<Subclient> subclients;
    const int listed = list.getSubclientList(0, backupSet->getId(), nullptr, kSubclientListKind, subclients);
    if (listed != 0) {
        FCL_LOG(0, "getSubclientList failed: retCode = [%d]", listed);
        return false;
    }
    subclientFiles record;
    for (Subclient& subclient : subclients) {
        bool isDefault = false;
        if (subclient.isDefaultSubclient(isDefault, nullptr) != 0) {
            FCL_LOG(0, "Failed to determine if this is the default subclient");
            return false;
        }
        if (!isDefault) {
            continue;
        }
        FCL_LOG(0, "default subclient Id = [%ld]", static_cast<long>(subclient.getId()));
        if (GetSubclientDirAndFiles(static_cast<unsigned int>(zendrelId), static_cast<unsigned int>(subclient.getId()),
                                    &record, 0, nullptr) == -1) {
            FCL_LOG(0, "failed to GetSubclientDirAndFiles");
            return false;
        }
        break;
    }
    *directory = record.subclientDir;
    FCL_LOG(0, "defult subclientDir = [%s]", directory->c_str());
    return true;
}

// The snapshot client takes each id as an int: an id it cannot hold would select some other archive's snapshots.
bool fitsSnapshotCall(unsigned long long value) {
    return value <= static_cast<unsigned long long>(INT_MAX);
}

}  // namespace

int FclRestore::FetchMySqlIndexMetadata(bool browse) {
    const unsigned int browseMode = browse && !_fclRestoreUnix->IsFsBlockLevelLiveRestore() ? 2 : 0;
    boost::shared_ptr<EvRstTask> task;
    CQiError error = _fclRestoreUnix->getRestoreTaskObject(getJobID(), task, true);
    if (error.IsError()) {
        FCL_ERROR("%s", error.AsString().c_str());
        return -1;
    }
    long toTime = 0;
    if (task->getToTime(toTime) != 0) {
        FCL_LOG(0, "rstTask.getToTime failed");
        return -1;
    }
    long instanceId = 0;
    if (task->getDestinationInstanceId(instanceId) != 0) {
        FCL_LOG(0, "Failed to get destinationInstanecId value, rstTask.getDestinationInstanceId");
        return -1;
    }
    int logRestoreType = 0;
    if (task->getOptionInt(kLogRestoreTypeOption, logRestoreType) != 0) {
        FCL_LOG(0, "MySQL, MYSQLRSTOPTION_LOG_RESTORE_TYPE value from restore task could not be retrieved");
        return -1;
    }
    const unsigned long zendrelId = static_cast<unsigned long>(_initData->zendrelNumber);
    const unsigned long appNumber = static_cast<unsigned long>(_initData->appNumber);
    std::string directory;
    if (logRestoreType == 0) {
        if (!defaultSubclientDirectory(zendrelId, instanceId, &directory)) {
            return -1;
        }
    } else {
        std::list<std::string> values;
        if (task->getOptionString(kStagingDirectoryOption, values) != 0 || values.empty()) {
            FCL_LOG(0, "MySQL, MYSQLRSTOPTION_LOG_RESTORE_TYPE value from restore task could not be retrieved");
            return -1;
        }
        directory = values.front();
    }

    FCL_LOG(0, "Browsing MySQL SNAP index with [%ld] timestamp for subclient [%lu]", toTime, appNumber);
    const std::string client =
        !_clientNameFromHost.empty() ? _clientNameFromHost : WZPI_Focus::getFocusClientName(true);
    FCL_LOG(0, "WZPI_Focus::getFocusClientName() = %s", client.c_str());
    FCL_LOG(0, "m_maHostName= %s", m_maHostName.c_str());
    WZClient(m_maHostName, true, 0).getNetworkHostnameMangled(_fclRestoreUnix->m_maNetworkHostName, nullptr);
    std::string demangledClient;
    int first = 0;
    int second = 0;
    DemangleHostName(_fclRestoreUnix->m_maNetworkHostName.c_str(), demangledClient, _fclRestoreUnix->m_maIndexHostName,
                     first, second);

    std::string made = directory;
    if (StaticUtils::createDirsIteratively(&made[0]) == 0) {
        FCL_LOG(0, "could not create [%s] dir", directory.c_str());
        return -1;
    }
    std::list<std::string> patterns{std::string(kMasterPrefix) + "*" + kMasterSuffix, std::string(kConfigPrefix) + "*"};
    FCL_LOG(0, "Querying file [%s]", patterns.front().c_str());
    if (toTime == 0) {
        toTime = static_cast<long>(time(nullptr));
    }
    const std::string& indexHost = _fclRestoreUnix->m_maIndexHostName;
    FCL_LOG(0, "%s:%lu:%lu:%ld:%lld:%d:%s", indexHost.c_str(), zendrelId, appNumber, toTime, 0LL,
            static_cast<int>(browseMode), directory.c_str());
    if (GetIndexFiles(indexHost, static_cast<unsigned int>(zendrelId), static_cast<unsigned int>(appNumber),
                      static_cast<unsigned int>(toTime), 0, browseMode, 0, directory.c_str(), &patterns,
                      nullptr) != 0) {
        FCL_LOG(0, "Failed to fetch optional Files from index");
        return -1;
    }
    unsigned long long& newest = _fclRestoreUnix->mysqlLatestIndexJobId;
    if (!keepNewestPair(directory, newest)) {
        return -1;
    }
    const std::string job = newest != 0 ? std::to_string(newest) : std::string();
    const std::string master = masterFile(directory, job);
    std::string masterInfo;
    if (!readWhole(master, &masterInfo)) {
        FCL_LOG(0, "opening [%s] file got error:%d", master.c_str(), errno);
        return -1;
    }
    // The master information holds the replication password: only where it is and how big it is go to the log.
    FCL_LOG(0, "**** masterInfo = [%s] (%zu bytes)", master.c_str(), masterInfo.size());
    const std::string config = configFile(directory, job);
    std::string cnfInfo;
    if (!readWhole(config, &cnfInfo)) {
        FCL_LOG(0, "opening [%s] file got error:%d", config.c_str(), errno);
        return -1;
    }
    FCL_LOG(0, "**** cnfInfo = [%s]", cnfInfo.c_str());
    return 0;
}

int FclRestore::fetchMySqlIndexMetadataOnce(bool browse) {
    // The reader's file headers and the processing thread's snap sources both trigger the fetch: one runs it, and
    // no two prune the staging directory at once.
    static std::mutex fetchLock;
    std::lock_guard<std::mutex> guard(fetchLock);
    if (m_mysqlIndexFetched) {
        return 0;
    }
    FCL_LOG(0, "m_mysqlIndexFetched = [FALSE]");
    if (FetchMySqlIndexMetadata(browse) != 0) {
        return -1;
    }
    m_mysqlIndexFetched = true;
    return 0;
}

int FclRestore::CheckAndDoRevertForDB(FSROpenArchive* rec, bool& reverted) {
    FCL_LOG(0, "Enter.");
    reverted = false;
    if (rec == nullptr) {
        FCL_LOG(0, "Invalid argument: FSROpenArchive is NULL");
        return -1;
    }
    const unsigned long appType = getAppType();
    bool revert = false;
    if (appType == fclapps::kMySqlAppType || appType == fclapps::kPostgresAppType) {
        if (appType == fclapps::kPostgresAppType &&
            (_factory == nullptr || (_factory->getOptions() & FSR_OPT_PG_LOG_RESTORE) != 0)) {
            FCL_LOG(0, "PostgreSQL Log Restore job");
        } else {
            boost::shared_ptr<EvRstTask> task;
            CQiError error = _fclRestoreUnix->getRestoreTaskObject(getJobID(), task, false);
            if (error.IsError()) {
                FCL_ERROR("%s", error.AsString().c_str());
                return -1;
            }
            if (task->getOptionBool(kRevertOption, revert) == 0) {
                FCL_LOG(0, "revert option is %s taskId = %lld", revert ? "set" : "not set", getJobID());
            } else {
                FCL_LOG(0, "Error retrieving option ER_EX_REVERT_RESTORE option. Will assume non-revert restore");
                revert = false;
            }
        }
    }
    if (!revert) {
        return 0;
    }
    const long long jobId = getJobID();
    const unsigned long long copy = _initData->copyPrecedence;
    FCL_LOG(0, "Archive <%ld %ld %ld> with copy=%lu, jobId=%lld currentJobId=%lld", static_cast<long>(rec->zendrelId),
            static_cast<long>(rec->middleId), static_cast<long>(rec->archiveFileId), static_cast<unsigned long>(copy),
            jobId, jobId);
    FCL_LOG(0, "Attempting revert ...");
    WZSnapClientAPI snaps;
    SMVolSnapInfo info;
    const bool fits = jobId >= 0 && fitsSnapshotCall(static_cast<unsigned long long>(jobId)) &&
                      fitsSnapshotCall(rec->archiveFileId) && fitsSnapshotCall(rec->zendrelId) &&
                      fitsSnapshotCall(copy);
    if (fits) {
        info.setJobId(static_cast<int>(jobId));
        info.setArchFileId(static_cast<int>(rec->archiveFileId));
        info.setZendrelId(static_cast<int>(rec->zendrelId));
        info.setCopyParam(static_cast<int>(copy));
        info.setRetrieveValidFlags(kRetrieveValidFlags);
    } else {
        FCL_ERROR(
            "Archive <%llu %llu %llu> of job %lld with copy %llu: an id is too large for the snapshot client, "
            "the revert is refused",
            static_cast<unsigned long long>(rec->zendrelId), static_cast<unsigned long long>(rec->middleId),
            static_cast<unsigned long long>(rec->archiveFileId), jobId, copy);
    }
    if (!fits || !snaps.getVolumeSnaps(info)) {
        FCL_LOG(0, "getVolumeSnaps failed for archFile <%ld %ld %ld> with rc=%d", static_cast<long>(rec->zendrelId),
                static_cast<long>(rec->middleId), static_cast<long>(rec->archiveFileId), 0);
        _event->CriticalEvent(kSnapshotUnavailable, 0, 0);
        FCL_LOG(0, "The snapshot is not available for revert restore");
        if (_rstJobClientReady == 1 && _rstJobClient != nullptr) {
            _rstJobClient->setPendingCause(kSnapshotUnavailable);
        }
        terminateOnFatalError();
        return -1;
    }
    if (snaps.revertVolumeSnaps(info) == 0) {
        FCL_LOG(0, "Failed to revert snapshot for ArchFile");
        sendMsgToFIR(FSR_MSG_FAILURE);
        terminateOnFatalError();
        return -1;
    }
    _statistics->setFilesSucceeded(static_cast<unsigned long>(_initData->numFiles));
    reverted = true;
    sendMsgToFIR(FSR_MSG_SUCCESS);
    m_ignoreMsgsForRevert = true;
    return 0;
}
