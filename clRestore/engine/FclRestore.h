#pragma once
// One restore job. The host creates it, calls initialize, runs receiveRestoreMsgs on its own thread until the job
// ends, calls finalize and destroys it. Everything the job uses is a member or is owned here.
//
// The declaration is one; the definitions live beside the behaviour they implement: the job's life in engine/
// (JobObject.cpp, StartUp.cpp, ReceiveLoop.cpp, ...), its message handlers in engine/messages/, its buffer handlers in
// stream/. Virtual operations keep their slot order: a host may call or override any of them.
#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <map>
#include <mutex>
#include <queue>
#include <set>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "clRestore/support/WzSafeFlags.h"
#include "platform/restorefiles/WZRestoreFiles.h"
#include "platform/support/CQiError.h"
#include "platform/support/PerfCounter.h"
#include "platform/threads/WzMutex.h"
#include "protocol/CXFileHeader.h"
#include "protocol/FSRPreHeader.h"
#include "protocol/FsrMessages.h"
#include "protocol/FsrRecords.h"

class CWzNetwork;
class wzsDatabuf_v2;
struct wzsDatabuf;
class FsRestoreArchive;
class EvEvent;
class WZJobCtrlClient;
class WZRstJobClient;
class RestoreArbiter;
class ProxyRestore;
class CXHSMLowLevelCtx;
class CXHSMLowLevel;
class WzThread;
class WzSemaphore;
class FclRestoreUNIX;
class FsRestoreObjectsFactory;
class FsRestoreObject;
class FsRestoreStatistics;
class FsRestoreRestart;
class StoreResults;
class SeekDecision;
class CRestoreTimestampHandler;
class CSyncRestorePathMapper;
class FileShareAutoMountManager;
class IDBBackup;

// One name of a hard-link group carried by the stream.
struct _HLElementByIndex {
    std::string name;
    int completed = 0;
    unsigned long long mtime = 0;
    bool tobeoverwritten = false;
    bool stubGroup = false;
    // Element 0 only, once the primary's item has ended: this job restored it at `name` (the only file the group's
    // names may be linked to), or found it there and kept it, and it was restored only as the links' source, to be
    // removed when the group ends.
    bool primaryEnded = false;
    bool restored = false;
    bool kept = false;
    bool baseFile = false;
};

class FclRestore {
public:
    FclRestore();
    ~FclRestore();
    FclRestore(const FclRestore&) = delete;
    FclRestore& operator=(const FclRestore&) = delete;

