#pragma once
// Steps the archive, snap-source and seek handlers share.
class FclRestore;
struct FSRSeekArchiveArray;

namespace fclseek {

// The line of a job that fails on seek failures when positions come while no archive file is open.
inline constexpr char kNotOpenedFailLine[] =
    "Failing the restore as the option to Fail on Failure is selected and archive file is not opened as expected.";

// Whether the positions (seeks or snap sources) of `count` items go on to the restore head.
enum class Admission {
    kNoArchive,          // no archive file is open: the job failed when it fails on seek failures (`failLine`),
                         // `ignoreLine` logged and each item counted failed
    kBelowRestartPoint,  // the job skips restarted items and the running item count is still below the restart point
    kForward,
};
// Counts the items toward the restart point when an archive is open.
Admission admitPositions(FclRestore& job, unsigned long count, const char* failLine, const char* ignoreLine);

// Gives the held records of a seek batch back: their link names freed, their fields zeroed, the count 0.
void emptySeekBatch(FSRSeekArchiveArray& batch);

// Sends `record` of `length` bytes (the record itself; what it points to travels with it) to the restore head.
bool forwardToRestoreHead(FclRestore& job, unsigned long code, void* record, unsigned long length);

// The job cannot restore anything without its restore-object factory: the failure reason (unless one is written)
// and a fatal stop.
void failWithoutFactory(FclRestore& job);

}  // namespace fclseek
