#pragma once
// A directory reader of the file library. Only its error accessor exists so far; a reader that has not failed
// answers 0.
#include <cstdint>

class DirectoryExt {
public:
    std::int32_t getLastError() { return m_lastError; }

private:
    std::int32_t m_lastError = 0;
};
