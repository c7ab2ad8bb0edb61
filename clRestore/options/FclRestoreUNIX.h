#pragma once
// The Unix half of one restore job: the restore-kind and feature flags, the seek batch and window, the
// performance-counter table, the results lock, the container table, the current Ruvo item and the per-job service
// objects. The job object makes exactly one with a pointer to itself and deletes it at its own end.
//
// Members are public: the engine and the stream handlers read and write several of them directly. The flags are
// written during start-up and by the message handlers and read later without a lock; the few members that two
// threads change while both run (the seek window, the stop-sent flag) are atomics.
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "clRestore/options/CContainerConfigInfo.h"
#include "clRestore/support/FXCriticalSection.h"
#include "clRestore/support/FXMutex.h"
#include "platform/index/IndexMetaDataHelper.h"
#include "platform/support/CQiError.h"
#include "platform/support/CQiString.h"
#include "platform/support/PerfCounter.h"
#include "protocol/FsrArchiveRecords.h"
#include "protocol/FsrJobRecords.h"

class FclRestore;
class FsRestoreObject;
class FsRestoreObjectsFactory;
class CSyncRestorePathMapper;
class FileShareAutoMountManager;
class WzNamedMutex;
class WZRstJobClient;
class EvRstTask;
class IDBBackup;
class CRestoreTimestampHandler;
class VSAgentlessRestoreToVM;
struct CXFileHeader;

// The stub type of the source of a cross-platform restore.
enum _StubType {
    STUB_TYPE_UNKNOWN = 0,
    STUB_TYPE_WIN_REPARSE_POINT = 1,
    STUB_TYPE_WIN_DATA_STREAM = 2,
    STUB_TYPE_CELERRA = 3,
    STUB_TYPE_NAS = 4,
    STUB_TYPE_UNIX = 6
};

// Why the message processor is suspended (a bit set).
enum RESTORE_MSG_PROCESSOR_SUSPEND_REASON_FLAG { RESTORE_MSG_PROCESSOR_SUSPEND_SEEK_WINDOW_FULL = 1 };

class FclRestoreUNIX {
public:
    // Records in the seek batch: one batched seek message's worth, plus one staging record.
    static const int kSeekBatchCapacity = 16;
    static const int kDefaultSeekMarkerBatch = 4096;

    explicit FclRestoreUNIX(FclRestore* owner);
    ~FclRestoreUNIX();
    FclRestoreUNIX(const FclRestoreUNIX&) = delete;
    FclRestoreUNIX& operator=(const FclRestoreUNIX&) = delete;

    // ---- reserved option string and Ruvo hooks ----
    // Null or empty text: success, nothing changes. Fails only for a Ruvo sync restore without a web folder id.
    CQiError ParseInitDataReservedString(const char* reserved);
    CQiError ConnectRuvoSyncProxyApiConnection(const std::string& path);
    CQiError DisconnectRuvoProxyApiConnection();
    CQiError MarkRuvoDriveFileRestoreComplete(bool notOverwritten);

    // ---- the current Ruvo sync item ----
    void SetRuvoSyncObjects(const std::string& guid, const std::string& path, const std::string& versionTag,
                            bool lastFile);
    void ResetRuvoObjects();
    bool EmptyRuvoSyncRestoreObjects();
    std::string GenerateRuvoRestoreStagingPath(const std::string& name);

    // ---- cross-platform stub check ----
    void InitializeCrossPlatformStubCheckParams();
    bool IsDoCrossPlatformStubCheck();
    _StubType GetSourceStubType();
    void SetSourceStubType(_StubType type) { _sourceStubType = type; }

    // ---- share auto-mount ----
    void SetAutoMountDestShare(FSRSetParams* params);
    CQiError CreateAutoMountMgr(unsigned long zendrelId, unsigned long applicationNumber, long long jobId,
                                const std::string& mountFolder);
    CQiError MountShares(const FSRSrcPath* srcPaths, int count, const char* destDir, WZRstJobClient* jobClient);
    CQiError MountSrcPaths(const FSRSrcPath* srcPaths, int count, WZRstJobClient* jobClient);
    CQiError MountDestPath(const char* destDir);
    CQiError UnmountShares(const FSRSrcPath* srcPaths, int count);
    CQiError UnmountSrcPaths(const FSRSrcPath* srcPaths, int count);
    CQiError UnmountDestPath();