    // ---- virtual operations, in slot order ----
    virtual bool initialize(CWzNetwork* session, char* name, char* unused);
    virtual bool finalize();
    virtual void sortPathnames(FSRSrcPath* paths);
    virtual void sortPathnamesCase(FSRSrcPath* paths);
    virtual int setMaHostname(std::string name);
    virtual void ProcessPlFsPreHdr(FSRPreHeader* prehdr, CXFileHeader* hdr);
    virtual void OnBufferPlFsHdr(void* buf, CXFileHeader* hdr, FSRPreHeader* prehdr);
    virtual void OnBufferPlFsOptHdr(void* buf, int len);
    virtual void OnBufferPlFsOptHdr2(void* buf, int len);
    virtual void OnBufferPlFsOptHdr3(void* buf, int len);
    virtual void OnBufferPlFsOptHdr4(void* buf, int len);
    virtual void OnBufferPlFsIndexHdr(void* buf, int len);
    virtual void OnBufferPlVSDiskInfo(void* buf, int len);
    virtual void OnBufferPlVSVolHeaderInfo(void* buf, int len);
    virtual void OnBufferPlVSVolHeaderMetadata(void* buf, int len);
    virtual void OnBufferPlVSVolHeaderMetadataEof(void* buf, int len);
    virtual void OnBufferPlData(void* buf, int len);
    virtual void OnBufferPlFsEof(void* buf, CXFileHeader* hdr);
    virtual void OnBufferPlFsBadEof(void* buf, CXFileHeader* hdr);
    virtual void OnBufferPlFsReadErr(void* buf);
    virtual void OnBufferPlDmSiLink(void* buf, int len);
    virtual void OnBufferPlFsCldedup(void* buf, int len);
    virtual bool OnBufferAFileOpened(void* buf);
    virtual void OnBufferPlFsExtents(void* buf, int len);
    virtual void OnBufferPlFsExtentData(void* buf, int len);
    virtual void OnBufferPlSdmParameters(void* buf, int len);
    virtual void OnBufferPlSdmPadding(void* buf, int len);
    virtual void OnBufferPlFSProbeReply(void* buf, int len);
    virtual bool OnMsgArchFilesEndingInChunk(FSRArchFileIdArray* rec);
    virtual bool OnMsgOpenArchive(FSROpenArchive* rec);
    virtual bool OnMsgOpenChunk(FSROpenChunk* rec);
    virtual void* readPipeline();
    virtual bool OnMsgSeekToOffset(FSRSeekArchiveArray* rec);
    virtual bool OnMsgSeekToOffset10(FSRSeekArchiveArray_10* rec);
    virtual bool OnMsgSeekToOffset10V2(FSRSeekArchiveArray_10_V2* rec);
    virtual bool OnMsgCloseArchive();
    virtual bool OnMsgRestoreEnd();
    virtual bool OnMsgRestartInfo();
    virtual bool OnMsgNasSeekArchive(FSRNasSeekArchiveArray* rec);
    virtual bool OnMsgArchiveId(FSRArchiveId* rec);
    virtual bool OnMsgPreOpenArchive(FSRPreOpenArchive* rec);
    virtual bool OnMsgSnapSrc(FSRSnapSrcPath* rec);
    virtual bool OnMsgSnapSrcArray(FSRSnapSrcPathArray* rec);
    virtual bool OnMsgGetMetaDataFolder(FSRMetaDataFolder* rec);
    virtual void openResultsFile();
    virtual bool OnMsgInitData(FSRInitData* rec);
    virtual bool OnMsgInitDataVer2(FSRInitDataVer2* rec);
    virtual bool OnMsgImgInit(FSRImgInit* rec);
    virtual bool OnMsgImgTimesArray(FSRImgTimesArray* rec);
    virtual bool OnMsgImgWinStreamsArray(FSRImgWinStreamsArray* rec);
    virtual bool OnMsgImgAfileOffsetsArray(FSRImgAfileOffsetsArray* rec);
    virtual bool OnMsgProcessImgAfileOffsetsArray();
    virtual bool OnMsgEndImgAfileOffsetsArray();
    virtual bool OnMsgImgRestoreEnd();
    virtual bool OnMsgVSRestoreInfo(FSRVirtualServerRestoreInfo* rec);
    virtual bool OnMsgVSRestoreEnd(FSRVirtualServerRestoreEnd* rec);
    virtual bool OnMsgStartVMReplication();
    virtual bool OnMsgSetParams(FSRSetParams* rec);
    virtual bool OnMsgSrcPath(FSRSrcPath* rec);
    virtual bool ignoreSynthFullErrors();
    virtual bool OnMsgDestPath(FSRDestPath* rec);
    virtual void updateRestoreProgress(int final);
    virtual CQiError SendRestoreProgress(int final);
    virtual CQiError PopulateRestoreProgress_5_9(int final, FSRProgressReport_5_9& report);
    virtual CQiError SendRestoreProgress_5_9(int final);
    virtual CQiError PopulateRestoreProgress_11_14(int final, FSRProgressReport_11_14& report);
    virtual CQiError SendRestoreProgress_11_14(int final);
    virtual void HandleRestoreFileUpdate(const char* path, int errCode, FsRestoreObject* object,
                                         const std::string& suffix);
    virtual void HandleRestoreFileUpdate(const char* path, int errCode, const std::string& reason,
                                         FsRestoreObject* object, const std::string& suffix);
    virtual void SaveDestDirBasePath(char* path);
    virtual void OnBufferPlHole(void* buf);
    virtual bool OnMsgJobStart(wzsDatabuf_v2* buf);
    virtual bool OnMsgJobEnd(wzsDatabuf_v2* buf);
    virtual void OnBufferPlFSSystemStateItemMetadataHdr(void* buf, int len);

    // ---- host-facing operations ----
    void receiveRestoreMsgs();
    int initialize2(CWzNetwork* session, char* name, char* jobControlArg);
    void sendInitResult(int ok);
    void initPerfCounters(EvEvent* event);
    bool finalize2();

