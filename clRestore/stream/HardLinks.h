#pragma once
// Hard links carried by the stream: the operations the other stream handlers call.
#include <string>

class FsRestoreObjectsFactory;
class EvEvent;

// True when the link destination `path` may be (re)created as a link, judged against the archive time; `notFound` is
// set (when `setNotFound`) for a missing destination that the restore-only-if-exists option keeps out.
bool IfHLToBeOverWritten(std::string& path, unsigned long long archiveTime, FsRestoreObjectsFactory* factory,
                         EvEvent* event, bool& notFound, bool setNotFound);
