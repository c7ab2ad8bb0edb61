#pragma once
// The files a cut job was writing when it died. The job sets a file's times when it closes it, so a file the cut
// job created (born after the job started) that still carries a modification time from after that start was never
// finished. Removed, it is restored again whole by the next job, which keeps every item that exists.
#include <ctime>
#include <string>
#include <vector>

#include "platform/archive/ArchiveIndex.h"
#include "tools/fcl-restore/JobRecord.h"

namespace fclhost {

// The time of the file clock's first tick after `since` (a precise CLOCK_REALTIME time), waited for if it has not
// come yet: a file changed before `since` carries an earlier time, one changed after the return a time at least this.
// A job starts at such a time; taking `since` early lets the tick pass while the job is being prepared.
timespec fileClockTick(const timespec& since);
// The same from the time of the call.
timespec fileClockTick();

// Where an out-of-place job puts the item at `sourcePath`: under `destDir`, `stripLevel` leading names dropped.
std::string destinationOf(const std::string& destDir, const std::string& sourcePath, uint64_t stripLevel);

// The destinations of the regular files `job` asked for (of `items`) that it created and never finished. Where the
// file system keeps no birth time, a file changed since the start cannot be told from a user's own file the job kept:
// such files go to `undecided`.
std::vector<std::string> findCutItems(const std::vector<fclarchive::IndexEntry>& items, const JobRecord& job,
                                      std::vector<std::string>* undecided);

// Removes the file at `path` (the name itself, never what a link there names), only when it lies under `destDir`;
// false with a reason.
bool removeUnfinished(const std::string& path, const std::string& destDir, std::string* why);

}  // namespace fclhost
