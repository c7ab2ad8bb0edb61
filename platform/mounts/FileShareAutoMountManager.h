#pragma once
// The share auto-mount manager. Only the mount options are kept so far; mounting is not built (and this platform
// never mounts anything).
#include <string>

#include "clRestore/support/CQiError.h"
#include "platform/log/LogWriter.h"

class FileShareAutoMountManager {
public:
    void SetAutoMountOptions(const std::string& options) { m_mountOptions = options; }
    const std::string& GetAutoMountOptions() const { return m_mountOptions; }

    // `in` as it lies under the share mounted for it. No share is ever mounted here, so every path comes back as it
    // is, which callers take as a path under no mounted share.
    CQiError translatePath(std::string& out, const std::string& in) {
        FCL_LOG(1, "Share translation is not built yet: [%s] lies under no mounted share", in.c_str());
        out = in;
        return CQiError::Success();
    }

private:
    std::string m_mountOptions;
};
