// The job object's forwarders to the services of its Unix companion, for the parts of the engine that hold only the
// job. Each answers its default when the job has no companion.
#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/FclRestoreUNIX.h"

bool FclRestore::IsSyncRestore() {
    return _fclRestoreUnix != nullptr && _fclRestoreUnix->IsSyncRestore();
}

CSyncRestorePathMapper* FclRestore::GetSyncPathMapper() {
    return _fclRestoreUnix != nullptr ? _fclRestoreUnix->GetSyncPathMapper() : nullptr;
}

void FclRestore::SetSyncPathMapper(CSyncRestorePathMapper* mapper) {
    if (_fclRestoreUnix != nullptr) {
        _fclRestoreUnix->SetSyncPathMapper(mapper);
    }
}

bool FclRestore::IsDoCrossPlatformStubCheck() {
    return _fclRestoreUnix != nullptr && _fclRestoreUnix->IsDoCrossPlatformStubCheck();
}

int FclRestore::GetSourceStubType() {
    return _fclRestoreUnix != nullptr ? static_cast<int>(_fclRestoreUnix->GetSourceStubType()) : 0;
}

void FclRestore::SetSourceStubType(int type) {
    if (_fclRestoreUnix != nullptr) {
        _fclRestoreUnix->SetSourceStubType(static_cast<_StubType>(type));
    }
}

bool FclRestore::ShouldAutoMountShare() {
    return _fclRestoreUnix != nullptr && _fclRestoreUnix->ShouldAutoMountShare();
}

bool FclRestore::ShouldAutoMountDestShare() {
    return _fclRestoreUnix != nullptr && _fclRestoreUnix->ShouldAutoMountDestShare();
}

bool FclRestore::ShouldAutoMountAnyShare() {
    return ShouldAutoMountShare() || ShouldAutoMountDestShare();
}

FileShareAutoMountManager* FclRestore::GetAutoMountManager() {
    return _fclRestoreUnix != nullptr ? _fclRestoreUnix->GetAutoMountManager() : nullptr;
}

void FclRestore::GetRestoreDestinationUIDGID(unsigned long long& uid, unsigned long long& gid) {
    if (_fclRestoreUnix != nullptr) {
        uid = _fclRestoreUnix->_destOwnerUid;
        gid = _fclRestoreUnix->_destOwnerGid;
    }
}

int FclRestore::GetUIDGIDForDestDir(const std::string& path, unsigned long long& uid, unsigned long long& gid) {
    if (_fclRestoreUnix != nullptr) {
        _fclRestoreUnix->GetUIDGIDForDestDir(path, uid, gid);
    }
    return 0;
}

int FclRestore::PickUIDGIDFromDestDir(const std::string& path) {
    if (_fclRestoreUnix != nullptr) {
        _fclRestoreUnix->PickUIDGIDFromDestDir(path, _fclRestoreUnix->_destOwnerUid, _fclRestoreUnix->_destOwnerGid);
    }
    return 0;
}

bool FclRestore::IsIphotoFileRestore() {
    return _fclRestoreUnix != nullptr && _fclRestoreUnix->_iphotoFileRestore;
}

void FclRestore::SetIphotoFileRestore(bool on) {
    if (_fclRestoreUnix != nullptr) {
        _fclRestoreUnix->_iphotoFileRestore = on;
    }
}

void FclRestore::SetIphotoPreviousImagePath(std::string path) {
    if (_fclRestoreUnix != nullptr) {
        _fclRestoreUnix->_iphotoPreviousImagePath = path;
    }
}

bool FclRestore::isValidIASPPath(const std::string& path) {
    return _fclRestoreUnix != nullptr && _fclRestoreUnix->isValidIASPPath(path);
}

bool FclRestore::isValidQSYSPath(const std::string& path) {
    return _fclRestoreUnix != nullptr && _fclRestoreUnix->isValidQSYSPath(path);
}

std::string FclRestore::stripPathLevlel(const std::string& path, int levels) {
    return _fclRestoreUnix != nullptr ? _fclRestoreUnix->stripPathLevlel(path, levels) : std::string();
}
