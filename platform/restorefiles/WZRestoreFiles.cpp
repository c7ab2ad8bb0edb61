#include "platform/restorefiles/WZRestoreFiles.h"

#include <cstdio>

#include "platform/events/Journal.h"
#include "platform/log/LogWriter.h"

int WZRestoreFiles::finalize(int status, unsigned long options, bool flag) {
    char line[160];
    snprintf(line, sizeof line, "finalize status %d options 0x%lx flag %s unregister job %s", status, options,
             flag ? "true" : "false", m_doNotUnRegisterJob ? "no" : "yes");
    FCL_LOG(1, "WZRestoreFiles::finalize recorded; the extent restore engine is not built yet");
    wzplatform::journal("WZRestoreFiles", line);
    return 1;
}
