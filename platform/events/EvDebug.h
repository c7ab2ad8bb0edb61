#pragma once
// The debug log of the event library. Its lines go through the shared log writer without a level: they are always
// written, whatever the writer's level, under the label the caller gives as the function.
#include <cstdint>
#include <string>

class EvEvent;

// Descriptor of a debug log file, as the job's threads make one for a thread-level log.
struct EvDebugFileInstance {
    std::int32_t fileHandle = -1;
    std::uint64_t bytesWritten = 0;
    std::uint64_t maxBytes = 0;
    std::int32_t level = 1;
    std::int32_t versions = 1;
    std::uint64_t openTime = 0;
    std::string fileName;
    bool isOpen = false;
    std::int64_t jobId = 0;
    std::string moduleName;
    std::uint64_t moduleId = 0;
};

class EvDebug {
public:
    static void Debug(EvEvent* event, const char* function, const char* format, ...)
        __attribute__((format(printf, 3, 4)));
};
