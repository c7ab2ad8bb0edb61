// What kind of restore is running, and a few per-job values, answered from the job's Unix companion. The job makes
// its companion in its constructor; the guarded questions also answer their default without one. Two answers are
// decided here: whether the destination lies on a GlusterFS mount (from the host's mount table as it is when each set
// of job parameters arrives) and whether the Lustre copy tool is enabled (the setting, read once per job).
#include <list>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/options/ServiceObjects.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/mounts/FXFolder.h"
#include "platform/settings/WZPlatformInfo.h"
#include "platform/support/FXPath.h"

namespace {

const int kSpannerInstanceType = 37;
const int kValidationFailedCause = 0x17000091;

}  // namespace

bool FclRestore::IsRuvoSyncRestore() {
    return _fclRestoreUnix->IsRuvoSyncRestore();
}

bool FclRestore::IsRuvoRestore() {
    return _fclRestoreUnix->_ruvoRestore;
}

bool FclRestore::IsHadoopRestore() {
    return _fclRestoreUnix->_hadoopRestore;
}

bool FclRestore::IsReplicateHadoopExtentsAfterConcat() {
    return _fclRestoreUnix->_replicateHadoopExtentsAfterConcat;
}

unsigned long long FclRestore::GetHadoopDestinationInstanceID() {
    return _fclRestoreUnix->_hadoopDestinationInstanceId;
}

bool FclRestore::IsCacheDBRestore() {
    return _fclRestoreUnix->_cacheDbRestore;
}

bool FclRestore::IsDontRestoreData() {
    return _fclRestoreUnix->_aclOnly;
}

bool FclRestore::isDistributedRestore() {
    return _fclRestoreUnix != nullptr && _fclRestoreUnix->_distributedRestore;
}

int FclRestore::getGreenplumRestoreOption() {
    return _fclRestoreUnix->_greenplumRestoreOption;
}

bool FclRestore::IsSpannerInstance() {
    return _fclRestoreUnix->_cloudInstanceType == kSpannerInstanceType;
}

bool FclRestore::IsCloudRestore() {
    return _fclRestoreUnix->_cloudRestore;
}

bool FclRestore::IsHBaseRestore() {
    return _fclRestoreUnix->_hbaseRestore;
}

unsigned long long FclRestore::getDestAppType() {
    return _fclRestoreUnix->_destAppType;
}

void FclRestoreUNIX::CheckIfDestinationIsGluster(const std::string& destPath) {
    std::list<WzMntTab::Entry> mounts;
    FXFolder::getLogicalVolumeList(mounts, nullptr);
    mounts.sort(SortMntListInDescending());
    for (const WzMntTab::Entry& mount : mounts) {
        if (mount.fsType == "fuse.glusterfs" && FXPath::IsAncestorOf(mount.mountDir, destPath, true)) {
            _destinationGluster = true;
            FCL_LOG(0, "Destination path [%s] is glusterfs", destPath.c_str());
            return;
        }
    }
}

bool FclRestore::IsDestinationGluster() {
    return _fclRestoreUnix->_destinationGluster;
}

namespace fclservices {

bool isLustreCopyToolEnabled(FclRestoreUNIX& unix) {
    if (unix._lustreCopyToolState == -1) {
        unsigned long value = 0;
        WZPlatformInfo().getNumber("FileSystemAgent", "bEnableLustreCopyTool", &value);
        unix._lustreCopyToolState = value == 1 ? 1 : 0;
    }
    return unix._lustreCopyToolState == 1;
}

}  // namespace fclservices

bool FclRestore::IsLustreCopyToolEnabled() {
    return _fclRestoreUnix != nullptr && fclservices::isLustreCopyToolEnabled(*_fclRestoreUnix);
}

bool FclRestore::IsFileDeleteBeforeRestore() {
    return _fclRestoreUnix->GetDeleteFileBeforeRestore();
}

bool FclRestore::IsVLRBackupCopyMultiStreamRestore() {
    return _fclRestoreUnix->IsVLRBackupCopyMultiStreamRestore();
}

bool FclRestore::IsTimestampRestoreEnabled() {
    return _fclRestoreUnix->IsTimestampRestoreEnabled();
}

bool FclRestore::IsDistributedTimestampRestore() {
    return _fclRestoreUnix->IsDistributedTimestampRestore();
}

