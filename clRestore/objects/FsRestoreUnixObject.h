#pragma once
// What every Unix item under restore holds: the header fields it was built from, its destination names, its skip,
// hard-link, storage-management (HSM), Apple-fork, Lustre and extent state, and the file-system wrappers that switch
// to the long-path handler while the item's path is long. The subclasses create the item of their kind.
//
// Members are public: the stream handlers read and set several of them, and the subclasses share them all. One
// object runs on the job's pipeline-reader thread only.
#include <sys/stat.h>
#include <sys/types.h>
#include <utime.h>

#include <cstdint>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "clRestore/objects/FsRestoreObject.h"
#include "clRestore/support/FsRestoreStatistics.h"

class FsRestoreUnixObjectsFactory;
class EvEvent;
class CXHSMLowLevel;
class CXHSMLowLevelCtx;
class WzLongPathHandler;
namespace WzACL {
class Helper;
}

// How postOpenObject may change the owner.
enum IMPERSONATION_FLAG {
    IMPERSONATION_NONE = 0,
    // The restore runs as another user over an existing item: owner only, no mode change.
    IMPERSONATION_EXISTING_ITEM = 1,
    // Owners are preserved and the item is a directory this process created: the change is made with the identity
    // the process had before it took the user's.
    IMPERSONATION_PRESERVED_OWNER_DIR = 2
};

// Apple data collected for the AppleDouble companion file.
enum HFS_DATA_TYPE { HFS_DATA_RESOURCE_FORK = 2, HFS_DATA_FINDERINFO = 9 };

class FsRestoreUnixObject : public FsRestoreObject {
public:
    static constexpr int kDefaultMinHoleSize = 512;
    static constexpr int kHfsAttrBlockSize = 92;
    // `_statReturn` before the first lstat.
    static constexpr int kStatNotDone = 2;
    // A destination path this long goes through the long-path calls.
    static constexpr size_t kLongPathLength = 1024;

    // Copies what it needs of `header` (which may go afterwards) and the factory's current destination names. Both
    // pointers must be valid; the factory must outlive the object.
    FsRestoreUnixObject(CXFileHeader* header, FsRestoreUnixObjectsFactory* factory);
    // Closes descriptors still open: an object the job deletes without closing leaks nothing.
    ~FsRestoreUnixObject() override;
    FsRestoreUnixObject(const FsRestoreUnixObject&) = delete;
    FsRestoreUnixObject& operator=(const FsRestoreUnixObject&) = delete;

    // ---- overrides of the interface ----
    int openObject() override;
    int writeData(void* buffer, int length) override;
    int makeHole(unsigned int length) override;
    int writeOptHeader(void* buffer, int length) override;
    int closeObject() override;
    std::string getTranslatedPathname() override;
    void setArchFileAppType(unsigned long appType) override { _archAppType = appType; }
    void setDocRestore(bool docRestore) override { _docRestore = docRestore; }
    bool isFileProcessed() override { return _dontRestore == 0; }
    std::string GetRestoredItemType() override { return _isStub ? " STUB" : " DATA"; }
    void resetFilePath(const std::string& name, CXFileHeader* header, int version) override;
    void SetLongPathRestore() override;
    void ResetLongPathRestore() override { _longPathHandler = nullptr; }

    // ---- virtual operations added here, in slot order ----
    virtual int postOpenObject(IMPERSONATION_FLAG flag);
    virtual bool seekToExtentOffset();
    virtual int SetFileExtentUtime(const std::string& path, utimbuf* times) { return Utime(path, times); }
    // Not supported: -1 with EOPNOTSUPP.
    virtual int ChownFile(const std::string& path, const std::string& user, const std::string& group);
    virtual int Unlink(const std::string& path);
    virtual bool isArchiveOlder();
    virtual int IsFileLocked();
    virtual int _writeData(int& fd, const char* name, void* buffer, int length);
    virtual int _postOpenObject(int fd, const char* name, IMPERSONATION_FLAG flag);
    virtual bool CreateDirsIteratively(const std::string& path);
    virtual int ChmodFile(const std::string& path, int mode);
    virtual int lChmodFile(const std::string& path, int mode);
    // Cached: the first answer stays until `_statReturn` is set back to kStatNotDone, whatever path is asked.
    virtual int StatFile(const std::string& path);
    virtual int lChownFile(const std::string& path, unsigned int uid, unsigned int gid);
    virtual int ChownFile(const std::string& path, unsigned int uid, unsigned int gid);
    virtual bool OpenRestoreFile(const std::string& path, int& fd);
    virtual int FChmodFile(int fd, int mode);
    virtual int FChownFile(int fd, unsigned int uid, unsigned int gid);
    virtual int Utime(const std::string& path, utimbuf* times);