    // ---- synchronised restores and the scan lock ----
    CQiError CreateSyncPathMapper(unsigned long jobId);
    CQiError lockSyncScan();
    CQiError unLockSyncScan();

    // ---- reference copies ----
    int CheckIfRefCopyRestore(const FSRInitData* initData);
    int GetClientNameFromGuid(std::string& guid, std::string& name);
    int GetRefCopyPath(const char* path, std::string& out);

    // ---- database helpers and per-job service objects ----
    int copyLogFilesList(long long jobId);
    CQiError getRestoreTaskObject(long long jobId, boost::shared_ptr<EvRstTask>& task, bool bFetchContent);

    // ---- restore as user, ACL pass-through, destination owner ----
    bool IsDisableACLPassthroughFeatureConfigured();
    bool ProcessDisableACLPassthroughFeature(FsRestoreObject* object, void* aclData, int length);
    void PickUIDGIDFromDestDir(const std::string& path, unsigned long long& uid, unsigned long long& gid);
    void GetUIDGIDForDestDir(const std::string& path, unsigned long long& uid, unsigned long long& gid);

    // ---- IBM i paths ----
    bool isValidIASPPath(std::string path);
    bool isValidQSYSPath(std::string path);
    std::string stripPathLevlel(std::string path, int levels);

    // ---- destination naming, destination checks, photo library ----
    int TranslatePath(FsRestoreObjectsFactory* factory, const std::string& source, bool isDir, std::string& out);
    int ComputeMappedPath(FsRestoreObjectsFactory* factory, const std::string& source, std::string& out);
    int ComputeRestorePath(FsRestoreObjectsFactory* factory, const std::string& source, bool isDir, std::string& out);
    void CheckIfDestinationIsGluster(const std::string& destPath);
    bool IsIphotoSmartContent(const std::string& path, std::string& out, bool& smartContent);

    // ---- container table and index metadata ----
    CQiError AddContainerItem(CXFileHeader* header, const std::string& mapped);
    CQiError AddContainerItem(const CContainerConfig& record);
    CQiError UpdateContainerItemWithIdxMeta(const std::string& path, unsigned long long totalExtents,
                                            unsigned long long extentSize);
    bool ShouldRestoreCurrFileExtent(const std::string& path);
    bool GetMappedPathForHdrPath(const std::string& path, std::string& out);
    bool AreAllExtentsRestoredForContainerFile(const std::string& path);
    bool HandleRestoreExtentUpdate(const std::string& path, int rc);
    bool HandleRestoreContainerUpdate(const std::string& path, int rc);
    bool GetContainerFileSizeForExtentPath(const std::string& path, unsigned long long& size);
    bool GetProcessedExtentsForExtentPath(const std::string& path, unsigned long long& processed, bool& anyFailed);
    CQiError RemoveContainerFileEntry(const std::string& path);
    int CollateIdxMetadataIfRequired(void* buffer, int length, ParseBufferParams& params,
                                     IdxMetadata::IdxMetaData& metadata);

    // ---- the engine's seek flow control ----
    void SuspendRestoreMessageProcessor(RESTORE_MSG_PROCESSOR_SUSPEND_REASON_FLAG reason);
    void ResumeRestoreMessageProcessor();

