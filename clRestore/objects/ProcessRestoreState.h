#pragma once
#include <string>

// The restore objects and the factory keep process-wide state without a lock: hole switches, the sticky-bit setting,
// byte ranges, the directories created as ancestors, the owner switch, the shortest source path. A host process may
// run one job after another; each job must start from the values the library had when it was loaded, or the next job
// would make holes, keep owners or clip data as the last one did.

// Puts every such value back to its load-time value. Called at job start, before the factory exists. Every new piece
// of process-wide restore state is reset here.
void resetProcessRestoreState();

// Empties the hard-link inode table, so that a name of one job is never linked to by the next.
void clearHardLinkInodeTable();

// Forgets the owner-change settings and the restore user's groups that the first post-open of a job reads, so that
// the next job reads its own.
void resetPostOpenSettings();

// Symbolic links this job restored. A later item of the same stream beneath one of them would be written wherever
// the link points, so such an item is refused: a link the job made is never followed.
namespace fclobjects {
void noteRestoredLink(const std::string& path);
bool beneathRestoredLink(const std::string& path);
void forgetRestoredLinks();
}  // namespace fclobjects
