// The job's identity from FSR_MSG_INIT_DATA and FSR_MSG_INIT_DATA_VER2.
#include <errno.h>

#include <cstring>
#include <new>

#include "clRestore/engine/AppTypes.h"
#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/log/LogWriter.h"

namespace {

constexpr char kVirtualServerProcess[] = "vsvrst.exe";

// A heap copy owned by the job's record; `absentAsEmpty` gives "" for a null text, otherwise null stays null.
bool copyText(const char* text, bool absentAsEmpty, char** out) {
    *out = nullptr;
    if (text == nullptr && !absentAsEmpty) {
        return true;
    }
    const char* source = text != nullptr ? text : "";
    size_t n = strlen(source) + 1;
    *out = new (std::nothrow) char[n];
    if (*out == nullptr) {
        return false;
    }
    memcpy(*out, source, n);
    return true;
}

}  // namespace

bool FclRestore::OnMsgInitData(FSRInitData* rec) {
    if (rec == nullptr || _initData == nullptr) {
        return false;
    }
    // The names come from the wire; a job without them has no identity to report under.
    const char* missing = rec->sourceMachine == nullptr   ? "source machine"
                          : rec->destMachine == nullptr   ? "destination machine"
                          : rec->subclientName == nullptr ? "subclient name"
                                                          : nullptr;
    if (missing != nullptr) {
        FCL_ERROR("The init data has no %s", missing);
        return false;
    }
    _initData->zendrelNumber = rec->zendrelNumber;
    _initData->appNumber = rec->appNumber;
    _initData->appType = rec->appType;
    _initData->copyPrecedence = rec->copyPrecedence;
    _initData->reserved4 = rec->reserved4;
    _initData->archiveSequence = rec->archiveSequence;
    _initData->jobId = rec->jobId;
    _initData->numFiles = rec->numFiles;

    const bool copied = copyText(rec->subclientName, false, &_initData->subclientName) &&
                        copyText(rec->sourceMachine, false, &_initData->sourceMachine) &&
                        copyText(rec->destMachine, false, &_initData->destMachine) &&
                        copyText(rec->reserved13, true, &_initData->reserved13) &&
                        copyText(rec->reserved14, true, &_initData->reserved14) &&
                        copyText(rec->suffixTag, false, &_initData->suffixTag) &&
                        copyText(rec->restoreSuffix, false, &_initData->restoreSuffix) &&
                        copyText(rec->reservedString, false, &_initData->reservedString);
    if (!copied) {
        FCL_ERROR("Could not alloc memory for the init data");
        return false;
    }

    FCL_LOG(2, "isProxyClientDestination %d, destMach:[%s] destClientID:%lu appNumber:%lu:%lu",
            _proxyClientDestination ? 1 : 0, _initData->destMachine, _destClientId, _initData->zendrelNumber,
            _initData->appNumber);
    FCL_LOG(0, "SourceMachine:[%s], DestinationMachine[%s]", _initData->sourceMachine, _initData->destMachine);

    CQiError error = _fclRestoreUnix->CreateSyncPathMapper(static_cast<unsigned long>(_initData->jobId));
    if (error.IsError()) {
        FCL_ERROR("%s", error.AsString().c_str());
        return false;
    }
    if (_fclRestoreUnix->IsSyncRestore()) {
        FCL_LOG(0, "SYNC_RESTORE initialized.");
    } else {
        FCL_LOG(3, "This restore is not a SYNC_RESTORE");
    }
    _fclRestoreUnix->CheckIfRefCopyRestore(_initData);

    if (_initData->reservedString != nullptr) {
        error = _fclRestoreUnix->ParseInitDataReservedString(_initData->reservedString);
        if (error.IsError()) {
            FCL_ERROR("%s", error.AsString().c_str());
            return false;
        }
        if (IsHadoopRestore()) {
            _holeThreshold = -1;
        }
    }

    // A host whose short name is a leading part of the virtual-server restore process's name builds that
    // process's factory.
    const char* process = program_invocation_short_name;
    const size_t length = strlen(process);
    const size_t checked = sizeof kVirtualServerProcess - 1;
    FCL_LOG(2, "process name [%s][%zu] - check [%s][%zu]", process, length, kVirtualServerProcess, checked);
    _fclRestoreUnix->_useVsrstFactory = length <= checked && strncmp(process, kVirtualServerProcess, length) == 0;
    FCL_LOG(2, "use vsvrstfactory [%s]", _fclRestoreUnix->_useVsrstFactory ? "true" : "false");
    return true;
}

bool FclRestore::OnMsgInitDataVer2(FSRInitDataVer2* rec) {
    delete _initDataVer2;
    _initDataVer2 = new (std::nothrow) FSRInitDataVer2();
    if (_initDataVer2 == nullptr) {
        return false;
    }
    if (rec == nullptr) {
        return true;
    }
    _initDataVer2->srcClientId = rec->srcClientId;
    _initDataVer2->dstClientId = rec->dstClientId;
    _initDataVer2->reserved3 = rec->reserved3;
    _initDataVer2->backupType = rec->backupType;
    _initDataVer2->restoreType = rec->restoreType;
    _initDataVer2->snapRestore = rec->snapRestore;

    if (getAppType() == fclapps::kVirtualServerAppType && _setParams != nullptr) {
        static const unsigned long kBackupTypeBits[] = {0x2000, 0x4000, 0x8000};
        if (rec->backupType < 3) {
            _setParams->options |= kBackupTypeBits[rec->backupType];
        }
    }
    if (rec->snapRestore != 0 && rec->backupType == 2 && rec->restoreType == 0) {
        FCL_LOG(0, "This is file level snap restore from disk backup.");
    } else {
        FCL_LOG(2,
                "This is not a file level snap restore from disk backup SnapRestore=[%lu] bkpType=[%lu] "
                "rstType=[%lu]",
                rec->snapRestore, rec->backupType, rec->restoreType);
    }
    return true;
}