    // ---- inline accessors (no check, no log, no lock) ----
    CSyncRestorePathMapper* GetSyncPathMapper() { return _syncPathMapper; }
    // The companion deletes whatever mapper it holds at its end.
    void SetSyncPathMapper(CSyncRestorePathMapper* mapper) { _syncPathMapper = mapper; }
    bool IsSyncRestore() { return _syncRestore; }
    bool IsRefCopyRestore() { return _refCopyRestore; }
    bool GetDeleteFileBeforeRestore() { return _deleteFileBeforeRestore; }
    void SetDeleteFileBeforeRestore(bool on) { _deleteFileBeforeRestore = on; }
    bool IsFsBlockLevelLiveRestore() { return _fsBlockLevelLiveRestore; }
    bool getIsProxyHeaderEntry() { return _isProxyHeaderEntry; }
    void setIsProxyHeaderEntry(bool on) { _isProxyHeaderEntry = on; }
    bool IsRuvoSyncRestore() { return _ruvoSyncRestore; }
    bool isDBRestoreFromMultiplexedBackup() { return _dbRestoreFromMultiplexedBackup; }
    void setDBRestoreFromMultiplexedBackup(bool on) { _dbRestoreFromMultiplexedBackup = on; }
    void resetDBRestoreFromMultiplexedBackup() {
        _dbRestoreFromMultiplexedBackup = false;
        _restorePathIndex = 0;
    }
    int getRestorePathParameterIndex() { return _restorePathIndex; }
    void incrementRestorePathIndex() { ++_restorePathIndex; }
    bool IsStopMsgSent() { return _stopMsgSent.load(); }
    void SetStopMsgSent(bool on) { _stopMsgSent.store(on); }
    // Sets the stop-sent flag and answers whether this call set it: of several threads that stop the job at once,
    // exactly one is told to send the stop.
    bool MarkStopMsgSent() { return !_stopMsgSent.exchange(true); }
    bool IsTimestampRestoreEnabled() { return _timestampRestoreEnabled; }
    void SetTimestampRestoreEnabled(bool on) { _timestampRestoreEnabled = on; }
    bool IsDistributedTimestampRestore() { return _distributedTimestampPhase; }
    bool IsMultiNodeRestore() { return _multiNodeRestore; }
    int GetMultiNodeTaskId() { return _multiNodeTaskId; }
    void SetMultiNodeTaskId(int id) { _multiNodeTaskId = id; }
    bool IsSkipAddtoRestoreStatus() { return _skipAddToRestoreStatus; }
    void SetSkipAddtoRestoreStatus(bool on) { _skipAddToRestoreStatus = on; }
    bool IsContentIndexingRestore() { return _contentIndexingRestore; }
    boost::shared_ptr<CRestoreTimestampHandler>* GetRestoreTsHandler() { return &_restoreTsHandler; }
    bool IsVLRBackupCopyMultiStreamRestore() { return _vlrBackupCopyRestore; }
    std::vector<_rstrPerfCounterInfo>* GetRestrePerfCounterInfo() { return &_perfCounterInfo; }
    void DisableACLPassthrough() { _aclPassthroughOff = true; }
    CContainerConfigInfo* GetFileExtentContainerConfigs() { return &_containerTable; }
    void SetContainerFileLastExtent(bool on) { _containerFileLastExtent = on; }
    bool IsContainerFileLastExtent() const { return _containerFileLastExtent; }
    void UpdateTotalProcExtents(unsigned long long n) { _totalProcExtents += n; }
    unsigned long long GetTotalProcExtents() const { return _totalProcExtents; }
    void setEBLongRealPath(const std::string& path) { _ebLongRealPath = path; }
    const std::string& getEBLongRealPath() const { return _ebLongRealPath; }
    bool ShouldAutoMountShare() { return _autoMountShare; }
    bool ShouldAutoMountDestShare() { return _autoMountDestShare; }
    std::string& GetAutoMountOptions() { return _mountOptions; }
    // Hands the text on to the manager when one exists; a manager made later gets it then.
    void SetAutoMountOptions(const std::string& options);
    bool ShouldUnmountShares() { return !_doNotUnmountShares; }
    void SetDestDirOrig(const std::string& destination) { _destDirOrig = destination; }
    std::string& GetDestDirOrig() { return _destDirOrig; }
    FileShareAutoMountManager* GetAutoMountManager() { return _autoMountMgr; }

