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

// The first `most` failed items of the results file `resultsFile` (lines "<text>\t<status>" whose status is a
// failure), and in `total` how many failed items it lists. A file of any size is read in one pass.
std::vector<FailedItem> readFailedItems(const std::string& resultsFile, size_t most, uint64_t* total);

// Sets each item's cause from the first line of the log `logFile` that names it (as listed or under `destDir`) and
// holds an errno text.
void findCauses(const std::string& logFile, const std::string& destDir, std::vector<FailedItem>* items);

// "<name>: <reason> (<cause>)", the parts that are known.
std::string describeFailedItem(const FailedItem& item);

}  // namespace fclhost
