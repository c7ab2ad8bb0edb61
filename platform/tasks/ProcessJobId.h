#pragma once
// The job id of the host process, for callers that were handed none. The host sets it when it knows its job; 0 means
// the process runs no particular job.
extern long long jobID;
