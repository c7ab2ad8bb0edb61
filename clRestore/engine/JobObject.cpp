// The job object's construction, destruction and small accessors.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <new>

#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/engine/FsRestoreRestart.h"
#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/objects/FsRestoreObject.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/support/FsRestoreStatistics.h"
#include "clRestore/support/WzSemaphore.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/archive/RestoreArbiter.h"
#include "platform/events/EvEvent.h"
#include "platform/files/CQiDirectory.h"
#include "platform/files/FileCalls.h"
#include "platform/hsm/CXHSMLowLevelCtx.h"
#include "platform/hsm/CXHSMServiceHelper.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/results/StoreResults.h"
#include "platform/seek/SeekDecision.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/threads/WzThread.h"
#include "protocol/FsrMessages.h"

std::string FclRestore::m_maHostName;
std::atomic<bool> FclRestore::suddenExitFlag{false};
bool FclRestore::m_mysqlIndexFetched = false;
bool FclRestore::m_ignoreMsgsForRevert = false;
bool g_bStubWithNoData = false;

namespace {

long long systemClock() {
    return static_cast<long long>(time(nullptr));
}

// How long finalize and the destructor wait, per thread, for a worker that was told to stop.
constexpr unsigned long kDefaultThreadJoinBoundMs = 30000;

template <typename T>
void deleteAndClear(T*& p) {
    delete p;
    p = nullptr;
}

void freeAndClear(char*& p) {
    delete[] p;
    p = nullptr;
}

}  // namespace

FclRestore::FclRestore()
    : _network(nullptr),
      _registrationName(),
      _clientName(nullptr),
      _jobResultsDir(nullptr),
      _initData(nullptr),
      _initDataVer2(nullptr),
      _setParams(nullptr),
      _srcPaths(nullptr),
      _fclRestoreUnix(nullptr),
      _hsmCtx(nullptr),
      _destHsm(nullptr),
      _event(nullptr),
      _jobCtrlClient(nullptr),
      _rstJobClient(nullptr),
      _rstJobClientReady(0),
      _arbiter(nullptr),
      _perfCounter(nullptr),
      _msgQueue(nullptr),
      _freeSlots(nullptr),
      _msgsAvailable(nullptr),
      _prThread(nullptr),
      _plThread(nullptr),
      _prThreadRunning(0),
      _plThreadRunning(0),
      _terminateReceiveMsgs(0),
      _terminateProcessMsgs(0),
      _terminateReadPipeline(0),
      _fatalError(0),
      _stopReceived(0),
      _failureReason(),
      _archive(nullptr),
      _headSession(nullptr),
      _headSessionLastUse(0),
      _keepAliveInterval(1800),
      _archiveOpen(0),
      _failOnSeekFailure(0),
      _archFileAppType(0),
      _crossMachine(false),
      _currentChunkId(0),
      _seekItemCount(0),
      _restartFileNum(0),
      _seekDecision(nullptr),
      _pendingErrorReports(0),
      _waitArchiveClosedPending(0),
      _errorReportDeadline(0),
      _factory(nullptr),
      _ro(nullptr),
      _currFileSize(0),
      _currFileCompSize(0),
      _restoreItem(nullptr),
      _removeFileOnError(true),
      m_bIsFileCountable(true),
      _throttleProgress(0),
      _holeThreshold(-1),
      restoreDataInRawDev(0),
      _rawDevAsRegularFile(0),
      _rawDevFound(0),
      m_docRestore(false),
      _delayOpen(false),
      _savedOptHdr(nullptr),
      _savedOptHdrLen(0),
      _delayOpenVersion(0),
      _exchangeFlag(false),
      bIgnoreOptHeaders(false),
      bDelayOpenObject(false),
      HLRO(nullptr),
      _CXHeaderCount(0),
      _statistics(nullptr),
      _results(nullptr),
      _rawResultsFile(nullptr),
      _rawResultsMode(0),
      _restart(nullptr),
      _itemFailureCausePending(false),
      _stubsNotRestored(false),
      _partialSuccess(0),
      _impersonating(0),
      _siloJob(false),
      _personalWorkstation(false),
      _caseSensitive(true),
      _logImageStreams(false),
      _restoreStartTime(0),
      _imgClusterSize(0),
      _imgSectorSize(0),
      _imgTotalFiles(0),
      _restoreFilesReady(false),
      _clock(systemClock),
      _threadJoinBoundMs(kDefaultThreadJoinBoundMs),
      _multiStreamMode(0),
      _proxyRestore(nullptr),
      _useProxyItemMessages(false),
      _proxyClientDestination(false),
      _destClientId(0),
      _suppressFailure(0) {
    memset(static_cast<void*>(&_savedFileHeader), 0, sizeof _savedFileHeader);
    memset(&_savedPreHeader, 0, sizeof _savedPreHeader);

    // The stub driver and the file-system data managers are probed once; without either the context works
    // driverless.
    CXHSMServiceHelper::setUseCache(true);
    const int mode = (!CXHSMServiceHelper::IsFSFDriverLoaded() && IsFSDMInstalled() == 0) ? 2 : 1;
    _hsmCtx = new (std::nothrow) CXHSMLowLevelCtx(mode);
    if (_hsmCtx == nullptr) {
        throw WzException("FclRestore", "Failed to create DMR(CXHSMLowLevelCtx).", __FILE__, __LINE__, -1);
    }
    try {
        _fclRestoreUnix = new FclRestoreUNIX(this);
    } catch (...) {
        deleteAndClear(_hsmCtx);
        throw;
    }
    g_bStubWithNoData = false;
}

