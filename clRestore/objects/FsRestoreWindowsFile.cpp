#include "clRestore/objects/FsRestoreWindowsFile.h"

#include <algorithm>
#include <cerrno>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/log/LogWriter.h"

namespace {

// The Windows attribute of a reparse point.
constexpr uint32_t kReparsePointAttribute = 0x400;

// Source stub types: who made the stubs.
constexpr int kStubWinReparsePoint = 1;
constexpr int kStubWinDataStream = 2;
constexpr int kStubCelerra = 3;
constexpr int kStubNas = 4;

constexpr uint32_t kPermissionBits = 0777;
constexpr unsigned int kZeroChunk = 64 * 1024;

}  // namespace

FsRestoreWindowsFile::FsRestoreWindowsFile(CXFileHeader* header, FsRestoreUnixObjectsFactory* factory)
    : FsRestoreFile(header, factory) {
    FclRestore* job = _ownerFactory->getJob();
    _uid = 0;
    _gid = 0;
    const uint32_t permissions = job != nullptr && job->isRunningOnPersonalWorstationClient() ? 0777 : 0700;
    _mode = (_mode & ~kPermissionBits) | permissions;
    if (!_isStub) {
        // The header's size is the file's: its main data, not the backup stream that carries it. A stub's size is
        // the size of the file it stands for.
        _winStreamRestore.setDataLimit(_filesize);
        return;
    }
    const int stubType = job != nullptr ? job->GetSourceStubType() : 0;
    if (stubType == kStubWinReparsePoint || stubType == kStubWinDataStream) {
        const bool reparsePoint = (header->fileAttributes & kReparsePointAttribute) != 0;
        _winStreamRestore.setStubdataStreamId(reparsePoint ? kWinStreamReparseData : kWinStreamData);
        if (job != nullptr) {
            job->SetSourceStubType(reparsePoint ? kStubWinReparsePoint : kStubWinDataStream);
        }
    } else if (stubType == kStubCelerra || stubType == kStubNas) {
        _winStreamRestore.setStubdataStreamId(kWinStreamData);
    }
}

int FsRestoreWindowsFile::openObject() {
    const int result = FsRestoreFile::openObject();
    if (result == 0) {
        return 0;
    }
    _winStreamRestore.setHandle(_handle);
    return 1;
}

int FsRestoreWindowsFile::parseData(const char* data, unsigned int length) {
    const int parsed = _winStreamRestore.parse(data, length);
    if (parsed >= 0 && !_winStreamRestore.didWriteFail()) {
        return 1;
    }
    if (_winStreamRestore.ranPastDataLimit()) {
        FCL_ERROR("[%s] runs past the %llu bytes its header gives; it is recorded as failed", _filename.c_str(),
                  static_cast<unsigned long long>(_filesize));
        _ownerFactory->setErrCode(fclitem::kItemFailed);
        return 0;
    }
    FCL_ERROR("WinStreamParser::parse fail for file '%s'", _filename.c_str());
    if (_winStreamRestore.didWriteFail()) {
        const int err = _winStreamRestore.getLastError();
        handleError(err == ENOSPC || err == EDQUOT ? static_cast<unsigned long>(err) : static_cast<unsigned long>(-1));
    } else {
        handleError(static_cast<unsigned long>(-1));
    }
    return 0;
}

int FsRestoreWindowsFile::writeData(void* buffer, int length) {
    if (dropsData()) {
        return 1;
    }
    if (IsItemExtent()) {
        return FsRestoreUnixObject::writeData(buffer, length);
    }
    if (length < 0) {
        FCL_ERROR("write [%s] negative data length %d.", _filename.c_str(), length);
        handleError(static_cast<unsigned long>(-1));
        return 0;
    }
    return parseData(static_cast<const char*>(buffer), static_cast<unsigned int>(length));
}

// Seeking the destination under a hole would move the main data's writes while the parser, which had not seen the
// hole's bytes, would read the rest of the stream out of step.
int FsRestoreWindowsFile::makeHole(unsigned int length) {
    if (dropsData()) {
        return 1;
    }
    if (IsItemExtent()) {
        return FsRestoreUnixObject::makeHole(length);
    }
    static const char zeros[kZeroChunk] = {};
    while (length > 0) {
        const unsigned int piece = std::min(length, kZeroChunk);
        if (parseData(zeros, piece) == 0) {
            return 0;
        }
        length -= piece;
    }
    return 1;
}

// A backup stream that stops inside a stream left the file short of data it claimed: the item is not restored
// exactly, and the close fails it as it fails an item whose data did not all come.
int FsRestoreWindowsFile::closeObject() {
    const bool restoring = !dropsData() && !IsItemExtent();
    if (restoring && _ownerFactory->getErrCode() == 0 && !_winStreamRestore.atStreamBoundary()) {
        FCL_ERROR("The backup stream of '%s' ends inside a stream: the item's data is incomplete", _filename.c_str());
        markDataIncomplete();
    }
    const std::vector<char>& stub = _winStreamRestore.getStubData();
    if (!stub.empty()) {
        _stubData = stub;
    }
    return FsRestoreFile::closeObject();
}
