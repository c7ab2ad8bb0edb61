// Handlers of stream buffers whose behaviour is not built yet: the read-error report. It says once that it is not
// built yet and takes its buffer without acting on it.
#include "clRestore/engine/FclRestore.h"
#include "clRestore/options/PendingLog.h"

void FclRestore::OnBufferPlFsReadErr(void*) {
    FCL_NOT_BUILT_YET();
}
