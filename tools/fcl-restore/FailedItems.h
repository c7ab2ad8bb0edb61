#pragma once
// The items a job did not restore, as its results file lists them, with the system's reason where the log gives one:
// what the host shows on standard error at a job's end.
#include <cstdint>
#include <string>
#include <vector>

namespace fclhost {

struct FailedItem {
    std::string name;    // the item as the results file names it
    std::string reason;  // the results file's reason text; "" when the line gives none
    std::string cause;   // the system's error text (strerror) the log gives for the item; "" when none
};

// What the results file says of the last run that wrote to it (after its last "BeginIndexedRestore" line: a resumed
// job appends to the cut job's file).
struct ResultsTally {
    std::vector<FailedItem> first;  // the first failed items, in file order
    uint64_t failed = 0;            // failed items listed
    uint64_t unmapped = 0;          // status 7 (no destination) where a mapping file leaves them out
    uint64_t excluded = 0;          // status 8: an entry of the mapping excludes them
};

// The lines "<text>\t<status>" of `resultsFile`, the first `most` failures kept. With `mapped` (the job has a mapping
// file) an item without a destination is one the mapping leaves out, not a failure. A file of any size is read in one
// pass.
ResultsTally readResults(const std::string& resultsFile, size_t most, bool mapped);
// The failed items of readResults without a mapping, their count in `total`.
std::vector<FailedItem> readFailedItems(const std::string& resultsFile, size_t most, uint64_t* total);

// Adds a line for an item the job failed without giving it one (the file it was writing when the job failed).
bool addFailedLine(const std::string& resultsFile, const std::string& item, const std::string& reason);

// Sets each item's cause from the first line of the log `logFile` that names it (as listed or under `destDir`) and
// holds an errno text.
void findCauses(const std::string& logFile, const std::string& destDir, std::vector<FailedItem>* items);

// "<name>: <reason> (<cause>)", the parts that are known.
std::string describeFailedItem(const FailedItem& item);

}  // namespace fclhost
