// FIFOs, sockets and device nodes: whether a node is made, the node itself, and the contents of a device written in
// whole device blocks.
#include "clRestore/objects/FsRestoreSpecial.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/files/FileCalls.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/WZPlatformInfo.h"
#include "protocol/FsrMessages.h"

namespace {

constexpr int kMinBufferSize = 65536;
constexpr int kDefaultDeviceBlock = 4096;
constexpr const char* kAgentSection = "FileSystemAgent";

// nRestoreSockets: 0 skips socket items, 1 makes their nodes, anything else keeps the items without a node.
int restoreSocketsSetting() {
    static int setting = -1;
    if (setting != -1) {
        return setting;
    }
    unsigned long value = 0;
    if (WZPlatformInfo().getNumber(kAgentSection, "nRestoreSockets", &value) && value != 0) {
        FCL_LOG(0, "nRestoreSockets exists under %s with value [%lu]", kAgentSection, value);
        setting = static_cast<int>(value);
    } else {
        setting = 0;
    }
    FCL_LOG(0, "Sockets will be %s", setting == 0 ? "skipped from restore" : "restored");
    return setting;
}

bool isDeviceType(mode_t type) {
    return type == S_IFCHR || type == S_IFBLK;
}

std::string parentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

}  // namespace

int FsRestoreSpecial::openObject() {
    const mode_t type = _mode & S_IFMT;
    const bool socket = type == S_IFSOCK;
    const int restoreSockets = socket ? restoreSocketsSetting() : 0;
    if (socket && restoreSockets == 0) {
        _dontRestore = 1;
        _ownerFactory->setErrCode(fclitem::kSkippedMissing);
        _resultText =
            "The item is a socket: the program that listens on a socket makes it, so none is made (nRestoreSockets "
            "= 1 in the settings' [FileSystemAgent] makes one).";
        return 1;
    }
    if (FsRestoreUnixObject::openObject() == 0) {
        const int err = errno;
        FCL_LOG(0, "Error [%d] while opening [%s] (base class)", err, _filename.c_str());
        if (_ownerFactory->getErrCode() == 0) {
            _ownerFactory->setErrCode(err == ENOSPC ? fclitem::kDiskFull : fclitem::kCreateFailed);
        }
        return 0;
    }
    FCL_LOG(2, "_dontRestoreStubWithGUID %d", _dontRestoreStubWithGUID ? 1 : 0);
    if (_dontRestore != 0 || _hardLink != 0 || _dontRestoreStubWithGUID) {
        return 1;
    }
    if (!placeNode(socket && restoreSockets == 1)) {
        return 0;
    }

    FclRestore* job = _ownerFactory->getJob();
    if (job != nullptr && job->restoreDataInRawDev != 0 && isDeviceType(type)) {
        _openSpecialFile = 1;
    } else {
        FCL_LOG(0, "INFO: Data in the Device File [%s] mode=0%lo rdev=0%lo would not be restored.", _filename.c_str(),
                static_cast<unsigned long>(_mode), static_cast<unsigned long>(_rdev));
    }
    if (postOpenObject(g_preserveOwnership ? IMPERSONATION_PRESERVED_OWNER_DIR : IMPERSONATION_NONE) == 0) {
        FCL_LOG(0, "Error [%d] while post-opening [%s] (base class)", errno, _filename.c_str());
        if (_ownerFactory->getErrCode() != fclitem::kUserMayNotRead) {
            _ownerFactory->setErrCode(fclitem::kCreateFailed);
        }
        return 0;
    }
    return 1;
}

