#pragma once
// A directory reader of the file library: open, read the entries one by one ("." and ".." included), close. The
// directory is opened through the file-call layer, so the destination gate and long paths hold. A reader that has not
// failed answers 0 as its last error.
#include <dirent.h>

#include <cstdint>
#include <string>

class DirectoryExt {
public:
    DirectoryExt() = default;
    ~DirectoryExt() { close(); }
    DirectoryExt(const DirectoryExt&) = delete;
    DirectoryExt& operator=(const DirectoryExt&) = delete;

    // 0 when open; -1 with the last error set to the errno of the failure.
    int openDirectory(const char* path);
    // 1 with `name` the next entry, 0 at the end, -1 with the last error set.
    int read(std::string& name);
    // Closing a reader that is not open does nothing.
    void close();
    std::int32_t getLastError() { return m_lastError; }

private:
    DIR* m_dir = nullptr;
    std::int32_t m_lastError = 0;
};
