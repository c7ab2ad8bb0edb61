// Handlers of stream buffers whose behaviour is not built yet: the hard-link optional header and the pre-header.
// Each says once that it is not built yet and takes its buffer without acting on it.
#include <cstring>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/PendingLog.h"

void FclRestore::OnBufferPlFsOptHdr2(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsPreHdr(void*, FSRPreHeader*) {
    FCL_NOT_BUILT_YET();
}

// Finished; it lives here beside the pre-header handler until that handler is built.
void FclRestore::initializePreHdr(FSRPreHeader* record) {
    memset(record, 0, sizeof *record);
}