    // ---- accessors ----
    bool isCaseSensitive() const { return _caseSensitive; }
    bool shouldFileBeAccounted() const { return true; }
    FSRInitData* getInitData() const { return _initData; }
    FSRInitDataVer2* getInitDataVer2() const { return _initDataVer2; }
    unsigned long getAppType() const;
    long long getJobID() const;
    bool GetSiloJobFlag() const { return _siloJob; }
    bool isProxyClientDestination() const { return _proxyClientDestination; }
    unsigned long getDestClientId() const { return _destClientId; }
    bool isRunningOnPersonalWorstationClient() const { return _personalWorkstation; }
    void reportPartialSuccess() { _partialSuccess = 1; }
    std::string getDestPath() const;
    bool isStubRestoreSupported(std::string destination);
    bool isCrossMachineRestore() const { return _crossMachine; }
    int GetMinHoleSize() const { return _holeThreshold; }
    FclRestoreUNIX* getUnixCompanion() const { return _fclRestoreUnix; }
    FsRestoreObjectsFactory* getFactory() const { return _factory; }
    FsRestoreStatistics* getStatistics() const { return _statistics; }
    EvEvent* getEvent() const { return _event; }

    // ---- receive loop, queue, processing thread, threads (ReceiveLoop.cpp, ProcessingThread.cpp) ----
    int processStopMsg();
    bool launchProcessRestoreMsgsThread(void* (*entry)(void*));
    static void* processRestoreMsgsStatic(void* job);
    int processRestoreMsgs();
    bool waitForPRThreadToDie();
    bool waitForPLThreadToDie();
    bool launchReadPipelineThread(void* (*entry)(void*));
    static void* readPipelineStatic(void* job);
    int readOneBuffer(void** buf, unsigned long* len, unsigned long* type);
    static void releaseReceivedMessage(CWzNetwork* session, FclRestoreMsg* msg);
    // Joins the processing and reader threads, each within `boundMs`; true when neither runs any more. A thread
    // still running is left alone: it cannot be stopped safely from outside.
    bool joinWorkerThreads(unsigned long boundMs);
    // Settles one dequeued message after the arbiter saw it (`handled`: the arbiter took it over): the error-report
    // accounting and the archive-close handshake here, every other code by its handler.
    void dispatchMessage(FclRestoreMsg* msg, bool handled);
    bool OnMsgDistributedTaskId(int* taskId);

    // ---- sends (Sends.cpp) ----
    int sendMsgToFIR(unsigned long code);
    int sendMsgToFIR(unsigned long code, wzsDatabuf* payload);
    // Writes the results lines that wait; with `staleOnly`, only once the oldest has waited long enough.
    void flushItemReports(bool staleOnly);
    int sendMsgToRestoreHead(unsigned long code);
    int sendMsgToRestoreHead(unsigned long code, wzsDatabuf* payload);
    void UpdateRestoreHeadSessionUsage();
    void KeepAliveRestoreHeadSession();
    bool SendSeekMarker(int count);

    // ---- stop, fatal error, disk full (Stop.cpp) ----
    // Also wakes the receive loop, so the job ends at once rather than at its next receive time-out.
    void terminateReceiveMsgsThread();
    void enableReceiveMsgsThread() { _terminateReceiveMsgs = 0; }
    void terminateProcessMsgsThread() { _terminateProcessMsgs = 1; }
    void enableProcessMsgsThread() { _terminateProcessMsgs = 0; }
    void terminateReadPipelineThread() { _terminateReadPipeline = 1; }
    void enableReadPipelineThread() { _terminateReadPipeline = 0; }
    void terminateOnFatalError();
    // Stops the job as a fatal error and removes the partial file of the open item (when the job removes partial
    // files): `_ro` is then closed, deleted and null, and the caller must not touch the object it held. Returns; the
    // job ends through the ordinary fatal path.
    void processDiskFullError();
    // Writes "Restore: ..." into the failure reason (at most 1023 characters).
    void setFailureReason(const char* reason);
    // A copy of the failure reason ("" when none was written).
    std::string getFailureReason() const;
    // Why the archive reader could not read the stream, as it says (the archive file and the offset); "" when it
    // could. Kept beside the failure reason, whose text stays the job's own.
    std::string getReaderFailure() const;
    // Keeps and logs the archive reader's own account of its last failure.
    void noteReaderFailure();
    bool isFatalError() const { return _fatalError != 0; }
    // True for exactly one caller per job: the one that is to send FSR_MSG_STOP to the restore head first.
    bool markStopMsgSent();

