// Whether the job restores stubs written by a client of another platform, and what kind of stub that platform writes.
// Decided once per job, on the first question, from the setting, the job's second init record and the directory's
// operating-system ids of the two clients. A record or a client that cannot be found turns nothing into a failure:
// the check is off, or the source is taken for what its missing answers suggest.
#include <algorithm>
#include <iterator>
#include <string>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/clients/ClientDirectory.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/WZPlatformInfo.h"
#include "platform/tasks/EvTask.h"
#include "protocol/ApplicationTypes.h"

namespace {

const int kOsNas = 16;
const int kOsCelerra = 17;
const int kOsBluearc = 29;

// Operating-system ids of Unix clients, in ascending order.
const int kUnixOsIds[] = {6,   7,   14,  15,  20,  22,  23,  25,  26,  28,  30,  33,  36,  38,  40,  42,  43,
                          44,  47,  49,  50,  51,  52,  53,  54,  57,  58,  59,  60,  61,  68,  69,  70,  71,
                          72,  73,  74,  75,  76,  77,  78,  79,  80,  81,  82,  83,  85,  86,  87,  88,  89,
                          90,  91,  92,  95,  96,  97,  98,  100, 101, 102, 103, 104, 105, 106, 107, 108, 109,
                          110, 111, 112, 113, 114, 115, 201, 202, 203, 204, 205, 206, 207};
static_assert(sizeof(kUnixOsIds) / sizeof(kUnixOsIds[0]) == 81, "81 Unix operating-system ids");

bool isUnixOsId(int id) {
    return std::binary_search(std::begin(kUnixOsIds), std::end(kUnixOsIds), id);
}

// The client's operating-system id; 0 when the directory does not know it.
int osIdOf(long clientId) {
    int id = 0;
    WZClient(static_cast<unsigned long>(clientId)).getOperatingSystemId(id, nullptr);
    return id;
}

_StubType classifySource(long sourceId, int sourceOsId) {
    if (isUnixOsId(sourceOsId)) {
        FCL_LOG(0, "Source client is Unix");
        return STUB_TYPE_UNIX;
    }
    if (sourceOsId == kOsBluearc) {
        FCL_LOG(0, "Source client is Bluearc");
        return STUB_TYPE_NAS;
    }
    if (sourceOsId == kOsNas) {
        FCL_LOG(0, "Source client is NAS");
        return STUB_TYPE_NAS;
    }
    if (sourceOsId == kOsCelerra) {
        std::string cifsPath;
        ApplicationTypeFS(static_cast<unsigned long>(sourceId), fclapps::kFileSystemAppType)
            .getCeleraCIFSpath(cifsPath, nullptr);
        if (cifsPath.empty()) {
            FCL_LOG(0, "Source client is Celerra DMNas");
            return STUB_TYPE_NAS;
        }
        FCL_LOG(0, "Source client is Celerra");
        return STUB_TYPE_CELERRA;
    }
    bool nas = false;
    WZClient(static_cast<unsigned long>(sourceId)).isNASClient(nas, nullptr);
    if (nas) {
        FCL_LOG(0, "Source client is NAS");
        return STUB_TYPE_NAS;
    }
    FCL_LOG(0, "Source client is Windows");
    return STUB_TYPE_WIN_REPARSE_POINT;
}

}  // namespace

void FclRestoreUNIX::InitializeCrossPlatformStubCheckParams() {
    if (_stubCheckDecided) {
        return;
    }
    _stubCheckDecided = true;

    unsigned long disabled = 0;
    if (WZPlatformInfo().getNumber("FileSystemAgent", "nDisableCrossPlatformStubRestoreCheck", &disabled) &&
        disabled != 0) {
        FCL_LOG(0, "Cross platform stub check is disabled via regkey");
        _doStubCheck = false;
        return;
    }
    const FSRInitDataVer2* records = _owner != nullptr ? _owner->getInitDataVer2() : nullptr;
    if (records == nullptr) {
        FCL_LOG(0, "Cross platform stub check is disabled. No restore init data v2 found");
        _doStubCheck = false;
        return;
    }
    long sourceId = static_cast<long>(records->srcClientId);
    if (sourceId == 0) {
        const FSRInitData* initData = _owner->getInitData();
        if (initData == nullptr) {
            _doStubCheck = false;
            FCL_LOG(0, "Cross platform stub check is disabled. No restore init data found");
            return;
        }
        EvRstTask(static_cast<unsigned long long>(initData->jobId), 0, nullptr, false, false)
            .getSourceClientId(sourceId, nullptr);
    }
    if (records->dstClientId == static_cast<unsigned long>(sourceId)) {
        FCL_LOG(0, "Same machine restore. Cross platform stub check will not be done");
        _doStubCheck = false;
        return;
    }

    const int sourceOsId = osIdOf(sourceId);
    const int destOsId = osIdOf(static_cast<long>(records->dstClientId));
    FCL_LOG(0, "Source Client Id=[%ld], Destination Client Id=[%lu], SrcOSID=[%d], DestOSID=[%d]", sourceId,
            static_cast<unsigned long>(records->dstClientId), sourceOsId, destOsId);
    if (sourceOsId == destOsId) {
        _doStubCheck = false;
        FCL_LOG(0, "Source and Destination os id %d is same. Stub conversion check will not be done", sourceOsId);
        return;
    }
    _sourceStubType = classifySource(sourceId, sourceOsId);
}

bool FclRestoreUNIX::IsDoCrossPlatformStubCheck() {
    InitializeCrossPlatformStubCheckParams();
    return _doStubCheck && !_aclOnly;
}

_StubType FclRestoreUNIX::GetSourceStubType() {
    InitializeCrossPlatformStubCheckParams();
    return _sourceStubType;
}