// What already stands at the name decides: a node of the item's own kind is kept, anything else but a directory is
// replaced when the job overwrites unconditionally, and otherwise the item fails. A node is made only where the
// settings allow it.
bool FsRestoreSpecial::placeNode(bool socketAllowed) {
    const mode_t type = _mode & S_IFMT;
    const unsigned long mode = _mode;
    const unsigned long rdev = _rdev;
    const char* name = _filename.c_str();
    if (_statReturn == 0) {
        const mode_t existing = _statBuf.st_mode & S_IFMT;
        if (existing == type || (isDeviceType(existing) && isDeviceType(type))) {
            FCL_LOG(0, "INFO: Reusing Exiting Device File [%s] mode=0%lo rdev=0%lo", name,
                    static_cast<unsigned long>(_statBuf.st_mode), static_cast<unsigned long>(_statBuf.st_rdev));
            return true;
        }
        if ((_ownerFactory->getOptions() & FSR_OPT_OVERWRITE) == 0 || existing == S_IFDIR) {
            FCL_LOG(0, "There is exiting non-device file '%s' exists and overwrite option not selected.", name);
            _ownerFactory->setErrCode(fclitem::kCreateFailed);
            return false;
        }
    }
    FclRestore* job = _ownerFactory->getJob();
    if (job != nullptr && job->_rawDevFound != 0) {
        FCL_LOG(0, "INFO: Reusing Device File [%s] mode=0%lo rdev=X%lX ", name, mode, rdev);
    }
    if (!_createRawDevice && !socketAllowed) {
        FCL_LOG(3, "device file '%s', mode=0%lo rdev=X%lX will not be created", name, mode, rdev);
        FCL_LOG(1, "restore of device file '%s' will fail, since it does not exist", name);
        _ownerFactory->setErrCode(fclitem::kCreateFailed);
        return false;
    }
    if (_statReturn == 0) {
        FCL_LOG(3, "Replacing [%s] by the item's node", name);
        if (Unlink(_filename) != 0 && errno != ENOENT) {
            FCL_LOG(0, "Error [%d] while removing [%s] mode 0%lo rdev=X%lX", errno, name, mode, rdev);
            _ownerFactory->setErrCode(fclitem::kCreateFailed);
            return false;
        }
        _statReturn = -1;
    }
    FCL_LOG(0, "INFO: Creating Device File [%s] mode=0%lo rdev=X%lX ", name, mode, rdev);
    // Made without permissions: the item's mode comes with its owner, so nobody opens the node before that.
    const mode_t made = type;
    for (int attempt = 1;; ++attempt) {
        if (mknod_utf(name, made, static_cast<dev_t>(_rdev)) == 0) {
            FCL_LOG(0, "INFO: Device File [%s] created with mode=0%lo rdev=X%lX ", name, mode, rdev);
            return true;
        }
        const int err = errno;
        if (attempt == 2) {
            FCL_LOG(0, "Error [%d] after creating ancestors of [%s] mode 0%lo rdev=X%lX", err, name, mode, rdev);
        } else if (err == ENOENT && _filename.find('/') == std::string::npos) {
            FCL_LOG(0, "Bad path [%s] mode 0%lo rdev=X%lX", name, mode, rdev);
        } else if (err == ENOENT) {
            if (CreateDirsIteratively(parentOf(_filename))) {
                continue;
            }
            FCL_LOG(0, "Error [%d] while creating ancestors of [%s] mode 0%lo rdev=X%lX", errno, name, mode, rdev);
        } else if (err == EEXIST) {
            // Something appeared at the name since it was looked at: it is not taken for the item's node.
            FCL_LOG(0, "Error [%d] while mknod [%s] mode 0%lo rdev=X%lX: the name was taken meanwhile", err, name, mode,
                    rdev);
        } else {
            FCL_LOG(0, "Error [%d] while mknod [%s] mode 0%lo rdev=X%lX", err, name, mode, rdev);
        }
        _ownerFactory->setErrCode(err == ENOSPC ? fclitem::kDiskFull : fclitem::kCreateFailed);
        errno = err;
        return false;
    }
}

int FsRestoreSpecial::addDataToBuffer(const char* data, int length) {
    if (!_buffer) {
        _blockSize = static_cast<int>(_statBuf.st_blksize);
        if (_statReturn != 0 || _blockSize <= 0) {
            _blockSize = kDefaultDeviceBlock;
        }
        _bufferSize = _blockSize <= kMinBufferSize ? kMinBufferSize : _blockSize;
        _buffer.reset(new (std::nothrow) char[static_cast<size_t>(_bufferSize)]);
        if (!_buffer) {
            _bufferSize = -1;
            return -1;
        }
        _bytesInBuffer = 0;
    }
    const int taken = length < _bufferSize - _bytesInBuffer ? length : _bufferSize - _bytesInBuffer;
    if (taken > 0) {
        std::memcpy(_buffer.get() + _bytesInBuffer, data, static_cast<size_t>(taken));
        _bytesInBuffer += taken;
    }
    return taken;
}

int FsRestoreSpecial::writeDataBuffer(bool final) {
    if (!_buffer) {
        return 0;
    }
    int count = _bytesInBuffer;
    if (!final) {
        count -= count % _blockSize;
    }
    if (count <= 0) {
        return 1;
    }
    const int result = FsRestoreUnixObject::writeData(_buffer.get(), count);
    if (result == 1) {
        std::memmove(_buffer.get(), _buffer.get() + count, static_cast<size_t>(_bytesInBuffer - count));
        _bytesInBuffer -= count;
    }
    return result;
}

int FsRestoreSpecial::writeData(void* buffer, int length) {
    // A node whose contents are not restored consumes its data unwritten.
    if (_openSpecialFile != 1 || _dontRestore != 0 || _hardLink != 0 || _dontRestoreStubWithGUID) {
        return 1;
    }
    const char* at = static_cast<const char*>(buffer);
    int left = length;
    while (left > 0) {
        const int taken = addDataToBuffer(at, left);
        if (taken < 0) {
            return 0;
        }
        at += taken;
        left -= taken;
        if (_bytesInBuffer / _blockSize >= 1 && writeDataBuffer(false) != 1) {
            return 0;
        }
    }
    return 1;
}

int FsRestoreSpecial::closeObject() {
    int result = 1;
    if (dataInBuffer() > 0) {
        result = writeDataBuffer(true);
    }
    if (FsRestoreUnixObject::closeObject() == 0) {
        result = 0;
    }
    return result;
}