    // ---- identity and permissions at start-up (StartUpIdentity.cpp, Impersonation.cpp) ----
    int CheckImpersonateUser(std::string& user);
    int VerifyUserPassword(std::string& user);
    static void SetPermissionForOthers(const std::string& path, mode_t bits);
    static int FolderWalkerCallBack(const char* dir, const char* name, bool isDirectory, void* modes);

    // ---- archives and seeks (messages/: Archive.cpp, Seeks.cpp, SeekOptimization.cpp) ----
    template <class ARRAY>
    bool OnMsgSeekToOffsetTemplate(ARRAY* rec);
    // True when the item a version-10 seek names must be restored; false when the seek optimiser decided that it
    // need not be, its result then recorded.
    bool MakeSeekOptimizationDecision(FSRSeekArchive_10* seek);
    bool MakeSeekOptimizationDecision(FSRSeekArchive_10_V2* seek);
    bool EnableRestoreOptimization();
    // 0 to go on (`reverted` tells whether a revert replaced the open), -1 when the open must not go on.
    int CheckAndDoRevertForDB(FSROpenArchive* rec, bool& reverted);
    int FetchMySqlIndexMetadata(bool browse);
    // Runs the fetch unless one of this process succeeded already; 0 when the metadata is at hand.
    int fetchMySqlIndexMetadataOnce(bool browse);
    int GetStatResult(const char* path, struct stat* st);

    // ---- parameters, source paths, job options (messages/: Params.cpp, SourcePaths.cpp, JobOptions.cpp) ----
    bool IsPreventOverwriteFailJob(const char* destDir);
    void CreateSkipPreventOverwriteOnRestartFile();
    // qsort comparators of source-path records by their texts (strcmp, strcasecmp); records without a text first.
    static int cmpFunc(const void* a, const void* b);
    static int cmpFuncCase(const void* a, const void* b);
    // Frees every stored source-path text and the array (made with new[] of the parameters' count of records by the
    // parameters handler), leaving none. The destructor calls it; so must a handler that makes another array.
    void releaseSourcePaths();

    // ---- results and progress (Results.cpp, Progress.cpp) ----
    void UpdateStatistics(const char* path, int errCode, unsigned long long size, unsigned long long compSize,
                          FsRestoreObject* object);
    void HandleRestoreFileUpdateForExtentBasedRestore(const char* path, int& errCode, const std::string& reason,
                                                      FsRestoreObject* object, const std::string& suffix,
                                                      CXFileHeader* header, bool& skipUpdate);
    void sendRestoreItem(CXFileHeader* header);
    // The restore end's close of the results: the end line, then the store ended or the raw file closed, under the
    // results lock so that no recorder writes to a closed file.
    void endResults();

    // ---- stream handlers (stream/) ----
    void initializePreHdr(FSRPreHeader* record);
    void OnBufferPlFsPreHdr(void* buf, FSRPreHeader* record);
    void ProcessMissingEOF();
    bool sendSrcPathToFIR(char* path);
    bool DependantPathAlreadySentToFIR(const char* path);
    // 1 when the mark was relayed to the FIR, 0 when not.
    int OnBufferPlFsHiWaterMark();
    int OnBufferPlFsLoWaterMark();
    void SendExtentFileStatus(void* buf, CXFileHeader* hdr);
    void convertErrReportByteOrder(FSRErrorReport* report);
    bool IsHlinkBaseFile();
    bool CheckAndProcessNotInPlaceFiles(unsigned long long frn, char* name, char* out, unsigned int mode);
    bool CheckIfFileIsToBeRestored(unsigned long long frn, char* name, unsigned long long modTime);
    bool ProcessRestoredExtentFile(unsigned long archiveFile, unsigned long long offsetInAfileId,
                                   unsigned long long extentNumber, unsigned long long frn, int index);
    bool ProcessFailureToRestoreExtentFile(unsigned long archiveFile, unsigned long long offsetInAfileId,
                                           unsigned long long extentNumber);
    void HandleFailure(int err, char* name, unsigned long long frn, unsigned long long size);
    // Gives back every queued image piece, leaving the queue empty.
    void releaseImagePieces();
    CQiError UpdateFileTimes(const std::string& path);
    bool ShouldRestoreCurrFileExtent(const std::string& path);
    bool GetMappedPathForHdrPath(const std::string& path, std::string& out);
    void UpdateTotalProcExtents(unsigned long long n);
    bool IsFileExtentItem(const std::string& suffix) const { return (void)suffix, false; }