    // ---- fields, in declaration order ----
    bool _hlinkBaseFile;
    unsigned long long mysqlLatestIndexJobId;
    std::string m_maNetworkHostName;
    std::string m_maIndexHostName;
    bool _solrDBRestore;     // single-node Solr
    bool _solrCloudRestore;  // Solr cloud
    unsigned long long _solrCloudClientId;
    boost::shared_ptr<IDBBackup> _solrIndexDB;
    // Seek positions collected for one batched seek message; `entries` holds kSeekBatchCapacity + 1 records, or is
    // null when they could not be allocated (users must then not batch).
    FSRSeekArchiveArray _seekBatch;
    int _seekBatchCapacity;
    bool _isProxyHeaderEntry;
    bool _ruvoSyncRestore;
    bool _ruvoLastFile;
    std::string _ruvoGuid;
    std::string _ruvoPath;
    std::string _ruvoVersionTag;
    int _ruvoWebFolderId;
    unsigned long long _destOwnerUid;
    unsigned long long _destOwnerGid;
    bool _useVsrstFactory;
    std::vector<std::string> _dbPathRestoreList;
    bool _hadoopRestore;
    bool _replicateHadoopExtentsAfterConcat;
    bool _cacheDbRestore;
    unsigned long long _hadoopDestinationInstanceId;
    bool _distributedRestore;
    int _greenplumRestoreOption;
    bool _aclOnly;  // ACL-only restore: no file data is written
    IndexMetaDataHelper _indexMetaData;
    bool _ruvoRestore;
    FXCriticalSection _resultsLock;
    std::map<std::string, std::pair<unsigned long long, unsigned long long>> _destOwnerCache;
    bool _cloudRestore;
    unsigned long long _destAppType;
    bool _snapArchive;
    bool _destinationGluster;
    std::string IphotoCurrentLinkName;
    std::string _iphotoPreviousImagePath;
    bool _iphotoFileRestore;
    bool _vlrBackupCopyRestore;
    std::vector<std::string> _restoredLogFiles;
    std::string _diskFullHostName;
    bool _aclPassthroughOff;
    bool _liveSyncRestore;
    bool _autoScaleIndexRestore;
    int _cloudInstanceType;
    std::string m_pgSrcWalDir;
    FclRestore* _owner;  // not owned
    CSyncRestorePathMapper* _syncPathMapper;
    bool _syncRestore;
    bool _refCopyRestore;
    bool _deleteFileBeforeRestore;
    bool _doStubCheck;
    std::map<std::string, std::string> _guidCache;
    // Source paths and stream headers are rewritten on different threads.
    std::mutex _guidCacheLock;
    FXMutex _scanLockGuard;
    WzNamedMutex* _scanLockMutex;  // non-null while the scan lock is held
    bool _fsBlockLevelLiveRestore;
    int _restorePathIndex;
    bool _dbRestoreFromMultiplexedBackup;
    std::vector<_rstrPerfCounterInfo> _perfCounterInfo;
    std::atomic<bool> _stopMsgSent;
    CContainerConfigInfo _containerTable;
    bool _containerFileLastExtent;
    std::atomic<unsigned long long> _totalProcExtents;  // added to by the reader and the processing thread
    std::string _ebLongRealPath;
    _StubType _sourceStubType;
    bool _stubCheckDecided;
    bool _timestampRestoreEnabled;
    bool _distributedTimestampPhase;
    bool _multiNodeRestore;
    int _multiNodeTaskId;
    bool _skipAddToRestoreStatus;
    bool _contentIndexingRestore;
    boost::shared_ptr<CRestoreTimestampHandler> _restoreTsHandler;
    std::string _mongoDbLogRestorePath;
    bool _hbaseRestore;
    bool _mongoDbRestore;
    bool _splunkRestore;
    bool _cassandraRestore;
    bool _cassandraStagedRestore;
    std::map<CQiString, CQiString> _cassandraTableDirs;        // "keyspace:table" -> table directory
    std::map<std::string, std::string> _cassandraDataDirs;     // node -> data directory
    std::map<std::string, std::string> _cassandraStagingLocs;  // node -> staging directory
    VSAgentlessRestoreToVM* _restoreToVM;                      // released through the plug-in, never deleted
    bool _restoreToVMActive;
    std::string _restoreToVMCreatedDest;  // the destination the plug-in made, removed at the job's end; "" for none
    int _lustreCopyToolState;             // -1 until the setting is read
    // The seek window: the processing thread counts seeks sent, the reader thread's probe replies widen the
    // allowance, and each reads the other's member.
    std::atomic<int> _seeksSent;
    std::atomic<int> _seeksAllowed;
    int _seekMarkerBatch;  // always positive: the window is counted in batches
    std::atomic<unsigned int> _suspendReasons;
    bool _useIndexingV2;
    std::string _mountOptions;
    bool m_bFetchContent;
    boost::shared_ptr<EvRstTask> _restoreTask;
    // The restore task and the timestamp handler are made on first use by whichever thread asks first.
    std::mutex _serviceCacheLock;
    std::string _destDirOrig;  // the destination before auto-mount translation
    bool _autoMountShare;      // mount the source shares
    bool _autoMountDestShare;  // the destination share is marked for mounting
    bool _doNotUnmountShares;
    FileShareAutoMountManager* _autoMountMgr;
    std::vector<std::string> _sharePathsMounted;  // source paths whose mount this job made, each to unmount once
    bool _destShareMounted = false;               // the job mounted the destination share itself

private:
    void readSeekMarkerBatchSetting();
    void freeSeekBatch();
    void releaseRestoreToVMObject();
};