bool FclRestore::IsMultiNodeRestore() {
    return _fclRestoreUnix->IsMultiNodeRestore();
}

int FclRestore::GetMultiNodeTaskId() {
    return _fclRestoreUnix->GetMultiNodeTaskId();
}

bool FclRestore::IsContentIndexingRestore() {
    return _fclRestoreUnix->IsContentIndexingRestore();
}

bool FclRestore::IsSolrDBRestore() {
    return _fclRestoreUnix != nullptr && _fclRestoreUnix->_solrDBRestore;
}

bool FclRestore::IsSolrCloudRestore() {
    return _fclRestoreUnix != nullptr && _fclRestoreUnix->_solrCloudRestore;
}

unsigned long long FclRestore::GetSolrCloudClientID() {
    return _fclRestoreUnix != nullptr ? _fclRestoreUnix->_solrCloudClientId : 0;
}

bool FclRestore::IsLiveSyncRestore() {
    return _fclRestoreUnix != nullptr && _fclRestoreUnix->_liveSyncRestore;
}

void FclRestore::SetLiveSyncRestore(bool on) {
    if (_fclRestoreUnix != nullptr) {
        _fclRestoreUnix->_liveSyncRestore = on;
    }
}

bool FclRestore::IsAutoScaleIndexRestore() {
    return _fclRestoreUnix != nullptr && _fclRestoreUnix->_autoScaleIndexRestore;
}

void FclRestore::SetAutoScaleIndexRestore(bool on) {
    if (_fclRestoreUnix != nullptr) {
        _fclRestoreUnix->_autoScaleIndexRestore = on;
    }
}

bool FclRestore::getIsProxyHeaderEntry() {
    return _fclRestoreUnix->getIsProxyHeaderEntry();
}

int FclRestore::IsStopMsgSent() {
    return _fclRestoreUnix != nullptr && _fclRestoreUnix->IsStopMsgSent() ? 1 : 0;
}

bool FclRestore::isDBRestoreFromMultiplexedBackup() {
    return _fclRestoreUnix->isDBRestoreFromMultiplexedBackup();
}

std::vector<std::string>& FclRestore::getDBPathRestoreList() {
    return _fclRestoreUnix->_dbPathRestoreList;
}

int FclRestore::getRestorePathParameterIndex() {
    return _fclRestoreUnix->getRestorePathParameterIndex();
}

void FclRestore::incrementRestorePathIndex() {
    _fclRestoreUnix->incrementRestorePathIndex();
}

boost::shared_ptr<IDBBackup>* FclRestore::GetSolrIndexDB() {
    return &_fclRestoreUnix->_solrIndexDB;
}

void FclRestore::SetSolrIndexDB(boost::shared_ptr<IDBBackup>& db) {
    _fclRestoreUnix->_solrIndexDB = db;
}

boost::shared_ptr<CRestoreTimestampHandler>* FclRestore::GetRestoreTimestampHandler() {
    return _fclRestoreUnix->GetRestoreTsHandler();
}

bool FclRestore::IsSkipAddtoRestoreStatus() {
    return _fclRestoreUnix->IsSkipAddtoRestoreStatus();
}

void FclRestore::SetSkipAddtoRestoreStatus(bool on) {
    _fclRestoreUnix->SetSkipAddtoRestoreStatus(on);
}

WZRstJobClient* FclRestore::GetJobClient() {
    return _rstJobClientReady != 0 ? _rstJobClient : nullptr;
}

// The host asks after a validate-only job: a file that failed its validation leaves the job a pending cause.
void FclRestore::SetValidateOnlyJPR() {
    if (_factory == nullptr || _statistics == nullptr || _rstJobClient == nullptr) {
        return;
    }
    if (_factory->getValidateOnlyOption() && _statistics->getNumFilesFailed() > 0) {
        _rstJobClient->setPendingCause(kValidationFailedCause, nullptr, false, EV_MSG_TYPE_JOB);
    }
}

void FclRestore::ResetRestoreStatsCurFileSizeAndCompSize() {
    if (_statistics != nullptr) {
        _statistics->setCurrFileSize(0);
        _statistics->setCurrFileCompSize(0);
    }
}

// The stream's hard-link handling is the only writer of the flag, and it only ever clears it.
bool FclRestore::IsHlinkBaseFile() {
    return _fclRestoreUnix->_hlinkBaseFile;
}