    // ---- job-state queries answered from the companion (options/JobStateQueries.cpp) ----
    bool IsRuvoSyncRestore();
    bool IsRuvoRestore();
    bool IsHadoopRestore();
    bool IsReplicateHadoopExtentsAfterConcat();
    unsigned long long GetHadoopDestinationInstanceID();
    bool IsCacheDBRestore();
    bool IsDontRestoreData();
    bool isDistributedRestore();
    int getGreenplumRestoreOption();
    bool IsSpannerInstance();
    bool IsCloudRestore();
    bool IsHBaseRestore();
    unsigned long long getDestAppType();
    bool IsDestinationGluster();
    bool IsFileDeleteBeforeRestore();
    bool IsVLRBackupCopyMultiStreamRestore();
    bool IsTimestampRestoreEnabled();
    bool IsDistributedTimestampRestore();
    bool IsMultiNodeRestore();
    int GetMultiNodeTaskId();
    bool IsContentIndexingRestore();
    bool IsSolrDBRestore();
    bool IsSolrCloudRestore();
    unsigned long long GetSolrCloudClientID();
    bool IsLiveSyncRestore();
    void SetLiveSyncRestore(bool on);
    bool IsAutoScaleIndexRestore();
    void SetAutoScaleIndexRestore(bool on);
    bool getIsProxyHeaderEntry();
    int IsStopMsgSent();
    bool isDBRestoreFromMultiplexedBackup();
    std::vector<std::string>& getDBPathRestoreList();
    int getRestorePathParameterIndex();
    void incrementRestorePathIndex();
    boost::shared_ptr<IDBBackup>* GetSolrIndexDB();
    void SetSolrIndexDB(boost::shared_ptr<IDBBackup>& db);
    boost::shared_ptr<CRestoreTimestampHandler>* GetRestoreTimestampHandler();
    bool IsSkipAddtoRestoreStatus();
    void SetSkipAddtoRestoreStatus(bool on);
    WZRstJobClient* GetJobClient();
    void SetValidateOnlyJPR();
    void ResetRestoreStatsCurFileSizeAndCompSize();
    bool IsSyncRestore();
    CSyncRestorePathMapper* GetSyncPathMapper();
    void SetSyncPathMapper(CSyncRestorePathMapper* mapper);
    bool IsDoCrossPlatformStubCheck();
    int GetSourceStubType();
    void SetSourceStubType(int type);
    bool ShouldAutoMountShare();
    bool ShouldAutoMountDestShare();
    bool ShouldAutoMountAnyShare();
    FileShareAutoMountManager* GetAutoMountManager();
    void GetRestoreDestinationUIDGID(unsigned long long& uid, unsigned long long& gid);
    int GetUIDGIDForDestDir(const std::string& path, unsigned long long& uid, unsigned long long& gid);
    int PickUIDGIDFromDestDir(const std::string& path);
    bool IsLustreCopyToolEnabled();
    bool IsIphotoFileRestore();
    void SetIphotoFileRestore(bool on);
    void SetIphotoPreviousImagePath(std::string path);
    CQiError TranslateIphotoPath(std::string& out, const std::string& fromPath, const std::string& destDir);
    bool InitializeRestoreTimestampHandler();
    void InitializeShouldRestoreFolderTimestamp();
    CQiError InitializeSolrRestore();
    bool isValidIASPPath(const std::string& path);
    bool isValidQSYSPath(const std::string& path);
    std::string stripPathLevlel(const std::string& path, int levels);
    // For the host: appends ",<version>" to a non-empty path when the version is not 0 and the job's application
    // keeps versions in names, and the job's restore file name extension when it asks for one.
    void UpdatePathBasedOnFileVersion(unsigned int version, std::string& path);
    void UpdatePathBasedOnRestoreSuffix(std::string& path);
    // Splits a name made of a domain, a backslash and a user at its last backslash (which becomes a NUL in
    // `fullName`) into `domain` and `user`; without one the domain is "." and the user the whole name. Each output
    // must hold strlen(fullName) + 2 bytes. A host interface: nothing in the engine calls it.
    static void parseUserName(char* fullName, char* domain, char* user);