FclRestore::~FclRestore() {
    // A worker thread still running uses nearly everything below; it cannot be stopped from outside safely, so
    // its job's resources are left in place rather than freed under it.
    if (!joinWorkerThreads(_threadJoinBoundMs)) {
        FCL_ERROR("A worker thread of job %lld still runs: the job's resources are left in place", getJobID());
        return;
    }

    // Only a destination the plug-in made goes with the job: one that existed before is the user's.
    if (_fclRestoreUnix != nullptr && !_fclRestoreUnix->_restoreToVMCreatedDest.empty()) {
        CQiDirectory::Remove(_fclRestoreUnix->_restoreToVMCreatedDest.c_str(), true, false);
    }

    deleteAndClear(_freeSlots);
    deleteAndClear(_msgsAvailable);

    if (_initData != nullptr) {
        freeAndClear(_initData->subclientName);
        freeAndClear(_initData->reserved13);
        freeAndClear(_initData->reserved14);
        freeAndClear(_initData->sourceMachine);
        freeAndClear(_initData->destMachine);
        freeAndClear(_initData->suffixTag);
        freeAndClear(_initData->restoreSuffix);
        freeAndClear(_initData->reservedString);
        deleteAndClear(_initData);
    }
    freeAndClear(_clientName);
    freeAndClear(_jobResultsDir);
    if (_setParams != nullptr) {
        freeAndClear(_setParams->destDir);
    }

    if (HLRO != nullptr && HLRO != _ro) {
        HLRO->closeObject();
        delete HLRO;
    }
    HLRO = nullptr;
    if (_ro != nullptr) {
        std::string path = _ro->getTranslatedPathname();
        _ro->closeObject();
        deleteAndClear(_ro);
        if (_removeFileOnError) {
            FCL_LOG(0, "removing file [%s] on error", path.c_str());
            unlink_utf(path.c_str());
        }
    }

    // Messages still queued belong to the queue.
    if (_msgQueue != nullptr) {
        while (!_msgQueue->empty()) {
            releaseReceivedMessage(_network, _msgQueue->front());
            _msgQueue->pop();
        }
    }
    deleteAndClear(_msgQueue);
    releaseImagePieces();
    deleteAndClear(_statistics);
    if (_restoreItem != nullptr) {
        freeAndClear(_restoreItem->name);
        deleteAndClear(_restoreItem);
    }
    deleteAndClear(_results);
    deleteAndClear(_factory);
    deleteAndClear(_archive);
    deleteAndClear(_jobCtrlClient);
    deleteAndClear(_restart);
    // Before the parameters: they hold the array's count.
    releaseSourcePaths();
    deleteAndClear(_setParams);
    deleteAndClear(_initDataVer2);
    deleteAndClear(_event);
    deleteAndClear(_arbiter);
    deleteAndClear(_prThread);
    deleteAndClear(_plThread);
    deleteAndClear(_rstJobClient);
    deleteAndClear(_hsmCtx);
    deleteAndClear(_seekDecision);
    deleteAndClear(_fclRestoreUnix);
    // The worker threads have ended: no recorder can be writing to the raw file any more.
    if (_rawResultsFile != nullptr) {
        fflush(_rawResultsFile);
        fclose(_rawResultsFile);
        _rawResultsFile = nullptr;
    }
}

bool FclRestore::joinWorkerThreads(unsigned long boundMs) {
    bool ended = true;
    struct Worker {
        WzThread* thread;
        const char* name;
    };
    const Worker workers[] = {{_plThread, "reader"}, {_prThread, "processing"}};
    _terminateProcessMsgs = 1;
    _terminateReadPipeline = 1;
    for (const Worker& worker : workers) {
        if (worker.thread == nullptr) {
            continue;
        }
        int rc = worker.thread->timedJoin(boundMs);
        // ESRCH: joined before, or never started.
        if (rc == ETIMEDOUT) {
            FCL_ERROR("The %s thread did not end within %lu ms", worker.name, boundMs);
            ended = false;
        }
    }
    return ended;
}

int FclRestore::setMaHostname(std::string name) {
    m_maHostName = name;
    return 0;
}

bool FclRestore::ignoreSynthFullErrors() {
    return false;
}

void FclRestore::SaveDestDirBasePath(char*) {}

unsigned long FclRestore::getAppType() const {
    return _initData != nullptr ? _initData->appType : 0;
}

long long FclRestore::getJobID() const {
    return _initData != nullptr ? _initData->jobId : -1;
}

std::string FclRestore::getDestPath() const {
    if (_setParams == nullptr || _setParams->destDir == nullptr) {
        return std::string();
    }
    return std::string(_setParams->destDir);
}

// Asked only by stub items, on the reader thread: a job without stubs never asks for the storage-management object
// of its destination, which a machine without a managed file system cannot give.
bool FclRestore::isStubRestoreSupported(std::string destination) {
    const auto known = _stubRestoreSupported.find(destination);
    if (known != _stubRestoreSupported.end()) {
        return known->second;
    }
    bool supported = false;
    const unsigned long long options = _setParams != nullptr ? _setParams->options : 0;
    if (isUnixFileSystemAppType(getAppType()) && _hsmCtx != nullptr && _hsmCtx->getuseDriver() == 2 &&
        (options & FSR_OPT_OUT_OF_PLACE) != 0 && destination == getDestPath()) {
        if (_destHsm == nullptr) {
            _destHsm = _hsmCtx->getByFileName(destination.c_str());
            if (_destHsm == nullptr) {
                FCL_ERROR("Error creating DMR object for %s", destination.c_str());
            }
        }
        supported = _destHsm != nullptr && _destHsm->isStub(destination.c_str()) != 0;
    }
    _stubRestoreSupported[destination] = supported;
    return supported;
}
