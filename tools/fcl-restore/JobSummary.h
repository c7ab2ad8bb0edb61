#pragma once
// What the host tells the user at the end of a job, and the exit status that goes with it.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/fcl-restore/FailedItems.h"

namespace fclhost {

// Items restored without part of what the backup holds of them, and the system error of the first.
struct ItemLoss {
    uint64_t items = 0;
    int error = 0;  // errno
};

struct JobSummary {
    bool jobSucceeded = false;
    int interruptSignal = 0;    // the signal that stopped the job; 0 when none did
    std::string failureReason;  // why the job failed; "" when it did not
    uint64_t restored = 0;
    uint64_t skipped = 0;
    uint64_t failed = 0;                  // items that failed, those missing included
    uint64_t excluded = 0;                // items the mapping file leaves out
    uint64_t notReached = 0;              // items asked for that a stopped or failed job never came to
    ItemLoss ownersNotKept;               // restored as the user's own: owner changes ignored (not root)
    ItemLoss aclsOrXattrsLost;            // restored without ACLs or xattrs the destination cannot hold
    std::vector<std::string> missing;     // items asked for that the job gave no result for
    std::string itemsReason;              // what explains the failed items, when something does
    std::vector<FailedItem> firstFailed;  // the first failed items the results file lists, with their causes
    uint64_t failedListed = 0;            // how many failed items it lists
    uint64_t bytes = 0;                   // data written, holes not counted
    double seconds = 0;
    std::string resultsFile;  // "": the job wrote none
    std::string resultsDir;
    std::string logFile;
};

// 0: the job succeeded and no item failed (owners not kept by a user who is not root, as tar -x does, included); 1:
// items failed or lost their ACLs or extended attributes; 2: the job failed; 128 + the signal when an interrupt
// stopped it, as a shell reports a program the signal ended.
int exitStatus(const JobSummary& summary);

// Decimal megabytes per second; 0 for a job that took no measurable time.
double megabytesPerSecond(uint64_t bytes, double seconds);

// The summary as printed: a verdict line, then one "name: value" line per figure (those of excluded and unreached
// items and of losses only when there are some).
std::string formatSummary(const JobSummary& summary);

// Why items lost their owner or their ACLs and extended attributes, from the first one's errno.
std::string ownerLossReason(int error);
std::string aclLossReason(int error);

}  // namespace fclhost