    // ---- class statics ----
    static std::string m_maHostName;
    static std::atomic<bool> suddenExitFlag;
    static bool m_mysqlIndexFetched;
    static bool m_ignoreMsgsForRevert;

    // ---- members (public: the class is exported whole, and a host may read and set them) ----

    // Host link and identity.
    CWzNetwork* _network;
    char _registrationName[256];
    char* _clientName;
    char* _jobResultsDir;
    std::string _clientNameFromHost;

    // Job records.
    FSRInitData* _initData;
    FSRInitDataVer2* _initDataVer2;
    FSRSetParams* _setParams;
    FSRSrcPath* _srcPaths;
    // The positions of the current round of source paths stored so far; cleared when a round completes.
    std::vector<bool> _srcPathsStored;
    std::map<unsigned long, std::string> _destPathMap;
    std::map<std::string, bool> _stubRestoreSupported;

    // Platform companion and services.
    FclRestoreUNIX* _fclRestoreUnix;
    CXHSMLowLevelCtx* _hsmCtx;
    CXHSMLowLevel* _destHsm;
    EvEvent* _event;
    WZJobCtrlClient* _jobCtrlClient;
    WZRstJobClient* _rstJobClient;
    int _rstJobClientReady;
    RestoreArbiter* _arbiter;
    PerfCounter _perfCounter;

    // Threads, queue and locks. Stop flags and the fatal mark are read by other threads: atomics.
    std::queue<FclRestoreMsg*>* _msgQueue;
    WzSemaphore* _freeSlots;
    WzSemaphore* _msgsAvailable;
    WzMutex _queueLock;
    WzMutex _headSendLock;
    WzMutex _firSendLock;
    WzThread* _prThread;
    WzThread* _plThread;
    WzSafeFlags _prThreadRunning;
    WzSafeFlags _plThreadRunning;
    std::atomic<int> _terminateReceiveMsgs;
    std::atomic<int> _terminateProcessMsgs;
    std::atomic<int> _terminateReadPipeline;
    std::atomic<int> _fatalError;
    std::atomic<int> _stopReceived;
    char _failureReason[1024];
    std::string _readerFailure;             // under _failureReasonLock
    mutable std::mutex _failureReasonLock;  // any thread may write the reason while another logs it

    // Archive, restore head and seeks.
    FsRestoreArchive* _archive;
    CWzNetwork* _headSession;
    std::atomic<long long> _headSessionLastUse;
    long long _keepAliveInterval;
    int _archiveOpen;
    int _failOnSeekFailure;
    unsigned long _archFileAppType;
    bool _crossMachine;
    unsigned long _currentChunkId;
    unsigned long _seekItemCount;
    unsigned long _restartFileNum;
    SeekDecision* _seekDecision;
    WzSafeFlags _pendingErrorReports;
    int _waitArchiveClosedPending;
    std::atomic<long long> _errorReportDeadline;

