#include "clRestore/options/FclRestoreUNIX.h"

#include <cstdlib>
#include <limits>
#include <new>

#include "clRestore/support/FXLockableResource.h"
#include "clRestore/support/PerfCounterTable.h"
#include "platform/log/LogWriter.h"
#include "platform/mounts/FileShareAutoMountManager.h"
#include "platform/settings/WZPlatformInfo.h"
#include "platform/sync/CSyncRestorePathMapper.h"
#include "platform/threads/WzNamedMutex.h"
#include "platform/vm/VSAgentlessRestoreToVM.h"

namespace {

const char kSeekBatchSection[] = "FileSystemAgent";
const char kSeekBatchKey[] = "nSeekMarkerBatchSize";

// The batch the setting gives, or 0 when it cannot serve: the window is counted in batches (a batch of 0 or less
// would divide by zero or never fill) and the allowance is twice the batch, which must fit an int.
int usableSeekMarkerBatch(unsigned long value) {
    int batch = static_cast<int>(static_cast<unsigned int>(value));
    if (batch <= 0 || batch > std::numeric_limits<int>::max() / 2) {
        return 0;
    }
    return batch;
}

}  // namespace

FclRestoreUNIX::FclRestoreUNIX(FclRestore* owner)
    : _hlinkBaseFile(false),
      mysqlLatestIndexJobId(0),
      _solrDBRestore(false),
      _solrCloudRestore(false),
      _solrCloudClientId(0),
      _seekBatchCapacity(kSeekBatchCapacity),
      _isProxyHeaderEntry(true),
      _ruvoSyncRestore(false),
      _ruvoLastFile(false),
      _ruvoWebFolderId(0),
      _destOwnerUid(0),
      _destOwnerGid(0),
      _useVsrstFactory(false),
      _hadoopRestore(false),
      _replicateHadoopExtentsAfterConcat(false),
      _cacheDbRestore(false),
      _hadoopDestinationInstanceId(0),
      _distributedRestore(false),
      _greenplumRestoreOption(0),
      _aclOnly(false),
      _ruvoRestore(false),
      _cloudRestore(false),
      _destAppType(0),
      _snapArchive(false),
      _destinationGluster(false),
      _iphotoFileRestore(false),
      _vlrBackupCopyRestore(false),
      _aclPassthroughOff(false),
      _liveSyncRestore(false),
      _autoScaleIndexRestore(false),
      _cloudInstanceType(0),
      _owner(owner),
      _syncPathMapper(nullptr),
      _syncRestore(false),
      _refCopyRestore(false),
      _deleteFileBeforeRestore(false),
      _doStubCheck(true),
      _scanLockMutex(nullptr),
      _fsBlockLevelLiveRestore(false),
      _restorePathIndex(0),
      _dbRestoreFromMultiplexedBackup(false),
      _perfCounterInfo(restorePerfCounterInfoList()),
      _stopMsgSent(false),
      _containerFileLastExtent(false),
      _totalProcExtents(0),
      _sourceStubType(STUB_TYPE_UNKNOWN),
      _stubCheckDecided(false),
      _timestampRestoreEnabled(false),
      _distributedTimestampPhase(false),
      _multiNodeRestore(false),
      _multiNodeTaskId(0),
      _skipAddToRestoreStatus(false),
      _contentIndexingRestore(false),
      _hbaseRestore(false),
      _mongoDbRestore(false),
      _splunkRestore(false),
      _cassandraRestore(false),
      _cassandraStagedRestore(false),
      _restoreToVM(nullptr),
      _restoreToVMActive(false),
      _lustreCopyToolState(-1),
      _seeksSent(0),
      _seeksAllowed(2 * kDefaultSeekMarkerBatch),
      _seekMarkerBatch(kDefaultSeekMarkerBatch),
      _suspendReasons(0),
      _useIndexingV2(false),
      m_bFetchContent(false),
      _autoMountShare(false),
      _autoMountDestShare(false),
      _doNotUnmountShares(false),
      _autoMountMgr(nullptr) {
    _seekBatch.count = 0;
    _seekBatch.entries = new (std::nothrow) FSRSeekArchive[kSeekBatchCapacity + 1]();
    resetDBRestoreFromMultiplexedBackup();
    setIsProxyHeaderEntry(true);
    readSeekMarkerBatchSetting();
    FCL_LOG(0, "Seek marker will be sent every %d msgs, Allowed=%d msgs", _seekMarkerBatch, _seeksAllowed.load());
}

