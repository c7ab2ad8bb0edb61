// The pipeline reader: the thread that consumes one opened archive's stream, one typed buffer at a time, as the
// restore-as user, and cleans up an item the stream left open.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <string>

#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/ReaderIdentity.h"
#include "clRestore/engine/RestoreIdentity.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/stream/BufferDispatch.h"
#include "clRestore/stream/ItemEnd.h"
#include "clRestore/stream/OptionalHeaders.h"
#include "clRestore/support/PerfCounterTable.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/events/EvEvent.h"
#include "platform/files/FileCalls.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"

namespace {

// Consecutive failed reads at which the job fails.
constexpr int FCL_MAX_READ_ERRORS = 1;
constexpr int kErrMediaRead = 0x1700000a;
constexpr int kErrImpersonation = 0x1700003b;
// The virtual-server restore host's factory owns the objects it made.

void* threadResult(long value) {
    return reinterpret_cast<void*>(static_cast<intptr_t>(value));
}

void failOnRead(FclRestore& job) {
    job.noteReaderFailure();
    if (job._factory != nullptr) {
        job._factory->setErrCode(kErrMediaRead);
    }
    job.setFailureReason(
        "Restore: Failed to get messages from the media server. Possible causes: Services down on Client, media "
        "server or Hallmoor, lost network connectivity to Hallmoor or media server, out of process memory or "
        "handles, or corrupted install.");
    if (job._rstJobClientReady != 0) {
        *job._rstJobClient << "";
        job._rstJobClient->setPendingCause(kErrMediaRead);
    }
    job.terminateOnFatalError();
    job.sendMsgToFIR(FSR_MSG_FATAL_ERROR);
}

bool takeIdentity(FclRestore& job) {
    FCL_LOG(4, "impersonating with user uid [%d] gid [%d]", static_cast<int>(uPwd.pw_uid),
            static_cast<int>(uPwd.pw_gid));
    if (fclreader::takeRestoreUserIdentity()) {
        return true;
    }
    const int error = errno;
    FCL_ERROR("error [%d] impersonating with user [%s] uid [%d] gid [%d]", error, uName.c_str(),
              static_cast<int>(uPwd.pw_uid), static_cast<int>(uPwd.pw_gid));
    *job._event << error;
    job._event->MajorEvent(kErrImpersonation, 0, 0);
    job.setFailureReason("Restore: Error impersonating as user.");
    if (job._rstJobClientReady != 0) {
        *job._rstJobClient << error;
        job._rstJobClient->setPendingCause(kErrImpersonation);
    }
    job.terminateOnFatalError();
    return false;
}

// The stream stopped inside an item: its object is closed and, when the job removes partial files, the file it
// opened goes. A name it never opened may still be a user's file that the overwrite rules would have kept.
void closeItemLeftOpen(FclRestore& job, const CXFileHeader& hdr) {
    const std::string path = job._ro->getTranslatedPathname();
    const bool hostOwned = job.getAppType() == fclapps::kVirtualServerAppType && job._fclRestoreUnix->_useVsrstFactory;
    // An object made for a name that its real path was to replace has never been opened: closing it would apply
    // what the close applies to that name.
    const bool realPathNeverCame = fclstream::waitsForRealPath(job);
    const bool opened = !realPathNeverCame && holdsItemOpen(*job._ro);
    if (!hostOwned && !realPathNeverCame) {
        job._ro->closeObject();
    }
    if ((hdr.h_mode & 0x6000) != 0) {
        FCL_LOG(0, "Will not unlink [%s] since it is a device file", path.c_str());
    } else if (!opened) {
        FCL_LOG(0, "Will not unlink [%s] since it was never opened", path.c_str());
    } else if (job._removeFileOnError) {
        FCL_LOG(0, "Removing file %s on error", path.c_str());
        unlink_utf(path.c_str());
    }
    if (!hostOwned) {
        delete job._ro;
        job._ro = nullptr;
    }
}

}  // namespace

