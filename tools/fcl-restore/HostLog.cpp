#include "tools/fcl-restore/HostLog.h"

#include <cstring>

namespace fclhost {
namespace {

boost::shared_ptr<CLogWriterInterface> g_stepWriter;

}  // namespace

boost::shared_ptr<CLogWriterInterface> stepWriter() {
    return g_stepWriter ? g_stepWriter : g_ptrLogWriter;
}

void setStepWriter(boost::shared_ptr<CLogWriterInterface> writer) {
    g_stepWriter = std::move(writer);
}

void ErrnoKeepingLog::vwrite(int level, const char* function, int line, const char* format, va_list args) {
    if (level < 0 || level <= level_ || std::strstr(format, "errno") != nullptr ||
        std::strstr(format, "error=") != nullptr || std::strstr(format, "Error [%d]") != nullptr) {
        inner_->vwrite(level, function, line, format, args);
    }
}

}  // namespace fclhost