    // Item in progress.
    FsRestoreObjectsFactory* _factory;
    FsRestoreObject* _ro;
    unsigned long _currFileSize;
    // The bytes of data and holes the current item's header promises, held against what comes; kSizeUnchecked for
    // an item whose size means something else (extents, Apple forks, stubs).
    static constexpr uint64_t kSizeUnchecked = ~uint64_t{0};
    uint64_t _itemSizeExpected = kSizeUnchecked;
    unsigned long _currFileCompSize;
    FSRRestoreItem* _restoreItem;
    bool _removeFileOnError;
    bool m_bIsFileCountable;
    int _throttleProgress;
    int _holeThreshold;
    int restoreDataInRawDev;
    int _rawDevAsRegularFile;
    int _rawDevFound;
    bool m_docRestore;
    std::vector<std::string> _dependantPathsSent;
    CXFileHeader _savedFileHeader;
    FSRPreHeader _savedPreHeader;
    bool _delayOpen;
    void* _savedOptHdr;
    int _savedOptHdrLen;
    int _delayOpenVersion;
    // The delayed object was opened at its real path: its data and end go to it from then on.
    bool _delayedObjectOpened = false;
    // The object's open waits for its optional header (ACL pass-through off); an item without one is opened at its
    // first data, hole or end instead.
    bool _openAwaitsOptHdr = false;
    bool _exchangeFlag;
    std::map<std::string, std::vector<_HLElementByIndex>> realLinkPathsMap;
    std::string previousName;
    std::string _hlTranslatedName;
    bool bIgnoreOptHeaders;
    bool bDelayOpenObject;
    FsRestoreObject* HLRO;
    // HLRO was restored only as the source of its links: its destination goes at the end of the item.
    bool _hlroBaseFile = false;
    // The names this job linked to HLRO: names of the item's file, recorded with the item's outcome at its end and
    // removed with its file when it fails.
    std::vector<std::string> _hlroLinkedNames;
    int _CXHeaderCount;
    // The id with which the current item's data failed (a write, a hole, the stream), or 0. From then on the item's
    // data is dropped; its end records that id, and the partial file goes under the remove-on-error flag.
    unsigned long _itemDataError = 0;
    // Source names of items whose data a read error cut short. Each was recorded failed at its own end, so the
    // FIR's answer naming it only counts off its report; written by the reader thread, read by the processing one.
    std::mutex _readErrorItemsLock;
    std::set<std::string> _readErrorItems;

    // Results and statistics.
    FsRestoreStatistics* _statistics;
    StoreResults* _results;
    FILE* _rawResultsFile;
    int _rawResultsMode;
    FsRestoreRestart* _restart;
    bool _itemFailureCausePending;
    bool _stubsNotRestored;
    int _partialSuccess;
    // Sizes of the item UpdateStatistics hands to the recorder (under the results lock), so that an item settled on
    // the message thread is booked with its own sizes, not with those of the reader's file in progress.
    struct GivenItemSizes {
        bool given = false;
        unsigned long long size = 0;
        unsigned long long compSize = 0;
    } _givenItemSizes;
    // Guards `_restoreItem`: the reader fills it while the message thread may send it.
    std::mutex _restoreItemLock;

    // Job state.
    int _impersonating;
    bool _siloJob;
    bool _personalWorkstation;
    bool _caseSensitive;
    bool _logImageStreams;

    // Image-level restore.
    unsigned long long _restoreStartTime;
    unsigned long long _imgClusterSize;
    unsigned long long _imgSectorSize;
    unsigned long long _imgTotalFiles;
    std::vector<FSRImgAfileOffsets*> _imgAfileOffsets;
    WZRestoreFiles _restoreFiles;
    bool _restoreFilesReady;
    std::set<unsigned long long> _failedFRNs;
    std::set<unsigned long long> _skippedFRNs;
    std::set<unsigned long long> _toRestoreFRNs;
    std::set<unsigned long long> _reportedFRNs;
    std::set<unsigned long long> _notToRestoreFRNs;
    // Files whose first piece was copied out in this job: a later piece writes into what the first one made.
    std::set<unsigned long long> _imgStartedFRNs;

    // Test hooks. The clock of the keep-alive and of the error-report deadline (seconds since the epoch), and how
    // long finalize and the destructor wait for a worker thread's end before they leave its resources alone.
    long long (*_clock)();
    unsigned long _threadJoinBoundMs;

    // Set only from outside the engine.
    int _multiStreamMode;
    ProxyRestore* _proxyRestore;
    bool _useProxyItemMessages;
    bool _proxyClientDestination;
    unsigned long _destClientId;
    int _suppressFailure;
};

// Set while the current item is an HSM stub without data (from its pre-header).
extern bool g_bStubWithNoData;

// A copy of `s` in a new malloc buffer of strlen(s) + 20 bytes (room for the factory's in-place conversions); null,
// after an error line, when there is no memory, and for a null `s`.
char* myStrdup(const char* s);

// A path as one line of results text: each carriage return as "<CR>", each line feed as "<LF>".
std::string restoreOutTranslate(const char* path);
