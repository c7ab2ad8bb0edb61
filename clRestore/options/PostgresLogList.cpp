// The list of a PostgreSQL log restore: the destination of every log file restored, one per line, in the job's
// results tree, where the database's recovery picks them up.
#include <cerrno>
#include <cstdio>
#include <string>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/log/LogWriter.h"
#include "platform/settings/WZPlatformAgents.h"

namespace {

// The name as one log line: line breaks shown as "\n" and "\r".
std::string oneLine(const std::string& name) {
    std::string shown;
    for (char c : name) {
        shown += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
    }
    return shown;
}

}  // namespace

int FclRestoreUNIX::copyLogFilesList(long long jobId) {
    const std::string results = WZPI_CommClient().getJobResultsDirectory(WZPI_Focus::getFocusClientName(true).c_str());
    const std::string path =
        results + "/WZ_JobResults/2/0/" + std::to_string(jobId) + "/postgresLog_" + std::to_string(jobId);
    FCL_LOG(0, "Opening [%s] to write name of files restored", path.c_str());
    FILE* list = fopen(path.c_str(), "w");
    if (list == nullptr) {
        FCL_ERROR("Failed to open file [%s] for write. Error:%d", path.c_str(), errno);
        return -1;
    }
    for (const std::string& name : _restoredLogFiles) {
        // Each line is one name: a name with a line break would be read back as two files that were not restored.
        if (name.find_first_of("\r\n") != std::string::npos) {
            FCL_ERROR("Restored log file [%s] has a line break in its name: it is left out of the list",
                      oneLine(name).c_str());
            continue;
        }
        FCL_LOG(2, "Writing [%s]", name.c_str());
        fprintf(list, "%s\n", name.c_str());
    }
    // A list cut short by a full disk would leave restored files unknown to the recovery.
    const bool written = ferror(list) == 0;
    if (fclose(list) != 0 || !written) {
        FCL_ERROR("Failed to write file [%s]. Error:%d", path.c_str(), errno);
        return -1;
    }
    return 0;
}
