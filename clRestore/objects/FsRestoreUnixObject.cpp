#include "clRestore/objects/FsRestoreUnixObject.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/RestoreUserGlobals.h"
#include "clRestore/objects/StaticUtils.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/events/EvEvent.h"
#include "platform/files/FileCalls.h"
#include "platform/files/LongPathHandler.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/WZPlatformInfo.h"

int FsRestoreUnixObject::_minHoleSize = FsRestoreUnixObject::kDefaultMinHoleSize;
int FsRestoreUnixObject::_createHoles = 0;
bool FsRestoreUnixObject::_preventStickyBeforeWrite = false;
int FsRestoreUnixObject::_firstTime = 1;

std::map<std::string, bool> g_dirMap;
bool g_preserveOwnership = false;
bool g_setACL = false;
std::map<std::string, fileRange_t> fileRangeMap;
fileRange_t fileRange;
uint32_t lastOffset = 0;
int giBlockSize = kDefaultBlockSize;
fsetxattr_func_t _fsetxattr_func = nullptr;
fremovexattr_func_t _fremovexattr_func = nullptr;

namespace {

// A writable copy for the calls that cut the path in place while they work.
std::vector<char> mutablePath(const std::string& path) {
    std::vector<char> text(path.begin(), path.end());
    text.push_back('\0');
    return text;
}

void closeIfOpen(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

}  // namespace

FsRestoreUnixObject::FsRestoreUnixObject(CXFileHeader* header, FsRestoreUnixObjectsFactory* factory)
    : _ownerFactory(factory),
      _event(new EvEvent),
      _filename(factory->getFilename()),
      _realName(factory->getFilenameA()),
      _rsrcFilename{},
      _statReturn(kStatNotDone),
      _statBuf{},
      _handle(-1),
      _inode((static_cast<uint64_t>(header->inodeHigh) << 32) | header->inodeLow),
      _linkCount(header->linkCount),
      _device(header->fileAttributes),
      _rdev(header->rdev),
      _mode(static_cast<uint32_t>(header->mode)),
      _mtime(static_cast<uint32_t>(header->mtime)),
      _ctime(static_cast<uint32_t>(header->ctime)),
      _atime(header->atime),
      _sourcePlatform(header->sourcePlatform),
      _flags2(header->flags2),
      _filesize(header->size),
      _uid(header->uid),
      _gid(header->gid),
      _flags(header->flags),
      _dontRestore(0),
      _hardLink(0),
      _holePending(0),
      _openSpecialFile(factory->getOpenSpecialFileFlag() ? 1 : 0),
      _archAppType(0),
      _dontRestoreStubWithGUID(false),
      _docRestore(false),
      _hsmEnabled(false),
      _isStub(false),
      _hsmOpened(false),
      _hsm(nullptr),
      _hsmCtx(nullptr),
      hfsDataSize(0),
      hfsRsrcSize(0),
      hfsAttrSize(0),
      // Never byte-swapped with the rest of the header: version 1 carries one number in network order, the others
      // only its first byte.
      isFromHFS(header->headerVersion == 1 ? ntohl(header->isFromHFS) : header->h_isHfs),
      _skipAppleForks(factory->getSkipAppleForkOption()),
      _rsrchandle(-1),
      _hfsAttrBlock{},
      _longPathHandler(nullptr),
      _ibrixRestore(false),
      _stubWithNoData(false),
      _onLustre(false),
      _setLustreStripe(true),
      _lustreStripeDone(false),
      _extentFileOffset(header->extentOffset),
      _numExtents(0),
      _extentId(0),
      _extentSize(0),
      _ownerSet(false),
      _dataIncomplete(false),
      _lossesCounted(0) {
    if (!uName.empty()) {
        _uid = uPwd.pw_uid;
        _gid = uPwd.pw_gid;
    }

    // An Apple item's data is its data fork (its size travels in extentOffset, so an Apple extent item has no extent
    // offset), then its resource fork, then the attribute block. The three never add up to more than the item's
    // size: a header whose sizes do not fit gets shorter parts rather than counts that wrap.
    lastOffset = 0;
    if (isFromHFS != 0) {
        hfsDataSize = header->extentOffset < _filesize ? header->extentOffset : _filesize;
        const uint64_t rest = _filesize - hfsDataSize;
        hfsAttrSize = rest < static_cast<uint64_t>(kHfsAttrBlockSize) ? rest : kHfsAttrBlockSize;
        hfsRsrcSize = rest - hfsAttrSize;
        if (IsItemExtent()) {
            _extentFileOffset = 0;
        }
    } else {
        hfsDataSize = _filesize;
    }

    FclRestore* job = factory->getJob();
    if (job != nullptr) {
        // The job's storage-management handling is on from its construction and nothing turns it off.
        _hsmEnabled = true;
        _hsmCtx = job->_hsmCtx;
    }

    _isStub = (_flags2 & CXHDR_F2_STUB) != 0 || (_flags & CXHDR_F_STUB) != 0;
    const uint32_t stubWithData = CXHDR_F2_STUB | CXHDR_F2_STUB_GUID;
    _dontRestoreStubWithGUID = (_flags2 & stubWithData) == stubWithData && factory->getRestoreDataNotStubOption();

    if (_firstTime == 1) {
        _firstTime = 0;
        std::string prevent;
        if (WZPlatformInfo().getString("FileSystemAgent", "preventStickyBeforeWrite", &prevent) &&
            (prevent[0] == 'y' || prevent[0] == 'Y')) {
            _preventStickyBeforeWrite = true;
            FCL_LOG(0,
                    "User set registry key 'preventStickyBeforeWriteStr=%s'. Will not enforce sticky bits before "
                    "writing the data.",
                    prevent.c_str());
        }
    }

    FCL_LOG(3, "%s uid=%u gid=%u mode=0x%x atime=%d mtime=%d", _filename.c_str(),
            static_cast<unsigned int>(header->uid), static_cast<unsigned int>(header->gid), _mode,
            static_cast<int>(_atime), static_cast<int>(_mtime));
}

FsRestoreUnixObject::~FsRestoreUnixObject() {
    closeIfOpen(_handle);
    closeIfOpen(_rsrchandle);
}

std::string FsRestoreUnixObject::getTranslatedPathname() {
    // No staging paths on Unix: the destination name is the translated one.
    return _filename;
}

void FsRestoreUnixObject::resetFilePath(const std::string& name, CXFileHeader* header, int /*version*/) {
    _ownerFactory->preapreFileName(name.c_str(), _filename, _realName, header);
}

void FsRestoreUnixObject::setStubWithNoData(bool stubWithNoData) {
    if (stubWithNoData) {
        _dontRestoreStubWithGUID = false;
    }
    _stubWithNoData = stubWithNoData;
}

int FsRestoreUnixObject::ConvertPathToStagingPath(const std::string& in, std::string& out) {
    out = in;
    return 0;
}

int FsRestoreUnixObject::ConvertPathFromStagingPath(const std::string& in, std::string& out) {
    out = in;
    return 0;
}

void FsRestoreUnixObject::handleError(unsigned long err) {
    if (err == ENOSPC || err == EDQUOT) {
        FCL_ERROR("Disk full error");
        _ownerFactory->setErrCode(fclitem::kDiskFull);
        return;
    }
    FCL_ERROR("Write data error = %ld", static_cast<long>(err));
    _ownerFactory->setErrCode(fclitem::kWriteFailed);
}

void FsRestoreUnixObject::SetLongPathRestore() {
    if (_longPathHandler == nullptr) {
        _longPathHandler = WzLongPathHandler::GetHandler();
    }
    if (_longPathHandler == nullptr) {
        FCL_ERROR("Failed to instantiate long path handler. Long path restores may fail.");
        return;
    }
    FCL_LOG(4, "Setting long path restore for %s.", _realName.c_str());
}

bool FsRestoreUnixObject::seekToExtentOffset() {
    if (_handle == -1) {
        FCL_ERROR("Error: Invalid file handle");
        return false;
    }
    if (lseek64(_handle, static_cast<off64_t>(_extentFileOffset), SEEK_CUR) < 0) {
        FCL_ERROR("Error: Seek to offset=%llu failed, error=%s", static_cast<unsigned long long>(_extentFileOffset),
                  strerror(errno));
        return false;
    }
    return true;
}

// ---- file-system wrappers: the long-path handler while the item's path is long ----

int FsRestoreUnixObject::ChownFile(const std::string& /*path*/, const std::string& /*user*/,
                                   const std::string& /*group*/) {
    errno = EOPNOTSUPP;
    return -1;
}

int FsRestoreUnixObject::Unlink(const std::string& path) {
    return unlink_utf(path.c_str());
}

int FsRestoreUnixObject::ChmodFile(const std::string& path, int mode) {
    if (IsItemExtent()) {
        return 0;
    }
    return _longPathHandler != nullptr ? _longPathHandler->chmod_long(path.c_str(), mode)
                                       : chmod_utf(path.c_str(), mode);
}

int FsRestoreUnixObject::lChmodFile(const std::string& path, int mode) {
    if (IsItemExtent()) {
        return 0;
    }
    // The path calls take paths of any length, and unlike chmod_long this one never follows a final link: a link
    // planted at a long destination path cannot pass its mode to what it points at.
    return lchmod_utf(path.c_str(), mode);
}

int FsRestoreUnixObject::lChownFile(const std::string& path, unsigned int uid, unsigned int gid) {
    if (IsItemExtent()) {
        return 0;
    }
    return _longPathHandler != nullptr ? _longPathHandler->lchown_long(path.c_str(), uid, gid)
                                       : lchown_utf(path.c_str(), uid, gid);
}

int FsRestoreUnixObject::ChownFile(const std::string& path, unsigned int uid, unsigned int gid) {
    if (IsItemExtent()) {
        return 0;
    }
    return _longPathHandler != nullptr ? _longPathHandler->chown_long(path.c_str(), uid, gid)
                                       : chown_utf(path.c_str(), uid, gid);
}

int FsRestoreUnixObject::FChmodFile(int fd, int mode) {
    return IsItemExtent() ? 0 : fchmod(fd, mode);
}

int FsRestoreUnixObject::FChownFile(int fd, unsigned int uid, unsigned int gid) {
    return IsItemExtent() ? 0 : fchown(fd, uid, gid);
}

int FsRestoreUnixObject::Utime(const std::string& path, utimbuf* times) {
    return _longPathHandler != nullptr ? _longPathHandler->utime_long(path.c_str(), times)
                                       : utime_utf(path.c_str(), times);
}

int FsRestoreUnixObject::StatFile(const std::string& path) {
    if (_statReturn == kStatNotDone) {
        _statReturn = _longPathHandler != nullptr ? _longPathHandler->lstat_long(path.c_str(), &_statBuf)
                                                  : lstat_utf(path.c_str(), &_statBuf);
    }
    return _statReturn;
}

bool FsRestoreUnixObject::CreateDirsIteratively(const std::string& path) {
    std::vector<char> text = mutablePath(path);
    if (_longPathHandler != nullptr) {
        return _longPathHandler->CreateDirsIteratively_Long(text.data(), g_preserveOwnership ? &g_dirMap : nullptr) !=
               0;
    }
    return StaticUtils::createDirsIteratively(text.data()) != 0;
}

bool FsRestoreUnixObject::OpenRestoreFile(const std::string& path, int& fd) {
    // An extent is written into the file its earlier extents already went to: deleting that file would lose them.
    FclRestore* job = _ownerFactory->getJob();
    if (job != nullptr && job->IsFileDeleteBeforeRestore() && !IsItemExtent()) {
        unlink_utf(path.c_str());
    }
    // What the overwrite rules found at the name, when they looked: only that very file is rewritten in place.
    wzfiles::ItemCheck check;
    if (_statReturn == 0) {
        check.existed = true;
        check.dev = _statBuf.st_dev;
        check.ino = _statBuf.st_ino;
        check.nlink = _statBuf.st_nlink;
    }
    check.looked = !_lookMayWait;
    const wzfiles::ItemCheck* checked = _statReturn == kStatNotDone || IsItemExtent() ? nullptr : &check;
    if (_longPathHandler != nullptr) {
        // Extent items are written into the file at their offsets: never truncated.
        fd = _longPathHandler->openRestoreFile_long(path.c_str(), g_preserveOwnership ? &g_dirMap : nullptr,
                                                    !IsItemExtent(), checked);
        return fd != -1;
    }
    if (IsItemExtent()) {
        std::vector<char> text = mutablePath(path);
        return StaticUtils::openImageRestoreFile(text.data(), &fd, false) != 0;
    }
    return StaticUtils::openRestoreFile(path.c_str(), &fd, checked) != 0;
}

void FsRestoreUnixObject::countLoss(FsRestoreStatistics::Loss what, int error) {
    const unsigned bit = 1u << static_cast<unsigned>(what);
    FclRestore* job = _ownerFactory != nullptr ? _ownerFactory->getJob() : nullptr;
    if ((_lossesCounted & bit) != 0 || job == nullptr || job->getStatistics() == nullptr) {
        return;
    }
    _lossesCounted |= bit;
    job->getStatistics()->itemLost(what, error);
}
