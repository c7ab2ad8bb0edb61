#pragma once
// The restore-object factory of Unix jobs: one per job, built by the engine at the job's last source path. Besides
// creating the restore object of each file header it keeps what naming and creating items needs across the job: the
// job, the per-source directory levels and top-level destinations, the current item's destination names, the mapping
// of a mapped restore, the mount lists of the destination checks, the silo mount-path cache and the special data
// handler of the current item.
//
// Every job query answers "no" when the factory has no job.
#include <sys/types.h>

#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "platform/mounts/WzMntTab.h"
#include "platform/support/CQiError.h"
#include "platform/sync/UserGroupID.h"
#include "protocol/RestoreDataHandler.h"

class FclRestore;
class EvEvent;
class FsRestoreUnixObject;
class CSyncRestorePathMapper;

// One mount path of a silo disk library: its id and its path.
struct CpMMSMountpathInfo {
    int id = 0;
    std::string path;
};

class FsRestoreUnixObjectsFactory : public FsRestoreObjectsFactory {
public:
    // Per source index: whether an item already matched the source as a direct child of its top-level destination,
    // and the source path from its strip position on (computed on first use).
    struct PathPermissions_info {
        bool processed = false;
        std::string strippedPath;
    };

    // `jobResultsDir` is not used. `paths` stays the job's (see the base). `job` may be null. Throws ClExceptError
    // when a source path cannot be converted or the silo cache cannot be allocated.
    //
    // A job that restores out of place into a directory (not into one named file, not into "/") has the file-call
    // layer hold that directory as the destination root from here to the destructor (platform/files/
    // DestinationGate.h); a destination that does not exist yet is created first (mode 0700, as missing ancestors
    // are). When it can be neither created nor held, the constructor throws ClExceptError 0x17000017. A factory
    // without a job holds none.
    FsRestoreUnixObjectsFactory(char* jobResultsDir, FSRSrcPath* paths, int count, char* destDir, unsigned long options,
                                FclRestore* job);
    ~FsRestoreUnixObjectsFactory() override;

    using FsRestoreObjectsFactory::InitializeForMappedRestores;
    using FsRestoreObjectsFactory::InsertInToMap;

    // ---- overrides of the factory interface ----
    FsRestoreObject* createRestoreObject(CXFileHeader* header, unsigned long version) override;

    // Whether `path` (trailing '/' aside) names the destination root this factory holds: where items go, never an
    // item itself.
    bool isDestinationRoot(const std::string& path) const;
    int isReboot() const override { return _reboot; }
    bool isFileMappingEnabled() override { return !_mapping.empty(); }
    void translatePathname(std::string& to, const std::string& from, CXFileHeader* header,
                           unsigned short mode) override;
    // Throws the no-destination id for an in-place item of a file-system job under no selected source path.
    void refuseOutsideSelection(const std::string& source, bool isDirectory) const;
    // True when `source` lies at or under one of the job's selected source paths (or the job selects none).
    bool liesUnderSelection(const std::string& source, bool isDirectory) const;
    bool InsertInToMap() override;
    int InitializeForMappedRestores(long long jobId) override;
    int InitializeForMappedRestores(long long jobId, const std::map<unsigned long, std::string>& map) override;
    bool getMappingPath(std::string& to, std::string& from) override;
    void convertWindowsPathToUnixPath(const char* path, std::string& out) override;

    // ---- the job and the current item ----
    FclRestore* getJob() const { return _fclRestore; }
    bool getOpenSpecialFileFlag() { return _openSpecialFileFlag != 0; }
    std::string getFilename() { return _itemFilename; }
    std::string getFilenameA() { return _itemFilenameA; }
    bool GetGUIFlagForTsolLLabelCheck() { return _labelCheckOff; }
    void SetGUIFlagForTsolLLabelCheck();
    bool ShouldCreateRawDeviceOnRestore() { return _createRawDevice; }

    // ---- job-state queries ----
    bool IsSyncRestore();
    bool IsRuvoSyncRestore();
    bool IsRuvoRestore();
    bool IsHadoopRestore();
    // Without a job both stay as they are.
    void GetRestoreDestinationUIDGID(unsigned long long& uid, unsigned long long& gid);
    bool ShouldPreserveModifiedFilesForSync();
    // Unix seconds; 65535 when the job is not a synchronised restore.
    long long GetLastSyncBackupTime();
    void GetCurrentUserAndGroup(UserGroupID* ids);

    // ---- creating the object, the special data handler ----
    bool isSpecialHandlingRequired() { return false; }
    long long writeToDataHandler(const int& fd, void** buffer, long long& length);
    int finalizeData(const int& fd, void** buffer, long long& length);
    bool finalizeFile(bool result);

    // ---- missing directories ----
    void calculateMkdirLevel();
    // Never throws: a source path that cannot be converted matches nothing.
    bool isDirectChildDir(const char* toPath, std::string& topLevelDestPath, int& srcIdx);
    bool isDirectChildDir(const char* toPath, std::string& topLevelDestPath, int& srcIdx, const char* toPathPhys);
    // Changes only directories that did not exist when the factory was built, each reached without following a link.
    void resetMkdirPermOwnerGroup(const std::string& path, int srcIdx, mode_t mode, uid_t uid, gid_t gid);
    // Per source index, the directory under which that source's items land.
    const std::vector<std::string>& getTopLevelDestPaths() const { return _topLevelDestPaths; }

