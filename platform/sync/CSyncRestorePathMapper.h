#pragma once
// The path mapper of synchronised restores: a stand-in for the client's sync library, which this machine lacks.
// InitSyncRestore fills it from the job's sync setup (SyncRestoreSetup.h); the operations only the library can answer
// keep what the mapper holds. Tests can also set a mapper up with the Set operations.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/log/LogWriter.h"
#include "platform/support/CQiError.h"
#include "platform/sync/UserGroupID.h"

// One mapped pair: where an item was backed up, where it is restored.
struct SrcDestMap {
    std::string source;
    std::string destination;
};

class CSyncRestorePathMapper {
public:
    explicit CSyncRestorePathMapper(long long jobId) : m_jobId(jobId) {}

    // 0 the job is a synchronised restore (the mapper is filled), 1 it is not, -1 the sync library failed.
    int InitSyncRestore();

    std::vector<SrcDestMap>& GetMappedPaths() { return m_mappedPaths; }
    // Reads the pairs of a mapped synchronised restore from the sync library; without the library the pairs stay as
    // the setup gave them.
    CQiError InitMappedFileRestore() {
        FCL_LOG(1, "Mapped synchronised restores: no sync library on this machine; the mapper keeps its %zu pairs",
                m_mappedPaths.size());
        return CQiError::Success();
    }

    // The source path of a synchronised restore as the sync library names it. Without the library the path stays as
    // the FIR sent it.
    std::string InitSrcPath(const std::string& path) {
        static std::once_flag once;
        std::call_once(once, [] {
            FCL_LOG(1, "CSyncRestorePathMapper::InitSrcPath: no sync library on this machine; paths stay as sent");
        });
        return path;
    }
    bool ShouldPreserveModifiedFiles() const { return m_preserveModifiedFiles; }
    // Unix seconds.
    long long GetLastSyncBackupTime() const { return m_lastSyncBackupTime; }
    // The owner recorded for `path`; a path without one leaves `ids` as it is.
    void GetUserAndGroupIDForPath(const std::string& path, UserGroupID* ids) const {
        auto found = m_userGroupByPath.find(path);
        if (found != m_userGroupByPath.end() && ids != nullptr) {
            *ids = found->second;
        }
    }

    void SetPreserveModifiedFiles(bool on) { m_preserveModifiedFiles = on; }
    void SetLastSyncBackupTime(long long seconds) { m_lastSyncBackupTime = seconds; }
    void SetUserAndGroupIDForPath(const std::string& path, const UserGroupID& ids) { m_userGroupByPath[path] = ids; }

private:
    std::map<std::string, UserGroupID> m_userGroupByPath;
    std::map<std::string, UserGroupID> m_userGroupByPath2;
    std::map<std::string, std::string> m_pathMap;
    std::vector<SrcDestMap> m_mappedPaths;
    long long m_jobId;
    bool m_flag1 = false;
    bool m_preserveModifiedFiles = false;
    long long m_lastSyncBackupTime = 0;
    bool m_flag2 = false;
    bool m_flag3 = false;
};
