#include "platform/log/TDebuggable.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "platform/log/LogWriter.h"

void TDebuggable::debug(int level, const char* format, ...) {
    boost::shared_ptr<CLogWriterInterface> writer = g_ptrLogWriter;
    if (!writer || !writer->wants(level)) {
        return;
    }
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (needed > 0) {
        std::vector<char> out(static_cast<size_t>(needed) + 1);
        std::vsnprintf(out.data(), out.size(), format, again);
        text.assign(out.data(), static_cast<size_t>(needed));
    }
    va_end(again);
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    writer->write(level, _debugPrefix.c_str(), 0, "%s", text.c_str());
}
