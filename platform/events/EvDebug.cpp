#include "platform/events/EvDebug.h"

#include <cstdarg>

#include "platform/log/LogWriter.h"

void EvDebug::Debug(EvEvent* /*event: the line carries the caller's label, not the event's*/, const char* function,
                    const char* format, ...) {
    boost::shared_ptr<CLogWriterInterface> writer = g_ptrLogWriter;
    if (!writer || format == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    writer->vwrite(0, function ? function : "", 0, format, args);
    va_end(args);
}
