#include <cerrno>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/mounts/FXFolder.h"
#include "platform/support/FXErrorUtil.h"

namespace {

const char kProcMounts[] = "/proc/self/mounts";

std::mutex g_pathLock;
std::string g_tablePath;

// The kernel writes blanks, tabs, line feeds and backslashes of a field as a backslash and three octal digits.
std::string unescaped(const std::string& field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        const bool octal = field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
                           field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7';
        if (octal) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

}  // namespace

namespace wzmounts {

void setMountTablePath(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_pathLock);
    g_tablePath = path;
}

std::string mountTablePath() {
    std::lock_guard<std::mutex> lock(g_pathLock);
    return g_tablePath.empty() ? std::string(kProcMounts) : g_tablePath;
}

}  // namespace wzmounts

CQiError FXFolder::getLogicalVolumeList(std::list<WzMntTab::Entry>& list, const char* /*unused*/) {
    list.clear();
    const std::string path = wzmounts::mountTablePath();
    std::ifstream table(path);
    if (!table) {
        const int err = errno != 0 ? errno : ENOENT;
        return FXErrorUtil::ErrorErrNo(FX_HERE, err, "cannot read the mount table [%s]", path.c_str());
    }
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string device, dir, type, options;
        if (!(fields >> device >> dir >> type) || device[0] == '#') {
            continue;
        }
        fields >> options;
        WzMntTab::Entry entry;
        entry.device = unescaped(device);
        entry.mountDir = unescaped(dir);
        entry.extra = unescaped(options);
        entry.fsType = unescaped(type);
        list.push_back(std::move(entry));
    }
    return CQiError::Success();
}
