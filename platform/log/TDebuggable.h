#pragma once
// A class that writes its own debug lines: each line goes to the shared log writer at its level, named by the
// object's prefix instead of the calling function.
#include <string>

class TDebuggable {
public:
    TDebuggable() = default;
    virtual ~TDebuggable() = default;
    TDebuggable(const TDebuggable&) = default;
    TDebuggable& operator=(const TDebuggable&) = default;

    // A trailing line break of the format is dropped: the writer ends every line itself.
    virtual void debug(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void setDebugPrefix(const char* prefix) { _debugPrefix = prefix != nullptr ? prefix : ""; }
    const std::string& debugPrefix() const { return _debugPrefix; }

private:
    std::string _debugPrefix;
};
