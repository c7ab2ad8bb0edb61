// Handlers of stream buffers whose behaviour is not built yet: the optional and index headers, the read-error report
// and the pre-header. Each says once that it is not built yet and takes its buffer without acting on it.
#include <cstring>

#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/PendingLog.h"

void FclRestore::OnBufferPlFsOptHdr(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsOptHdr2(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsOptHdr3(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsOptHdr4(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsIndexHdr(void*, int) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsReadErr(void*) {
    FCL_NOT_BUILT_YET();
}
void FclRestore::OnBufferPlFsPreHdr(void*, FSRPreHeader*) {
    FCL_NOT_BUILT_YET();
}

// Finished; it lives here beside the pre-header handler until that handler is built.
void FclRestore::initializePreHdr(FSRPreHeader* record) {
    memset(record, 0, sizeof *record);
}
