// The database services that the archive open, the snap sources and the file header call. Each says once that it is
// not built yet and answers as an ordinary job would see it: nothing done, go on.
#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/PendingLog.h"

// ---- database restores ----
// Not a database job, as the ordinary job sees it: nothing to revert.
int FclRestore::CheckAndDoRevertForDB(FSROpenArchive* rec, bool& reverted) {
    reverted = false;
    if (rec == nullptr) {
        return -1;
    }
    if (getAppType() == 0x68 || getAppType() == 0x7d) {
        FCL_NOT_BUILT_YET();
    }
    return 0;
}

// Nothing is fetched: a job that needs the metadata fails rather than restoring without it.
int FclRestore::FetchMySqlIndexMetadata(bool) {
    FCL_NOT_BUILT_YET();
    return -1;
}
