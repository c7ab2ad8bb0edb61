#pragma once
// Operations whose behaviour is not built yet say so once per process, at level 1, and answer as a job that does
// not use them would see.
#include <mutex>

#include "platform/log/LogWriter.h"

namespace fclpending {

inline void logNotBuilt(const char* operation) {
    FCL_LOG(1, "%s is not built yet", operation);
}

}  // namespace fclpending

#define FCL_NOT_BUILT_YET()                                                             \
    do {                                                                                \
        static std::once_flag fclNotBuiltOnce_;                                         \
        std::call_once(fclNotBuiltOnce_, fclpending::logNotBuilt, __PRETTY_FUNCTION__); \
    } while (0)
