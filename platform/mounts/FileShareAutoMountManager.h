#pragma once
// The share auto-mount manager. Only the mount options are kept so far; mounting is not built (and this platform
// never mounts anything).
#include <string>

class FileShareAutoMountManager {
public:
    void SetAutoMountOptions(const std::string& options) { m_mountOptions = options; }
    const std::string& GetAutoMountOptions() const { return m_mountOptions; }

private:
    std::string m_mountOptions;
};
