#pragma once
// The share auto-mount manager and the share-name helpers. This platform never mounts anything: a share path has no
// scan form and no mounted location, and a mounted location is never found to turn back; each such answer is the
// operation's own error. The mount options are kept.
#include <string>

#include "clRestore/support/CQiError.h"

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

    // The mounted location of a share's scan-format name; an error when the share is not mounted.
    CQiError translatePath(const std::string& scanFormat, std::string& mounted);
    // The source form of a name under a mounted location; an error when it lies under none.
    CQiError unTranslatePath(std::string& source, const std::string& mounted);

private:
    std::string m_mountOptions;
};
