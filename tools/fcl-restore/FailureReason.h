#pragma once
// Why a job did not restore everything, in words a user can act on, from what the host knows once the job ended.
#include <string>
#include <vector>

namespace fclhost {

// The destination's file system as the job left it.
struct DestinationState {
    bool readOnly = false;
    bool noInodes = false;  // no inode left for a new item
};

// What is known of a job that ended.
struct JobFacts {
    bool interrupted = false;
    std::string refusal;             // why the host refused the peer's request; "" when it did not
    bool started = false;            // the engine took the job's start
    std::string firGaveUp;           // the FIR driver's reason when it failed before the engine could (bad media...)
    std::string archiveReason;       // why the backup could not be read, as its reader says; "" when it could
    std::string engineReason;        // the engine's own failure reason
    std::vector<int> pendingCauses;  // the causes the engine raised for the job, in order
    std::string currentItem;         // the item the job was at when it ended; "" when unknown
    DestinationState destination;
    std::string firAccount;  // what the FIR driver says of a job it did not see end well; "" when it did
};

// The reason a failed job gives.
std::string explainFailure(const JobFacts& facts);
// What explains items that were not restored, when something does; "" otherwise.
std::string explainItemFailures(const JobFacts& facts);

// statvfs of `path`; all false when it cannot be read.
DestinationState destinationStateOf(const std::string& path);

}  // namespace fclhost