    // ---- cross-platform sources ----
    // Never throws: source paths that cannot be converted stay as they are (logged).
    bool isWindowsCrossRestore(int platform);
    bool isNovellCrossRestore(int platform);
    bool isUfsDumpFile(unsigned int flags2) { return (flags2 & CXHDR_F2_UFSDUMP) != 0; }
    // Every source path text in Unix form, or none: throws ClExceptError 0x1700002e and changes nothing when one
    // cannot be converted. A text may grow by one character; the engine stores each with room for 20 more.
    void convertWindowsSourcePaths();

    // ---- destination naming and path translation ----
    bool preapreFileName(const char* hdrName, std::string& translated, std::string& real, CXFileHeader* header);
    static int cmpFunc(const void* a, const void* b);
    static int cmpFuncCase(const void* a, const void* b);
    std::string getBasename(const std::string& path);

    // ---- silo paths ----
    bool translateSiloPathname(std::string& to, const std::string& from);
    // The same, with the folder the item must stay beneath (the mount path's folder) in `mountBase`.
    bool translateSiloPathname(std::string& to, const std::string& from, std::string* mountBase);

    // ---- destination file-system checks ----
    void getLogicalVolumeList();
    bool CheckIfDestinationPathIsInLustre(const std::string& path);
    bool CheckIfDestinationPathIsNFS(const std::string& path);
    bool ShouldResetOwnershipForLaptop();

    // ---- search-index database restore ----
    CQiError processSolrDBFileHeader(CXFileHeader header);
    CQiError processSolrOutOfplaceRestore(CXFileHeader& header);
    CQiError processSolrInplaceRestore(CXFileHeader& header);
    CQiError processSolrInplaceRestore_HandleSolrCloud(CXFileHeader& header, std::string& actualPath, bool& unmapped);
    CQiError processSolrInplaceRestore_HandleSolrIndex(CXFileHeader& header, std::string& actualPath, bool& unmapped);
    FsRestoreUnixObject* CreateSolrDBRestoreFileObject(CXFileHeader* header);

protected:
    FclRestore* _fclRestore;  // not owned
    std::list<WzMntTab::Entry> _mountList;
    bool _mountListLoaded;
    std::vector<std::string> _topLevelDestPaths;
    std::list<WzMntTab::Entry> _lustreMounts;
    bool _lustreOutOfPlaceAnswer;
    bool _lustreOutOfPlaceDecided;
    bool _lustreInPlaceDecided;
    bool _lustreListBuilt;
    int _lustreScope;
    int _currentItemMapped;
    std::list<WzMntTab::Entry> _nfsMounts;
    int _nfsAutoMountRule;  // -1 undecided
    bool _nfsOutOfPlaceAnswer;
    bool _nfsOutOfPlaceDecided;
    bool _nfsInPlaceDecided;
    bool _nfsListBuilt;
    int _nfsScope;
    std::string currentMappedPath;
    std::string _itemFilename;
    std::string _itemFilenameA;
    std::unique_ptr<EvEvent> _factoryEvent;
    std::vector<int> _mkdirLevels;
    char mappingFile[1024];
    int _restoreUnmappedData;
    std::map<std::string, std::string> _mapping;
    int _longestMappedSource;
    std::unique_ptr<RestoreDataHandler> _dataHandler;
    int _reboot;
    bool _caseSensitivePaths;
    std::unique_ptr<std::map<unsigned long, CpMMSMountpathInfo>> _siloMountPaths;  // silo jobs only
    void* _mmClientLib;                                                            // dlopen handle, closed here
    bool _labelCheckOff;
    std::map<int, PathPermissions_info> _pathPermissions;
    bool _createRawDevice;
    // Directories on the way to each source's destination that did not exist when the factory was built: the only
    // ones the missing-directory fix-ups may change.
    std::set<std::string> _dirsAbsentAtStart;
    std::string _gateRoot;  // the destination root this factory set, "" when none

private:
    long long jobId() const;
    // The job's mapper while the job is a synchronised restore, else null.
    CSyncRestorePathMapper* syncPathMapper();
    void holdDestinationRoot();
    FsRestoreObject* createDeviceObject(CXFileHeader* header, unsigned int fileType);
    void keepLinkAtSourceIfNeeded(CXFileHeader* header);
    // Records the directories on the way to `path` that do not exist now.
    void noteDirectoriesAbsent(const std::string& path);
    // Source path `index` in the form item paths are matched against; false without a text or when it cannot be
    // converted.
    bool matchingSourcePath(int index, std::string& src);
    // The answer for one kind of file system: Lustre, or NFS when `nfs`.
    bool destinationIsOnMountKind(bool nfs, const std::string& path);
};

// The length of the shortest source path text, computed at its first use; 0 until then.
extern int MinSrcPathSize;

// `path` in Unix form: unchanged with FSR_OPT_SYNTHETIC_FULL, otherwise '/' in front unless it starts with '/' or
// '\\', and every '\\' made '/'. False when the result would pass 1024 bytes (`out` then holds `path` unchanged).
bool windowsPathToUnixPath(const char* path, std::string& out, unsigned long options);
