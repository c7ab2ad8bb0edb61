#pragma once
// Everything the host settles before a job starts: where the media, the destination and the results are, the
// settings file the job reads and the log it writes. Nothing is created before every check has passed.
#include <string>

#include "tools/fcl-restore/HostOptions.h"
#include "tools/fcl-restore/JobRecord.h"

namespace fclhost {

struct PreparedJob {
    std::string mediaDir;  // resolved
    std::string destDir;   // resolved, created when missing
    std::string resultsDir;
    std::string settingsFile;
    std::string logFile;
};

// Checks the directories (the results directory never at or inside the destination, the destination not on a
// read-only file system), creates the destination and the results directory (held by this host, see
// holdResultsDirectory), writes the settings file and points the platform at all of them. False with a reason when the
// job cannot be prepared.
bool prepareJob(const HostOptions& options, PreparedJob* job, std::string* why);
// The same for a cut job resumed in its own results directory, with the settings file it was given.
bool prepareResumedJob(const JobRecord& record, const std::string& resultsDir, PreparedJob* job, std::string* why);

// Whether FCL_LOG_LEVEL, when set, names a level; false with a reason when it does not (checked before anything is
// made).
bool checkLogLevelVariable(std::string* why);

// Installs the log writer of `<log dir>/fclrestore.log` (the results directory unless the settings name another), at
// the level --log-level gives, else FCL_LOG_LEVEL, else the settings' [FclRestore] nLogLevel, else the default; false
// with a reason when it cannot be opened or the settings name no level.
bool openJobLog(PreparedJob* job, const HostOptions& options, std::string* why);

}  // namespace fclhost
