#pragma once
// Hard links carried by the stream: the operations the other stream handlers call, and the group steps shared by
// the pre-header, file-header, optional-header and end-of-file handlers.
#include <string>

#include "protocol/CXFileHeader.h"

class FsRestoreObjectsFactory;
class EvEvent;
class FclRestore;

// True when the link destination `path` may be (re)created as a link, judged against the archive time; `notFound` is
// set (when `setNotFound`) for a missing destination that the restore-only-if-exists option keeps out.
bool IfHLToBeOverWritten(std::string& path, unsigned long long archiveTime, FsRestoreObjectsFactory* factory,
                         EvEvent* event, bool& notFound, bool setNotFound);
// Makes `link` a hard link to `primary` (creating missing parents of `link`), replacing an older or overwritable
// entry at `link`; sets the factory's error code. False when no link was made.
bool CreateHLDirTree(std::string& primary, std::string& link, unsigned long long archiveTime,
                     FsRestoreObjectsFactory* factory, EvEvent* event);
// The destination of a further name of a group; empty when the name is not to be restored or cannot be.
std::string HLTranslatePathNameUsingRestoreObjFacotry(std::string& name, CXFileHeader* header,
                                                      FsRestoreObjectsFactory* factory, EvEvent* event);
// Appends the Unix form of a Windows path (with a leading '/', then one NUL) to `out`; throws ClExceptError
// 0x1700002e when it would exceed 1024 bytes.
void HLConvertWindowsPathToUnixPath(const char* path, std::string& out, FsRestoreObjectsFactory* factory,
                                    EvEvent* event);

// Set by an unwanted out-argument of IfHLToBeOverWritten.
extern bool dummyHlinkVar;

namespace fclstream {

// The destination of a further name, translated against the saved header; "" when it has none, with a failed
// result recorded for a name refused (a name a mapping leaves out is only skipped). `note` is logged then.
std::string translateLinkName(FclRestore& job, const std::string& name, const char* note);
// A pre-header opening a hard-link group (`stub` false) or a stub group under `name`.
void startLinkGroup(FclRestore& job, const std::string& name, bool stub);
// A pre-header naming a further name of the open hard-link group.
void addFurtherLinkName(FclRestore& job, const std::string& name);
// Ends the open group: names still without a result are recorded, a base file restored only as the links' source
// goes again. `fromHeader` only picks the log line.
void closeOutLinkGroup(FclRestore& job, bool fromHeader);
// The item that just ended under `destination` with `code`: when it is the primary of the open group, the group
// learns whether this job restored it, and takes over the job's base-file flag.
void notePrimaryEnd(FclRestore& job, const std::string& destination, unsigned long code, bool hadObject);
// The item's object could not be allocated: the job goes on, but says so loudly.
void noteNoMemory(FclRestore& job);

}  // namespace fclstream
