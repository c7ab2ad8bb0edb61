#pragma once
// The path mapper of synchronised restores. The sync library's operations that fill it are not here yet; until then a
// mapper holds no pairs, which is what a job that is not a synchronised restore sees.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "clRestore/support/CQiError.h"
#include "platform/log/LogWriter.h"
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
    // Reads the pairs of a mapped synchronised restore from the sync library; until that is built the pairs stay as
    // they are.
    CQiError InitMappedFileRestore() {
        FCL_LOG(1, "Mapped synchronised restores are not built yet; the mapper keeps its %zu pairs",
                m_mappedPaths.size());
        return CQiError::Success();
    }

    // The source path of a synchronised restore as the sync library names it. The library's translation is not built
    // yet: the path stays as the FIR sent it.
    std::string InitSrcPath(const std::string& path) {
        static std::once_flag once;
        std::call_once(once, [] { FCL_LOG(1, "CSyncRestorePathMapper::InitSrcPath is not built yet"); });
        return path;
    }

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
