#pragma once
// The default results directories under the user's state directory: each host holds its own while it runs, and only
// the newest few are kept, so that a state directory does not grow with every run.
#include <string>
#include <vector>

namespace fclhost {

// How many default results directories are kept when the settings name no other count.
constexpr unsigned long kDefaultKeptJobs = 20;

// Takes `<dir>/host.lock` for the rest of the process, so that no other host prunes the directory or runs a job in
// it meanwhile. False with a reason when another host holds it or the lock cannot be taken.
bool holdResultsDirectory(const std::string& dir, std::string* why);

// Whether a running host holds `dir` (a job runs in it now).
bool resultsDirectoryHeld(const std::string& dir);

// Removes the job directories ("job-<stamp>-<id>") under `base` beyond the `keep` written to last; a directory
// another host holds is kept. Nothing outside `base` is followed. Answers those removed.
std::vector<std::string> pruneResultsDirectories(const std::string& base, unsigned long keep);

}  // namespace fclhost