    // ---- small members ----
    std::string realName() { return _realName; }
    // True also clears the stub-with-GUID skip: a stub without data has nothing to restore instead of the stub.
    void setStubWithNoData(bool stubWithNoData);
    bool IsStubWithNoData() { return _stubWithNoData; }
    bool IsItemExtent() const { return (_flags2 & CXHDR_F2_EXTENT) != 0; }
    void setTranslatedPathForExtentRestore(const std::string& path) { _extentPath = path; }
    void setExtentFileOffset(const unsigned long long& offset) { _extentFileOffset = offset; }
    void setNumExtents(const unsigned long long& count) { _numExtents = count; }
    void setExtentId(unsigned long long id) { _extentId = id; }
    void setExtentSize(unsigned long long size) { _extentSize = size; }
    // No staging paths on Unix: `out` is `in`, the answer 0.
    int ConvertPathToStagingPath(const std::string& in, std::string& out);
    int ConvertPathFromStagingPath(const std::string& in, std::string& out);
    static void createHoles(int on) { _createHoles = on; }
    static void setMinHoleSize(int size) { _minHoleSize = size; }
    // The errno of a failed write as the item's error: disk full (which ends the job) or a write error.
    void handleError(unsigned long err);
    // The item's end did not come (a read error, a missing end of file, a stop): the close then treats it as failed.
    void markDataIncomplete() { _dataIncomplete = true; }
    // The object holds its destination open (a descriptor, or the storage layer's transparent open): the open
    // created or truncated it, so what the name holds is this item's, partial until the close. Ask before the close,
    // which gives the descriptor back.
    bool isItemOpen() const { return _handle >= 0 || _hsmOpened; }
    // A directory item whose name the open found to be a symbolic link: the link is kept and the item is restored
    // into the directory it reaches. The steps by path then act on the link itself where they never follow a name
    // (owner, first mode) and reach through it where they do (held-back mode, times).
    bool keptDirectoryLink() const;

    // ---- rules and steps whose operations live with their own behaviour ----
    bool ShouldRestoreFile();
    int ShouldRestoreSyncItem(bool isDirectory);
    int CanCreateWzConflictFile();
    bool isSyncObjectOlder();
    bool configureACLHelper(void* buffer, int length);
    bool ProcessACL(bool bPostData);
    void CheckLustreACL(bool flag);
    bool ShouldRestoreFileBasedOnACL(void* buffer, int length);
    bool checkACLPassthrough();
    int ufsRestore();

    // ---- process-wide switches (no lock) ----
    static int _minHoleSize;
    static int _createHoles;
    static bool _preventStickyBeforeWrite;
    static int _firstTime;

