#include "platform/files/RecordLocks.h"

#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace wzfiles {

bool recordLockHeldElsewhere(const struct stat& st) {
    std::ifstream locks("/proc/locks");
    // The kernel names a file as major:minor:inode, the device numbers in hexadecimal.
    char file[64];
    std::snprintf(file, sizeof file, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long>(st.st_ino));
    const std::string self = std::to_string(getpid());
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, advisory, access, owner, where;
        fields >> number >> kind;
        if (kind == "->") {
            continue;  // a request waiting for the lock, not a lock held
        }
        fields >> advisory >> access >> owner >> where;
        if (where == file && (kind == "OFDLCK" || (kind == "POSIX" && owner != self))) {
            return true;
        }
    }
    return false;
}

}  // namespace wzfiles
