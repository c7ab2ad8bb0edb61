#pragma once
// The job's share auto-mounting. No share can be mounted on this platform: every share name is refused, and every path
// lies under no mounted share.
#include <string>

#include "platform/support/CQiError.h"

class FileShareAutoMount {
public:
    // The folder under which the job's shares would be mounted: <results dir>/automount.
    static std::string getMountFolder();
    // The share's scan-format name of `destination`; an error when it names no share this platform can mount.
    static CQiError convertMountToScanFormat(const std::string& destination, std::string& scanFormat);
};

class FileShareAutoMountManager {
public:
    void SetAutoMountOptions(const std::string& options) { m_mountOptions = options; }
    const std::string& GetAutoMountOptions() const { return m_mountOptions; }

    // `in` as it lies under the share mounted for it. No share is ever mounted here, so every path comes back as it
    // is, which callers take as a path under no mounted share.
    CQiError translatePath(std::string& out, const std::string& in);
    // The source form of a name under a mounted location; an error when it lies under none.
    CQiError unTranslatePath(std::string& source, const std::string& mounted);

private:
    std::string m_mountOptions;
};
