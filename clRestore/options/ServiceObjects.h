#pragma once
// The per-job service objects and decisions, kept in the job's Unix companion. The job object's operations gather
// what the job knows and call these.
#include <string>

#include "platform/support/CQiError.h"

class FclRestoreUNIX;
class WZJobCtrlClient;
class StoreResults;

namespace fclservices {

struct TimestampHandlerArgs {
    unsigned long zendrelId;
    long long jobId;
    WZJobCtrlClient* jobControl;
    StoreResults* results;  // null when the job has none
};

// Makes the job's timestamp handler when it has none; true when it has one afterwards.
bool initializeRestoreTimestampHandler(FclRestoreUNIX& unix, const TimestampHandlerArgs& args);

// Decides, and sets in the companion, whether the job restores folder times.
void initializeShouldRestoreFolderTimestamp(FclRestoreUNIX& unix, unsigned long appType, unsigned long long options);

// The Lustre copy-tool setting, read once per job.
bool isLustreCopyToolEnabled(FclRestoreUNIX& unix);

struct SolrRestoreArgs {
    unsigned long destClientId;    // the client of a single-node index
    std::string nodeHostName;      // the destination machine of the init data
    std::string resultsDirectory;  // "" when the job has no results store or it names none
    unsigned long long options;    // the options word of the set-parameters message
    WZJobCtrlClient* jobControl;
};

// Makes the job's search-index client once, of the kind the job restores.
CQiError initializeSolrRestore(FclRestoreUNIX& unix, const SolrRestoreArgs& args);

}  // namespace fclservices