    // ---- fields ----
    FsRestoreUnixObjectsFactory* _ownerFactory;  // not owned
    std::unique_ptr<EvEvent> _event;
    std::string _filename;  // translated destination path
    std::string _realName;
    char _rsrcFilename[1280];
    int _statReturn;  // kStatNotDone, 0 the path exists, -1 it does not or cannot be read
    struct stat _statBuf;
    // The overwrite rules take the name for free without a look, and the open creates it exclusively: a name found
    // taken then is refused (EEXIST), and the item goes through the rules again after a real look.
    bool _lookMayWait = false;
    int _handle;  // -1 while not open
    uint64_t _inode;
    uint32_t _linkCount;
    uint32_t _device;
    uint32_t _rdev;
    uint32_t _mode;
    uint32_t _mtime;
    uint32_t _ctime;
    uint32_t _atime;
    int32_t _sourcePlatform;
    uint32_t _flags2;
    uint64_t _filesize;
    uint64_t _uid;
    uint64_t _gid;
    uint64_t _flags;
    int _dontRestore;
    int _hardLink;
    int _holePending;
    int _openSpecialFile;
    uint64_t _archAppType;
    bool _dontRestoreStubWithGUID;
    bool _docRestore;
    bool _hsmEnabled;
    bool _isStub;
    bool _hsmOpened;
    std::vector<char> _stubData;
    CXHSMLowLevel* _hsm;        // not owned
    CXHSMLowLevelCtx* _hsmCtx;  // not owned
    uint64_t hfsDataSize;
    uint64_t hfsRsrcSize;
    uint64_t hfsAttrSize;
    uint32_t isFromHFS;
    bool _skipAppleForks;
    int _rsrchandle;  // -1 when none
    unsigned char _hfsAttrBlock[kHfsAttrBlockSize];
    std::map<HFS_DATA_TYPE, std::unique_ptr<std::stringstream>> _forkStreams;
    WzLongPathHandler* _longPathHandler;  // null: the ordinary calls
    bool _ibrixRestore;
    bool _stubWithNoData;
    boost::shared_ptr<WzACL::Helper> _aclHelper;
    bool _onLustre;
    bool _setLustreStripe;
    bool _lustreStripeDone;
    std::string _extentPath;
    uint64_t _extentFileOffset;
    uint64_t _numExtents;
    uint64_t _extentId;
    uint64_t _extentSize;
    // The owner and group reached the item (postOpenObject): only then may its set-id bits be applied.
    bool _ownerSet;
    bool _dataIncomplete;
    // What this item was restored without, counted in the job's statistics once (a bit per FsRestoreStatistics::Loss).
    unsigned _lossesCounted;
    // What the item's result line says instead of its id's text, where that text would not tell why; null: the id's.
    const char* _resultText = nullptr;
    void countLoss(FsRestoreStatistics::Loss what, int error);
};

// Whether `object` holds its item's destination open, so that what the name holds is that item's partial file. An
// object of another kind (a host's) cannot tell: its name is taken for its item's.
inline bool holdsItemOpen(FsRestoreObject& object) {
    auto* unixObject = dynamic_cast<FsRestoreUnixObject*>(&object);
    return unixObject == nullptr || unixObject->isItemOpen();
}

// The byte range of a mapped source: data before `start` and from `end` on (-1: none) is not restored; `seen`
// counts the bytes of the current item consumed so far.
struct fileRange_t {
    long start;
    long end;
    long seen;
    fileRange_t() : start(0), end(-1), seen(0) {}
    fileRange_t(long startOffset, long endOffset) : start(startOffset), end(endOffset), seen(0) {}
};

// ---- process-wide state of the restore objects (no lock; resetProcessRestoreState puts back the load values) ----

// Directories this process created as ancestors while owners are preserved.
extern std::map<std::string, bool> g_dirMap;
extern bool g_preserveOwnership;
extern bool g_setACL;
// Byte range per mapping source, and the range of the item being restored.
extern std::map<std::string, fileRange_t> fileRangeMap;
extern fileRange_t fileRange;
// Position of the next resource-fork write into the extended attribute.
extern uint32_t lastOffset;
// The smallest write made while looking for holes.
extern int giBlockSize;
const int kDefaultBlockSize = 1024;
// False until the first write that looks for holes has said so and read the smallest write size.
extern bool g_holeSettingsRead;

// Extended-attribute writer and remover a host may set; null in this library.
typedef int (*fsetxattr_func_t)(int fd, const char* name, const void* data, size_t length, uint32_t position,
                                int options);
typedef int (*fremovexattr_func_t)(int fd, const char* name, int options);
extern fsetxattr_func_t _fsetxattr_func;
extern fremovexattr_func_t _fremovexattr_func;
