#include "platform/settings/PlatformPaths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

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

void setResultsDirectory(const std::string& path) {
    std::lock_guard<std::mutex> lock(pathsMutex());
    resultsSetting() = absolute(path);
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
