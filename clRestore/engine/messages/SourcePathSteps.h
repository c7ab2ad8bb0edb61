#pragma once
// Steps of the source-path handler kept beside the completion of the set (SourcePathsCompletion.cpp).

class FclRestore;

namespace fclsrcpaths {

// The set is complete (every position stored): sorts it, builds the restore-object factory, opens the restart state
// of a restartable job and mounts the source shares. False when a step ended the handler; a job left without a
// factory is stopped as a fatal error.
bool completeSourcePaths(FclRestore& job);

// The source paths from the wire contradict the job's parameters: failure reason, fatal stop. False.
bool refuse(FclRestore& job);

// The job is out of memory: critical event, failure reason and pending cause 0x1c000082, fatal stop. False.
bool outOfMemory(FclRestore& job);

}  // namespace fclsrcpaths
