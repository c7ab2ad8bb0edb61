#pragma once
// The paths the host decides: where a path really lies, the results directory and the job's results file.
#include <string>

namespace fclhost {

// `path` made absolute, with ".", ".." and symbolic links resolved as the kernel would, a dangling link by its target;
// the part that does not exist yet is taken as written. "" for an empty path.
std::string resolvedPath(const std::string& path);
// True when `inner` is `outer` or lies beneath it; both as resolvedPath gives them.
bool isWithin(const std::string& inner, const std::string& outer);

// The user's state directory: $XDG_STATE_HOME when it is absolute, else ~/.local/state.
std::string stateDirectory();
// A new, empty directory for one job under `<stateDirectory>/fcl-restore/`; false with a reason when it cannot be
// made.
bool makeDefaultResultsDirectory(std::string* path, std::string* why);

// The results file of job `jobId` under `resultsDir`: the store writes `<zendrel>/<job id>/restore.results` beneath
// the results directory or its job-results folder. "" when the job wrote none.
std::string findResultsFile(const std::string& resultsDir, long long jobId);

}  // namespace fclhost
