#include "platform/files/NoFollowTimes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/files/FileCalls.h"
#include "platform/files/UniqueFd.h"

namespace wzfiles {

int setTimesNoFollow(std::string path, const timespec stamps[2]) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    const size_t slash = path.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    UniqueFd directory(open_utf(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory.valid()) {
        return -1;
    }
    return utimensat(directory.get(), name.c_str(), stamps, AT_SYMLINK_NOFOLLOW);
}

}  // namespace wzfiles
