#pragma once
// What the host tells the user at the end of a job, and the exit status that goes with it.
#include <cstdint>
#include <string>
#include <vector>

namespace fclhost {

struct JobSummary {
    bool jobSucceeded = false;
    int interruptSignal = 0;    // the signal that stopped the job; 0 when none did
    std::string failureReason;  // why the job failed; "" when it did not
    uint64_t restored = 0;
    uint64_t skipped = 0;
    uint64_t failed = 0;               // items that failed, those missing included
    std::vector<std::string> missing;  // items asked for that the job gave no result for
    std::string itemsReason;           // what explains the failed items, when something does
    uint64_t bytes = 0;                // data written, holes not counted
    double seconds = 0;
    std::string resultsFile;  // "": the job wrote none
    std::string resultsDir;
    std::string logFile;
};

// 0: the job succeeded and no item failed; 1: items failed; 2: the job failed; 128 + the signal when an interrupt
// stopped it, as a shell reports a program the signal ended.
int exitStatus(const JobSummary& summary);

// Decimal megabytes per second; 0 for a job that took no measurable time.
double megabytesPerSecond(uint64_t bytes, double seconds);

// The summary as printed: a verdict line, then one "name: value" line per figure.
std::string formatSummary(const JobSummary& summary);

}  // namespace fclhost
