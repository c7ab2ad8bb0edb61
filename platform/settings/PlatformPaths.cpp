#include "platform/settings/PlatformPaths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/files/UniqueFd.h"

#include "platform/log/LogWriter.h"
#include "platform/settings/WZPlatformInfo.h"

namespace wzplatform {

namespace {

std::mutex& pathsMutex() {
    static std::mutex m;
    return m;
}

std::string& resultsSetting() {
    static std::string path;
    return path;
}

// The results directory held open, as the setting names it; shared so that one in use outlives a change.
using HeldDirectory = std::shared_ptr<const wzfiles::UniqueFd>;
HeldDirectory& heldResults() {
    static HeldDirectory held;
    return held;
}

// Called with the paths lock held: opens the named results directory when it is not held yet.
HeldDirectory holdResultsLocked() {
    HeldDirectory& held = heldResults();
    if (!held && !resultsSetting().empty()) {
        wzfiles::UniqueFd fd(::open(resultsSetting().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (fd.valid()) {
            held = std::make_shared<const wzfiles::UniqueFd>(std::move(fd));
        }
    }
    return held;
}

// The components of `path` below the held results directory, with that directory; none held when `path` lies
// elsewhere (or no results directory is held).
HeldDirectory componentsBelowResults(const std::string& path, std::vector<std::string>& components) {
    HeldDirectory held;
    std::string root;
    {
        std::lock_guard<std::mutex> lock(pathsMutex());
        held = holdResultsLocked();
        root = resultsSetting();
    }
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    if (!held || path.compare(0, root.size(), root) != 0 || (path.size() > root.size() && path[root.size()] != '/')) {
        return nullptr;
    }
    components.clear();
    for (size_t at = root.size(); at < path.size();) {
        const size_t end = std::min(path.find('/', at), path.size());
        if (end > at) {
            components.push_back(path.substr(at, end - at));
        }
        at = end + 1;
    }
    for (const std::string& component : components) {
        if (component == "..") {
            return nullptr;  // leaves the results directory: taken as any other path
        }
    }
    return held;
}

// The directory `count` components down from `top`, entered one at a time and never through a link (ELOOP), made
// where missing when `make`: a descriptor, or -1 with errno.
int enterBeneath(int top, const std::vector<std::string>& components, size_t count, bool make) {
    wzfiles::UniqueFd at(fcntl(top, F_DUPFD_CLOEXEC, 0));
    for (size_t i = 0; i < count && at.valid(); ++i) {
        const char* name = components[i].c_str();
        wzfiles::UniqueFd next(openat(at.get(), name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!next.valid() && errno == ENOENT && make && (mkdirat(at.get(), name, 0755) == 0 || errno == EEXIST)) {
            next.reset(openat(at.get(), name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
        }
        struct stat st;
        if (!next.valid() || fstat(next.get(), &st) != 0) {
            return -1;
        }
        if (!S_ISDIR(st.st_mode)) {
            errno = S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR;
            return -1;
        }
        at = std::move(next);
    }
    return at.release();
}

std::string absolute(const std::string& path) {
    if (path.empty() || path[0] == '/') {
        return path;
    }
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) {
        return path;
    }
    return std::string(cwd) + "/" + path;
}

std::string makeDefaultResultsDirectory() {
    const char* base = getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/fclresults.XXXXXX";
    if (mkdtemp(&templ[0]) == nullptr) {
        FCL_ERROR("Cannot create a results directory [%s]: %s", templ.c_str(), strerror(errno));
        return templ;
    }
    chmod(templ.c_str(), 0755);
    return absolute(templ);
}

std::string directory(const std::string& path) {
    if (!makeDirectories(path)) {
        FCL_ERROR("Cannot create directory [%s]: %s", path.c_str(), strerror(errno));
    }
    return path;
}

std::string fromSettingOr(const char* section, const char* key, const char* folder) {
    std::string named;
    if (WZPlatformInfo().getString(section, key, &named) && !named.empty()) {
        return directory(absolute(named));
    }
    return directory(resultsDirectory() + "/" + folder);
}

}  // namespace

bool makeDirectories(const std::string& path) {
    std::vector<std::string> components;
    if (HeldDirectory held = componentsBelowResults(path, components)) {
        wzfiles::UniqueFd made(enterBeneath(held->get(), components, components.size(), true));
        return made.valid();
    }
    struct stat st;
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return true;
        }
        errno = ENOTDIR;
        return false;
    }
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeDirectories(path.substr(0, slash))) {
        return false;
    }
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        return false;
    }
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int openFile(const std::string& path, int flags, mode_t mode) {
    std::vector<std::string> components;
    HeldDirectory held = componentsBelowResults(path, components);
    if (!held) {
        return ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    }
    if (components.empty()) {
        errno = EISDIR;
        return -1;
    }
    wzfiles::UniqueFd directory(enterBeneath(held->get(), components, components.size() - 1, false));
    if (!directory.valid()) {
        return -1;
    }
    return openat(directory.get(), components.back().c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
}

void setResultsDirectory(const std::string& path) {
    std::lock_guard<std::mutex> lock(pathsMutex());
    resultsSetting() = absolute(path);
    heldResults().reset();
    holdResultsLocked();
}

std::string resultsDirectory() {
    std::string path;
    {
        std::lock_guard<std::mutex> lock(pathsMutex());
        if (resultsSetting().empty()) {
            resultsSetting() = makeDefaultResultsDirectory();
        }
        path = resultsSetting();
    }
    return directory(path);
}

std::string agentDirectory() {
    return directory(resultsDirectory() + "/agent");
}

std::string installationDirectory() {
    return fromSettingOr("Base", "dBASEHOME", "install");
}

std::string runDirectory() {
    return directory(installationDirectory() + "/run");
}

std::string jobResultsDirectory() {
    return directory(resultsDirectory() + "/jobresults");
}

std::string temporaryDirectory() {
    return fromSettingOr("Base", "dNEBRINTEMPDIR", "tmp");
}

std::string logDirectory() {
    std::string named;
    if (WZPlatformInfo().getString("EventManager", "dEVLOGDIR", &named) && !named.empty()) {
        return directory(absolute(named));
    }
    return resultsDirectory();
}

}  // namespace wzplatform
