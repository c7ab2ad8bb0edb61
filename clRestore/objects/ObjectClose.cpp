// The common close of every item: the final hole, the access-control lists that follow the data, the Finder
// information of an Apple item, the held-back mode and the times (by descriptor, or by path without following a
// link), the close itself, the ufsdump side name and the AppleDouble companion. An item that failed before its close
// gets neither its times nor its held-back mode, and its partial file goes when the job removes partial files. A
// close that fails always leaves an id in the factory's error code, so that the item is never recorded as restored.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/RestoreIdentity.h"
#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/AppleDouble.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/events/EvEvent.h"
#include "platform/files/FileCalls.h"
#include "platform/files/UniqueFd.h"
#include "platform/hsm/CXHSMLowLevelCtx.h"
#include "platform/log/LogWriter.h"

namespace {

constexpr mode_t kSetIdBits = 06000;
constexpr mode_t kSetIdAndSticky = 07000;
constexpr int kUfsDumpCandidates = 1024;
constexpr int kUfsRestoreEvent = 0x18000030;
constexpr uint32_t kHfsNoFinderInfo = 0x08;

// Raised once per process.
int ufsRestoreEventIssued = 0;

bool isType(const FsRestoreUnixObject& item, mode_t type) {
    return (item._mode & S_IFMT) == type;
}

// The item failed before its close: an earlier step failed (a conflict name is the only id a restored item
// carries), or its data did not all arrive: the engine said so, or the job is stopping. An item cut short gets the
// id of failed data, so that its result never says restored.
bool failedBeforeClose(FsRestoreUnixObject& item) {
    const unsigned long code = item._ownerFactory->getErrCode();
    if (code != 0 && code != fclitem::kConflictName) {
        return true;
    }
    FclRestore* job = item._ownerFactory->getJob();
    const bool stopping =
        job != nullptr && (job->isFatalError() || job->_terminateReadPipeline != 0 || job->_stopReceived != 0);
    if (!item._dataIncomplete && !stopping) {
        return false;
    }
    item._ownerFactory->setErrCode(fclitem::kWriteFailed);
    return true;
}

// Only a file the item opened holds its partial data: a name never opened may still be a user's file that the
// overwrite rules would have kept. Asked before the descriptor goes.
bool removesPartialFile(FsRestoreUnixObject& item) {
    FclRestore* job = item._ownerFactory->getJob();
    return isType(item, S_IFREG) && item.isItemOpen() && job != nullptr && job->_removeFileOnError;
}

// The mode of the item with its held-back bits; set-id bits only when the item has its owner, or they would grant
// the restoring user's rights.
mode_t finalMode(const FsRestoreUnixObject& item) {
    mode_t mode = item._mode & 07777;
    if (!item._ownerSet) {
        mode &= ~kSetIdBits;
    }
    return mode;
}

int setTimesByDescriptor(int fd, time_t atime, time_t mtime) {
    const struct timespec times[2] = {{atime, 0}, {mtime, 0}};
    return futimens(fd, times);
}

// Times of the object at `path` itself: a link found there (the item is never one here) is refused, never
// followed; only a directory kept as the user's link is reached through it.
int setTimesByPath(const std::string& path, time_t atime, time_t mtime, bool throughLink) {
    wzfiles::UniqueFd held(open_utf(path.c_str(), O_PATH | O_CLOEXEC | (throughLink ? O_DIRECTORY : O_NOFOLLOW)));
    struct stat st;
    if (!held.valid() || fstat(held.get(), &st) != 0) {
        return -1;
    }
    if (S_ISLNK(st.st_mode)) {
        errno = ELOOP;
        return -1;
    }
    const struct timespec times[2] = {{atime, 0}, {mtime, 0}};
    if (utimensat(held.get(), "", times, AT_EMPTY_PATH) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -1;
    }
    char proc[32];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", held.get());
    return utimensat(AT_FDCWD, proc, times, 0);
}

void closeQuietly(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

// Writes the zero byte that gives a file ending in a hole its length.
// A hole that runs to the end of the file is a seek past the last write: the file takes its size from the position.
// Setting the size leaves the last block a hole too, where writing a zero byte there would allocate it.
bool setSizeAtFinalHole(FsRestoreUnixObject& item) {
    const off64_t end = lseek64(item._handle, 0, SEEK_CUR);
    if (end < 0) {
        FCL_LOG(0, "Error [%d] while lseek [%s] before close", errno, item._filename.c_str());
        return false;
    }
    if (ftruncate64(item._handle, end) != 0) {
        FCL_LOG(0, "Error [%d] while setting the size of [%s] to %lld", errno, item._filename.c_str(),
                static_cast<long long>(end));
        return false;
    }
    return true;
}

bool writeFinderInfo(FsRestoreUnixObject& item) {
    unsigned char block[FsRestoreUnixObject::kHfsAttrBlockSize];
    if ((item.isFromHFS & kHfsNoFinderInfo) != 0 || _fsetxattr_func == nullptr || !readAttributeBlock(item, block)) {
        return true;
    }
    const size_t length = FsRestoreUnixObject::kHfsAttrBlockSize - kFinderInfoOffset;
    const int rc = _fsetxattr_func(item._handle, "com.apple.FinderInfo", block + kFinderInfoOffset, length, 0, 0);
    if (rc == 0 || (rc < 0 && errno == EAGAIN)) {
        return true;
    }
    FCL_LOG(0, "failed to write Finder Info data for '%s'. toWrite %lu ret %d errno %d.", item._filename.c_str(),
            static_cast<unsigned long>(length), rc, errno);
    item.handleError(rc < 0 ? static_cast<unsigned long>(errno) : static_cast<unsigned long>(-rc));
    return false;
}

// Kept, a partial file must look older than any copy, or a restore that keeps newer files would leave it as it is.
void markKeptPartialFile(FsRestoreUnixObject& item) {
    if (isType(item, S_IFREG)) {
        setTimesByDescriptor(item._handle, 0, 0);
    }
}

void removePartialFile(FsRestoreUnixObject& item) {
    FCL_LOG(0, "Removing file %s on error", item._filename.c_str());
    if (item.Unlink(item._filename) != 0 && errno != ENOENT) {
        FCL_ERROR("Error [%d] while removing the partial file [%s]", errno, item._filename.c_str());
    }
}

}  // namespace

int FsRestoreUnixObject::closeObject() {
    if (_dontRestore != 0 || _hardLink != 0 || _dontRestoreStubWithGUID) {
        return 1;
    }
    const bool failed = failedBeforeClose(*this);
    const bool removePartial = failed && removesPartialFile(*this);
    const bool isLink = isType(*this, S_IFLNK);
    // A directory's open left it closed to group and others (the user's directory behind a kept link excepted).
    const bool heldBack =
        (_mode & kSetIdAndSticky) != 0 || _ibrixRestore || (isType(*this, S_IFDIR) && !keptDirectoryLink());
    bool timesDone = false;
    int result = 1;
    auto stepFailed = [&] {
        _ownerFactory->setErrCode(fclitem::kCloseStepFailed);
        result = 0;
    };
    if (failed) {
        FCL_LOG(1, "[%s] failed before its close: its times and held-back mode are not applied", _filename.c_str());
    }

    if (_hsmEnabled && _hsmOpened && _holePending != 0) {
        _holePending = 0;
        _hsm = _hsmCtx != nullptr ? _hsmCtx->getByFileName(_filename.c_str()) : nullptr;
        const char zero = 0;
        if (_hsm == nullptr) {
            FCL_LOG(0, "Failed to create DMR object for %sprobably we are not supporting it as DMR now.",
                    _filename.c_str());
        } else if (_hsm->seekFileTrans(-1, SEEK_CUR) < 0) {
            FCL_LOG(0, "seekFileTrans(%s, -1) failed: %s", _realName.c_str(), _hsm->getLastError().c_str());
            stepFailed();
        } else if (_hsm->writeFileTrans(&zero, 1, 0) < 0) {
            FCL_LOG(0, "writeFileTrans(%s, 1) failed: %s", _realName.c_str(), _hsm->getLastError().c_str());
            stepFailed();
        }
    }

    if (_handle == -1) {
        ProcessACL(true);
        const int mode = static_cast<int>(finalMode(*this));
        // Through a kept link the held-back mode goes to the directory the link reaches.
        if (!isLink && heldBack && !failed &&
            (keptDirectoryLink() ? ChmodFile(_filename, mode) : lChmodFile(_filename, mode)) != 0) {
            FCL_LOG(0, "Error [%d] while chmod [%s] (mode %lu)", errno, _filename.c_str(),
                    static_cast<unsigned long>(_mode));
            stepFailed();
        }
    } else {
        const bool holeAtEnd = _holePending != 0;
        _holePending = 0;
        if (holeAtEnd && !failed && !setSizeAtFinalHole(*this)) {
            stepFailed();
        }
        ProcessACL(true);
        if (!failed && !writeFinderInfo(*this)) {
            const bool removeFailed = removesPartialFile(*this);
            if (!removeFailed) {
                markKeptPartialFile(*this);
            }
            closeQuietly(_handle);
            closeQuietly(_rsrchandle);
            if (removeFailed) {
                removePartialFile(*this);
            }
            return 0;
        }
        if (failed) {
            if (!removePartial) {
                markKeptPartialFile(*this);
            }
        } else if (!isLink) {
            if (setTimesByDescriptor(_handle, _atime, _mtime) == 0 || g_impersonated) {
                timesDone = true;
            } else {
                // Tried again by path below.
                FCL_LOG(0, "Error [%d] while updating file times for [%s]", errno, _filename.c_str());
            }
            if (heldBack && FChmodFile(_handle, static_cast<int>(finalMode(*this))) != 0) {
                FCL_LOG(0, "Error [%d] while fchmod [%s] (mode %lu)", errno, _filename.c_str(),
                        static_cast<unsigned long>(_mode));
                stepFailed();
            }
        }
        const int closed = close(_handle);
        _handle = -1;
        if (closed != 0) {
            FCL_LOG(0, "Error [%d] while closing [%s]", errno, _filename.c_str());
            stepFailed();
        } else if (!failed && _ownerFactory->isUfsDumpFile(_flags2) && ufsRestore() == 0) {
            stepFailed();
        }
        if (!_ownerFactory->finalizeFile(result != 0 && !failed) && result != 0 && !failed) {
            stepFailed();
        }

        if (isFromHFS != 0 && _rsrchandle >= 0) {
            if (!failed && !_forkStreams.empty()) {
                writeAppleDouble(*this);
            }
            if (!failed && setTimesByDescriptor(_rsrchandle, _atime, _mtime) != 0 && !g_impersonated) {
                FCL_LOG(0, "Error [%d] while updating file times for [%s]", errno, _rsrcFilename);
                stepFailed();
            }
            const int rsrcClosed = close(_rsrchandle);
            _rsrchandle = -1;
            if (rsrcClosed != 0) {
                FCL_LOG(0, "Error [%d] while closing [%s (rsrc)]", errno, _filename.c_str());
                stepFailed();
            }
        }
    }

    if (failed) {
        if (removePartial) {
            removePartialFile(*this);
        }
        return 0;
    }
    if (isLink) {
        return result;
    }

    if (_hsmEnabled) {
        _hsm = _hsmCtx != nullptr ? _hsmCtx->getByFileName(_filename.c_str()) : nullptr;
        if (_hsm == nullptr && (_hsmCtx == nullptr || _hsmCtx->firstMissingObject())) {
            FCL_LOG(0, "Failed to create DMR object for %s, Probably we are not supporting it as DMR now.",
                    _filename.c_str());
        }
    }
    if (_hsmEnabled && _hsmOpened && !_isStub && _hsm != nullptr) {
        if (_hsm->setAMCTime(_filename.c_str(), _atime, _mtime, _ctime) < 0) {
            FCL_LOG(0, "setAMCTime() failed on %s with error: %s", _filename.c_str(), _hsm->getLastError().c_str());
            stepFailed();
            return 0;
        }
    } else if (!timesDone && setTimesByPath(_filename, _atime, _mtime, keptDirectoryLink()) != 0 && !g_impersonated) {
        FCL_LOG(0, "Error [%d] while updating file times for [%s]", errno, _filename.c_str());
        stepFailed();
    }
    return result;
}

int FsRestoreUnixObject::ufsRestore() {
    for (int n = 0; n < kUfsDumpCandidates; ++n) {
        std::string candidate = _filename + ".ufsdump";
        if (n != 0) {
            candidate += "." + std::to_string(n);
        }
        if (access_utf(candidate.c_str(), F_OK) == 0) {
            continue;
        }
        if (rename_utf(_filename.c_str(), candidate.c_str()) != 0) {
            FCL_LOG(0, "rename %s to %s failed, errno %d", _filename.c_str(), candidate.c_str(), errno);
            continue;
        }
        FCL_LOG(0, "ufsdump format file [%s] is left on disk - ufsrestore not supported on this platform.",
                candidate.c_str());
        if (ufsRestoreEventIssued == 0) {
            ufsRestoreEventIssued = 1;
            _event->MajorEvent(kUfsRestoreEvent, 0, 0);
        }
        return 1;
    }
    FCL_LOG(0, "rename %s too many retries - giving up", _filename.c_str());
    return 0;
}
