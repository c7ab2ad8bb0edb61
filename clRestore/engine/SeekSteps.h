#pragma once
// Steps the archive, snap-source and seek handlers share.
class FclRestore;
struct FSRSeekArchiveArray;

namespace fclseek {

// Positions that arrive while no archive file is open: the job fails first when it fails on seek failures
// (`failLine`), then `ignoreLine` is logged and each of the `count` items is counted failed.
void refuseWithoutArchive(FclRestore& job, const char* failLine, const char* ignoreLine, unsigned long count);

// True, after the log line, when the job skips restarted items and the running item count is still below the
// restart point.
bool belowRestartPoint(FclRestore& job);

// Gives the held records of a seek batch back: their link names freed, their fields zeroed, the count 0.
void emptySeekBatch(FSRSeekArchiveArray& batch);

// Sends `record` of `length` bytes (the record itself; what it points to travels with it) to the restore head.
bool forwardToRestoreHead(FclRestore& job, unsigned long code, void* record, unsigned long length);

// The job cannot restore anything without its restore-object factory: the failure reason (unless one is written)
// and a fatal stop.
void failWithoutFactory(FclRestore& job);

}  // namespace fclseek
