#include "tools/fcl-restore/HostPaths.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>

#include "platform/settings/PlatformPaths.h"

namespace fclhost {
namespace {

std::string workingDirectory() {
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) != nullptr ? cwd : "/";
}

std::string parentOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

std::string joined(const std::string& directory, const std::string& name) {
    return directory == "/" ? "/" + name : directory + "/" + name;
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string homeDirectory() {
    const char* home = getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return home;
    }
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "/";
}

// Subdirectories of `directory`, to look for the job's folder in the store's layout.
std::string findJobFolder(const std::string& directory, const std::string& jobFolder, int depth) {
    if (depth == 0) {
        return "";
    }
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(directory.c_str()), closedir);
    if (!dir) {
        return "";
    }
    while (const dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        std::string path = joined(directory, name);
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            continue;
        }
        std::string results = path + "/restore.results";
        if (name == jobFolder && access(results.c_str(), F_OK) == 0) {
            return results;
        }
        std::string found = findJobFolder(path, jobFolder, depth - 1);
        if (!found.empty()) {
            return found;
        }
    }
    return "";
}

// Non-empty components of `path`.
std::deque<std::string> componentsOf(const std::string& path) {
    std::deque<std::string> parts;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

// The kernel's own bound on links followed in one path.
constexpr int kMaxLinks = 40;

bool linkTarget(const std::string& path, std::string* target) {
    char buffer[PATH_MAX];
    ssize_t length = readlink(path.c_str(), buffer, sizeof buffer);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) {
        return false;
    }
    target->assign(buffer, static_cast<size_t>(length));
    return true;
}

}  // namespace

std::string resolvedPath(const std::string& path) {
    if (path.empty()) {
        return "";
    }
    // Component by component as the kernel walks: `current` never holds a link, so ".." is its parent; a link,
    // dangling or not, is replaced by its target.
    std::string current = path[0] == '/' ? "/" : workingDirectory();
    std::deque<std::string> parts = componentsOf(path);
    int links = 0;
    while (!parts.empty()) {
        std::string part = std::move(parts.front());
        parts.pop_front();
        if (part == ".") {
            continue;
        }
        if (part == "..") {
            current = parentOf(current);
            continue;
        }
        std::string next = joined(current, part);
        std::string target;
        if (links < kMaxLinks && linkTarget(next, &target)) {
            ++links;
            std::deque<std::string> more = componentsOf(target);
            parts.insert(parts.begin(), more.begin(), more.end());
            if (target[0] == '/') {
                current = "/";
            }
            continue;
        }
        current = next;
    }
    return current;
}

bool isWithin(const std::string& inner, const std::string& outer) {
    std::string in = resolvedPath(inner);
    std::string out = resolvedPath(outer);
    if (in.empty() || out.empty()) {
        return false;
    }
    return in == out || out == "/" || (in.compare(0, out.size(), out) == 0 && in[out.size()] == '/');
}

std::string stateDirectory() {
    const char* state = getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        return state;
    }
    return joined(homeDirectory(), ".local/state");
}

bool makeDefaultResultsDirectory(std::string* path, std::string* why) {
    std::string base = joined(stateDirectory(), "fcl-restore");
    if (!wzplatform::makeDirectories(base)) {
        *why = "cannot create " + base + ": " + strerror(errno);
        return false;
    }
    char stamp[32];
    time_t now = time(nullptr);
    struct tm local;
    strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", localtime_r(&now, &local));
    std::string templ = joined(base, std::string("job-") + stamp + "-XXXXXX");
    if (mkdtemp(&templ[0]) == nullptr) {
        *why = "cannot create a results directory in " + base + ": " + strerror(errno);
        return false;
    }
    *path = templ;
    return true;
}

std::string findResultsFile(const std::string& resultsDir, long long jobId) {
    if (!isDirectory(resultsDir)) {
        return "";
    }
    // <results>/<zendrel>/<job id>/ or <results>/jobresults/.../<zendrel>/<job id>/
    return findJobFolder(resultsDir, std::to_string(jobId), 4);
}

}  // namespace fclhost