void* FclRestore::readPipeline() {
    if (_multiStreamMode != 0) {
        FCL_LOG(2, "Thread-level logs of job %lld go to the job's log", getJobID());
    }
    if (_factory == nullptr) {
        // No item of this stream could get a restore object: reading it would restore nothing and report success.
        FCL_ERROR("No restore-object factory: the archive's stream is not read");
        if (getFailureReason().empty()) {
            setFailureReason("Restore: The restore could not be prepared; nothing was restored from the archive.");
        }
        terminateOnFatalError();
        _plThreadRunning = 0;
        return threadResult(-1);
    }
    _factory->initializeThread();
    if (_impersonating != 0 && !takeIdentity(*this)) {
        _plThreadRunning = 0;
        return threadResult(-1);
    }

    fclstream::ReaderRecords records;
    initializePreHdr(&records.prehdr);
    int failedReads = 0;
    while (_terminateReadPipeline == 0) {
        void* buf = nullptr;
        unsigned long len = 0;
        unsigned long type = 0;
        if (readOneBuffer(&buf, &len, &type) == 0) {
            if (++failedReads == FCL_MAX_READ_ERRORS) {
                failOnRead(*this);
            } else {
                FCL_ERROR("Error while reading from pipeline");
            }
            continue;
        }
        if (buf == nullptr) {
            if (_stopReceived != 0) {
                // After a stop the restore head streams nothing more, not even the end of the archive: what came
                // was taken, and the item left open is closed below as one that never ended.
                FCL_LOG(0, "The job was stopped and the stream is idle: the reader ends");
                break;
            }
            continue;
        }
        failedReads = 0;
        fclstream::dispatchBuffer(*this, records, buf, static_cast<int>(len), type);
        FreeBufArgs_t args;
        _archive->freeBuffer(&args, nullptr);
        // A long item's data must not hold back the reports of the items before it.
        flushItemReports(true);
    }

    // The object of an item named by its hard-link names is the item's even before it takes the data.
    fclstream::endLinkItemCutShort(*this);
    if (_ro != nullptr) {
        closeItemLeftOpen(*this, records.hdr);
    }
    flushItemReports(false);
    if (_impersonating != 0) {
        fclreader::giveBackOriginalIdentity();
    }
    if (!suddenExitFlag && _factory != nullptr) {
        _factory->terminateThread();
    }
    FCL_LOG(0, "Exiting the readPipeline thread...");
    _plThreadRunning = 0;
    return threadResult(0);
}

int FclRestore::readOneBuffer(void** buf, unsigned long* len, unsigned long* type) {
    static const char kReadLabel[] = "FclRestore::readOneBuffer";
    _perfCounter.StartPerfCounterPair(kReadLabel, kPerfNetworkRead, kPerfReadPipeline);
    ReadBufArgs_t args;
    // The item reports that wait go out while the reader waits for the stream.
    args.beforeWait = [](void* job) { static_cast<FclRestore*>(job)->flushItemReports(false); };
    args.context = this;
    ReadBufRet_t ret;
    if (_archive->readBuffer(&args, &ret) == 0) {
        _perfCounter.CancelPerfCounterPair(kReadLabel, kPerfNetworkRead, kPerfReadPipeline);
        FCL_ERROR("WZArchive returned read error, %d", ret.errorCode);
        return 0;
    }
    if (ret.buffer == nullptr) {
        _perfCounter.CancelPerfCounterPair(kReadLabel, kPerfNetworkRead, kPerfReadPipeline);
    } else if (ret.payloadLength > static_cast<uint32_t>(INT_MAX)) {
        // Handlers take the length as an int: a longer payload cannot be handed to them, so the stream is broken.
        _perfCounter.CancelPerfCounterPair(kReadLabel, kPerfNetworkRead, kPerfReadPipeline);
        FreeBufArgs_t freeArgs;
        _archive->freeBuffer(&freeArgs, nullptr);
        FCL_ERROR("WZArchive returned read error, a buffer of %u bytes", ret.payloadLength);
        return 0;
    } else {
        _perfCounter.StopPerfCounterPair(kReadLabel, kPerfNetworkRead, 0, kPerfReadPipeline, ret.payloadLength);
    }
    *type = ret.bufType;
    *buf = ret.buffer;
    *len = ret.payloadLength;
    return 1;
}
