// Names of protocol codes for log lines.
#include <cstdio>

#include "platform/session/CWzNetwork.h"
#include "platform/session/FsrWireTable.h"

namespace {

// A few buffers per thread, so that several names fit in one log line.
const char* hexName(unsigned long code) {
    thread_local char names[4][24];
    thread_local unsigned next = 0;
    char* name = names[next++ % 4];
    snprintf(name, sizeof names[0], "0x%lx", code);
    return name;
}

}  // namespace

const char* WZS_PRIM_STRING(unsigned long code) {
    const wzsession::WireCode* entry = wzsession::findWireCode(code);
    return entry != nullptr ? entry->name : hexName(code);
}

const char* WZS_FileSystemRestore_PM_STRING(unsigned int code) {
    return WZS_PRIM_STRING(code);
}
