#pragma once
// Hook files: an operator (or a test) holds a job at a named point by creating "<run directory>/<name>" for every
// job, or "<run directory>/<name>.<job id>" for one job. The job waits there until the file goes.

class FXMisc {
public:
    // Default wait when the caller gives no limit: an hour.
    static constexpr unsigned int kDefaultHookWaitSeconds = 3600;

    // Waits while a hook file of `name` for `jobId` exists, at most `limitSeconds` (0: the default). 0 when there was
    // none or it went away, -1 when the wait ran out with the file still there (the caller goes on regardless).
    static int WaitForHookFile(const char* name, unsigned int jobId, unsigned int limitSeconds);
};
