#include "tools/fcl-holes/DataRuns.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace fclholes {

bool dataRuns(const std::string& path, std::vector<DataRun>* runs, std::string* why) {
    runs->clear();
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        *why = path + ": " + strerror(errno);
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    const off_t end = st.st_size;
    bool ok = true;
    for (off_t at = 0; at < end;) {
        off_t data = lseek(fd, at, SEEK_DATA);
        if (data < 0) {
            // ENXIO: nothing but a hole up to the end.
            ok = errno == ENXIO;
            break;
        }
        off_t hole = lseek(fd, data, SEEK_HOLE);
        if (hole < 0) {
            ok = false;
            break;
        }
        hole = std::min(hole, end);
        runs->push_back({static_cast<uint64_t>(data), static_cast<uint64_t>(hole - data)});
        at = hole;
    }
    if (!ok) {
        *why = path + ": " + strerror(errno);
    }
    close(fd);
    return ok;
}

std::string describeRuns(const std::vector<DataRun>& runs) {
    std::string text = "[";
    for (const DataRun& run : runs) {
        text += " " + std::to_string(run.offset) + "+" + std::to_string(run.length);
    }
    return text + " ]";
}

}  // namespace fclholes
