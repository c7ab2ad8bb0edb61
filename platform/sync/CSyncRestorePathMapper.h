#pragma once
// The path mapper of synchronised restores. The sync library's operations that fill it are not here yet; until then a
// mapper holds no pairs, which is what a job that is not a synchronised restore sees.
#include <map>
#include <string>
#include <vector>

#include "platform/sync/UserGroupID.h"

// One mapped pair: where an item was backed up, where it is restored.
struct SrcDestMap {
    std::string source;
    std::string destination;
};

class CSyncRestorePathMapper {
public:
    explicit CSyncRestorePathMapper(long long jobId) : m_jobId(jobId) {}

    std::vector<SrcDestMap>& GetMappedPaths() { return m_mappedPaths; }
    // A synchronised restore keeps the files modified at the destination since the last synchronised backup.
    bool ShouldPreserveModifiedFiles() const { return m_preserveModifiedFiles; }
    // Seconds since the epoch.
    long long GetLastSyncBackupTime() const { return m_lastSyncBackupTime; }

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
