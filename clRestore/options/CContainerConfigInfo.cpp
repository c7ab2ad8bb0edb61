// The container-file table. Each operation runs whole under the table's lock; a path without a record is an
// ENOENT error naming it.
#include "clRestore/options/CContainerConfigInfo.h"

#include <cerrno>

#include "platform/log/LogWriter.h"
#include "platform/restorefiles/ExtentNameConverter.h"
#include "platform/support/FXErrorUtil.h"
#include "platform/support/FXString.h"

namespace {

CQiError noRecord(const FXCodeLocation& where, const std::string& path) {
    return FXErrorUtil::ErrorErrNo(where, ENOENT, "An entry does not exists for container file=%s", path.c_str());
}

// The container's path of an extent's path: every extent of a container maps to it, without a trailing "/".
std::string containerOf(const std::string& extentPath) {
    std::string name;
    unsigned long long extent = 0;
    ExtentNameConverter().GetFileNameAndExtentNumber(extentPath, name, extent);
    FXString::TrimRight(name, "/");
    return name;
}

}  // namespace

CContainerConfig* CContainerConfigInfo::find(const std::string& path) {
    auto it = m_containers.find(path);
    return it != m_containers.end() ? &it->second : nullptr;
}

CQiError CContainerConfigInfo::Insert(const CContainerConfig& record) {
    auto_lock hold(&m_tableLock, true);
    m_containers[record.m_filePath] = record;
    return CQiError();
}

CQiError CContainerConfigInfo::Query(const std::string& path, CContainerConfig& out) {
    auto_lock hold(&m_tableLock, true);
    const CContainerConfig* record = find(path);
    if (record == nullptr) {
        return noRecord(FX_HERE, path);
    }
    out = *record;
    return CQiError();
}

CQiError CContainerConfigInfo::Delete(const std::string& path) {
    auto_lock hold(&m_tableLock, true);
    if (m_containers.erase(path) == 0) {
        return noRecord(FX_HERE, path);
    }
    return CQiError();
}

CQiError CContainerConfigInfo::UpdateContainerItemWithIdxMeta(const std::string& path, unsigned long long totalExtents,
                                                              unsigned long long extentSize) {
    const std::string key = containerOf(path);
    auto_lock hold(&m_tableLock, true);
    CContainerConfig* record = find(key);
    if (record == nullptr) {
        return noRecord(FX_HERE, key);
    }
    record->m_totalExtents = totalExtents;
    record->m_extentSize = extentSize;
    return CQiError();
}

CQiError CContainerConfigInfo::ShouldRestoreCurrFileExtent(const std::string& path, bool& restore) {
    const std::string key = containerOf(path);
    auto_lock hold(&m_tableLock, true);
    const CContainerConfig* record = find(key);
    restore = record != nullptr && !record->m_anyExtentFailed && record->m_rc == 0;
    return CQiError();
}

CQiError CContainerConfigInfo::AreAllExtentsRestoredForContainerFile(const std::string& path, bool& result) {
    auto_lock hold(&m_tableLock, true);
    result = false;
    const CContainerConfig* record = find(path);
    if (record == nullptr) {
        return noRecord(FX_HERE, path);
    }
    result = !record->m_anyExtentFailed && record->m_rc == 0 && record->m_totalExtents == record->m_processedExtents;
    if (!result) {
        FCL_ERROR("ExtentRestore: Total(%llu) processed(%llu) AnyExtentFailure(%s) rc(%d)", record->m_totalExtents,
                  record->m_processedExtents, record->m_anyExtentFailed ? "YES" : "NO", record->m_rc);
    }
    return CQiError();
}

CQiError CContainerConfigInfo::GetMappedPathForHdrPath(const std::string& path, std::string& out) {
    auto_lock hold(&m_tableLock, true);
    const CContainerConfig* record = find(path);
    if (record == nullptr) {
        return noRecord(FX_HERE, path);
    }
    record->GetMappedPath(out);
    return CQiError();
}

CQiError CContainerConfigInfo::HandleRestoreContainerUpdate(const std::string& path, int rc) {
    auto_lock hold(&m_tableLock, true);
    CContainerConfig* record = find(path);
    if (record == nullptr) {
        return noRecord(FX_HERE, path);
    }
    if (rc != 0) {
        record->m_rc = rc;
    }
    return CQiError();
}

CQiError CContainerConfigInfo::HandleRestoreExtentUpdate(const std::string& path, int rc) {
    const std::string key = containerOf(path);
    auto_lock hold(&m_tableLock, true);
    CContainerConfig* record = find(key);
    if (record == nullptr) {
        return noRecord(FX_HERE, key);
    }
    ++record->m_processedExtents;
    if (rc != 0) {
        record->m_rc = rc;
        record->m_anyExtentFailed = true;
    }
    return CQiError();
}

CQiError CContainerConfigInfo::GetContainerFileSizeForExtentPath(const std::string& path, unsigned long long& size) {
    const std::string key = containerOf(path);
    auto_lock hold(&m_tableLock, true);
    size = 0;
    const CContainerConfig* record = find(key);
    if (record == nullptr) {
        return noRecord(FX_HERE, key);
    }
    size = record->GetFileSize();
    return CQiError();
}

CQiError CContainerConfigInfo::GetProcessedExtentsForExtentPath(const std::string& path, unsigned long long& processed,
                                                                bool& anyFailed) {
    const std::string key = containerOf(path);
    auto_lock hold(&m_tableLock, true);
    processed = 0;
    anyFailed = false;
    const CContainerConfig* record = find(key);
    if (record == nullptr) {
        return noRecord(FX_HERE, key);
    }
    processed = record->GetProcessedExtents();
    anyFailed = record->AnyExtentRestoreFailed();
    return CQiError();
}
