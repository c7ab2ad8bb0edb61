#pragma once
// The container-file table of extent-based restores: one record per container file, with where it goes, its times
// and size, and how its extents fared. Every table operation holds the table's own lock, so any thread may call.
#include <map>
#include <string>

#include "clRestore/support/FXCriticalSection.h"
#include "platform/support/CQiError.h"

class CContainerConfig {
public:
    CContainerConfig() = default;
    CContainerConfig(std::string path, std::string mappedPath, unsigned int ctime, unsigned int atime,
                     unsigned int mtime, unsigned long long extentSize, unsigned long long totalExtents,
                     unsigned long long fileSize)
        : m_filePath(std::move(path)),
          m_mappedPath(std::move(mappedPath)),
          m_ctime(ctime),
          m_atime(atime),
          m_mtime(mtime),
          m_extentSize(extentSize),
          m_totalExtents(totalExtents),
          m_fileSize(fileSize) {}

    void GetMappedPath(std::string& out) const { out = m_mappedPath; }
    unsigned int GetATime() const { return m_atime; }
    unsigned int GetMTime() const { return m_mtime; }
    unsigned long long GetProcessedExtents() const { return m_processedExtents; }
    unsigned long long GetFileSize() const { return m_fileSize; }
    bool AnyExtentRestoreFailed() const { return m_anyExtentFailed; }

    std::string m_filePath;
    std::string m_mappedPath;
    unsigned int m_ctime = 0;
    unsigned int m_atime = 0;
    unsigned int m_mtime = 0;
    unsigned long long m_extentSize = 0;
    unsigned long long m_totalExtents = 0;
    unsigned long long m_processedExtents = 0;
    unsigned long long m_fileSize = 0;
    int m_rc = 0;
    bool m_anyExtentFailed = false;
};

class CContainerConfigInfo {
public:
    CContainerConfigInfo() = default;
    CContainerConfigInfo(const CContainerConfigInfo&) = delete;
    CContainerConfigInfo& operator=(const CContainerConfigInfo&) = delete;

    // A missing record is an ENOENT error. Operations named "reduced" in their comment take an extent path and
    // reduce it to its container's path first.
    CQiError Insert(const CContainerConfig& record);
    CQiError Query(const std::string& path, CContainerConfig& out);
    CQiError Delete(const std::string& path);
    CQiError UpdateContainerItemWithIdxMeta(const std::string& path, unsigned long long totalExtents,
                                            unsigned long long extentSize);        // reduced
    CQiError ShouldRestoreCurrFileExtent(const std::string& path, bool& restore);  // reduced
    CQiError AreAllExtentsRestoredForContainerFile(const std::string& path, bool& result);
    CQiError GetMappedPathForHdrPath(const std::string& path, std::string& out);
    CQiError HandleRestoreContainerUpdate(const std::string& path, int rc);
    CQiError HandleRestoreExtentUpdate(const std::string& path, int rc);                            // reduced
    CQiError GetContainerFileSizeForExtentPath(const std::string& path, unsigned long long& size);  // reduced
    CQiError GetProcessedExtentsForExtentPath(const std::string& path, unsigned long long& processed,
                                              bool& anyFailed);  // reduced

private:
    // The record of `path`, or null; the caller holds the lock.
    CContainerConfig* find(const std::string& path);

    std::map<std::string, CContainerConfig> m_containers;
    FXCriticalSection m_tableLock;
};
