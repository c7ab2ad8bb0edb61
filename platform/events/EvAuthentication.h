#pragma once
// The event library's socket base and its authentication client; the engine only constructs the latter.
#include "platform/events/EvDebug.h"

class EvSocket {
public:
    explicit EvSocket(EvDebugFileInstance* debugFile) : debugFile_(debugFile) {}
    virtual ~EvSocket() = default;
    EvDebugFileInstance* debugFile() const { return debugFile_; }

private:
    EvDebugFileInstance* debugFile_;  // not owned
};

class EvAuthentication : public EvSocket {
public:
    EvAuthentication() : EvSocket(nullptr) {}
};
