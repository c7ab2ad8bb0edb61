#pragma once
// The client library's call that makes a job's directory below the job-results directory.

// Creates `path` and its missing parents (mode 0755): 0 when it is a directory afterwards, -1 otherwise (also for a
// null or empty path).
int CreateSubclientDir(const char* path);