FclRestoreUNIX::~FclRestoreUNIX() {
    {
        auto_lock guard(&_scanLockGuard, true);
        if (_scanLockMutex != nullptr) {
            _scanLockMutex->unlock();
            delete _scanLockMutex;
            _scanLockMutex = nullptr;
        }
    }
    delete _syncPathMapper;
    _syncPathMapper = nullptr;
    delete _autoMountMgr;
    _autoMountMgr = nullptr;
    freeSeekBatch();
    if (_restoreToVM != nullptr) {
        releaseRestoreToVMObject();
        _restoreToVM = nullptr;
    }
}

// The restore-into-a-virtual-machine plug-in object ends through its own release: it was made by the plug-in library,
// whose allocator the job does not share.
void FclRestoreUNIX::releaseRestoreToVMObject() {
    _restoreToVM->Release();
    _restoreToVMActive = false;
}

void FclRestoreUNIX::readSeekMarkerBatchSetting() {
    unsigned long value = 0;
    WZPlatformInfo settings;
    if (!settings.getNumber(kSeekBatchSection, kSeekBatchKey, &value) || value == 0) {
        return;
    }
    FCL_LOG(0, "Registry key %s exists in %s section with value %lu", kSeekBatchKey, kSeekBatchSection, value);
    int batch = usableSeekMarkerBatch(value);
    if (batch == 0) {
        FCL_LOG(0, "Seek marker batch size %lu is not a usable count; keeping %d", value, _seekMarkerBatch);
        return;
    }
    _seekMarkerBatch = batch;
    _seeksAllowed = 2 * batch;
}

void FclRestoreUNIX::freeSeekBatch() {
    if (_seekBatch.entries == nullptr) {
        return;
    }
    // The count is the engine's; never trust it beyond the records that exist.
    unsigned int used = _seekBatch.count;
    if (used > static_cast<unsigned int>(kSeekBatchCapacity + 1)) {
        used = kSeekBatchCapacity + 1;
    }
    for (unsigned int i = 0; i < used; ++i) {
        free(_seekBatch.entries[i].linkName);
        _seekBatch.entries[i].linkName = nullptr;
    }
    delete[] _seekBatch.entries;
    _seekBatch.entries = nullptr;
    _seekBatch.count = 0;
}

void FclRestoreUNIX::SetAutoMountOptions(const std::string& options) {
    _mountOptions = options;
    if (_autoMountMgr != nullptr) {
        _autoMountMgr->SetAutoMountOptions(options);
    }
}

void FclRestoreUNIX::SetRuvoSyncObjects(const std::string& guid, const std::string& path, const std::string& versionTag,
                                        bool lastFile) {
    _ruvoGuid = guid;
    _ruvoPath = path;
    _ruvoVersionTag = versionTag;
    _ruvoLastFile = lastFile;
    FCL_LOG(3, "Recived GUID=[%s], Path=[%s], VTag=[%s] %s", _ruvoGuid.c_str(), _ruvoPath.c_str(),
            _ruvoVersionTag.c_str(), _ruvoLastFile ? "for LAST FILE" : "");
}

void FclRestoreUNIX::ResetRuvoObjects() {
    _ruvoGuid.clear();
    _ruvoPath.clear();
    _ruvoVersionTag.clear();
    _ruvoLastFile = false;
}

bool FclRestoreUNIX::EmptyRuvoSyncRestoreObjects() {
    if (_ruvoRestore) {
        return _ruvoPath.empty();
    }
    return _ruvoGuid.empty() || _ruvoPath.empty() || _ruvoVersionTag.empty();
}

std::string FclRestoreUNIX::GenerateRuvoRestoreStagingPath(const std::string& name) {
    (void)name;
    return std::string();
}

CQiError FclRestoreUNIX::ConnectRuvoSyncProxyApiConnection(const std::string& path) {
    (void)path;
    return CQiError::Success();
}

CQiError FclRestoreUNIX::DisconnectRuvoProxyApiConnection() {
    return CQiError::Success();
}

CQiError FclRestoreUNIX::MarkRuvoDriveFileRestoreComplete(bool notOverwritten) {
    (void)notOverwritten;
    return CQiError::Success();
}

void FclRestoreUNIX::SuspendRestoreMessageProcessor(RESTORE_MSG_PROCESSOR_SUSPEND_REASON_FLAG reason) {
    FCL_LOG(0, "Suspending restore message processor, reason=%d", static_cast<int>(reason));
    _suspendReasons |= static_cast<unsigned int>(reason);
}

void FclRestoreUNIX::ResumeRestoreMessageProcessor() {
    FCL_LOG(0, "Resumign restore message processor");
    _suspendReasons = 0;
}
