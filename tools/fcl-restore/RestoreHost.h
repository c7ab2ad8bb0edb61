#pragma once
// The restore host: prepares the results directory, the settings and the log, runs one job end to end on a session
// (the FIR driver on the other end in this process, or an external FIR that connects), and sums it up.
#include <iosfwd>
#include <string>

#include "tools/fcl-restore/HostOptions.h"
#include "tools/fcl-restore/JobSummary.h"

namespace fclhost {

// Runs the job `options` describe and prints its summary to `out`; messages of the host itself go to `err`.
// Answers the exit status (see exitStatus); 2 also when the job could not be prepared.
int runRestoreHost(const HostOptions& options, std::ostream& out, std::ostream& err);

}  // namespace fclhost
