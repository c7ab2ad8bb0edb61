// The end of a restore. Only the stop of the loops is built; the bookkeeping before it is not yet.
#include "clRestore/engine/FclRestore.h"
#include "platform/log/LogWriter.h"

bool FclRestore::OnMsgRestoreEnd() {
    FCL_LOG(1, "The restore end's statistics, results and final report are not built yet");
    terminateReceiveMsgsThread();
    terminateProcessMsgsThread();
    return true;
}
