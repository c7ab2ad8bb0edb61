// Hard links from the stream are not built yet. Nothing opens a hard-link group before they are, so the file-header
// handler never reaches these; each answers as for a destination that does not exist yet.
#include "clRestore/options/PendingLog.h"
#include "clRestore/stream/HardLinks.h"

bool IfHLToBeOverWritten(std::string& /*path*/, unsigned long long /*archiveTime*/,
                         FsRestoreObjectsFactory* /*factory*/, EvEvent* /*event*/, bool& /*notFound*/,
                         bool /*setNotFound*/) {
    FCL_NOT_BUILT_YET();
    return true;
}
