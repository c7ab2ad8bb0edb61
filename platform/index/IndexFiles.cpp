#include "platform/index/IndexFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

#include "platform/apps/ClientApplications.h"
#include "platform/files/UniqueFd.h"
#include "platform/settings/WZPlatformInfo.h"

namespace wzindex {
namespace {

struct Index {
    std::mutex lock;
    std::string source;
    std::vector<IndexFetch> fetches;
};

Index& index() {
    static Index i;
    return i;
}

std::string fetchSource() {
    {
        Index& i = index();
        std::lock_guard<std::mutex> guard(i.lock);
        if (!i.source.empty()) {
            return i.source;
        }
    }
    std::string configured;
    WZPlatformInfo().getString("IndexFetch", "source", &configured);
    return configured;
}

bool matchesAny(const char* name, const std::list<std::string>& patterns) {
    for (const std::string& pattern : patterns) {
        if (fnmatch(pattern.c_str(), name, 0) == 0) {
            return true;
        }
    }
    return false;
}

// Copies the regular file `from` over `to`.
bool copyFile(const std::string& from, const std::string& to) {
    wzfiles::UniqueFd in(open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat st;
    if (!in.valid() || fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    wzfiles::UniqueFd out(open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!out.valid()) {
        return false;
    }
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = read(in.get(), buffer, sizeof buffer);
        if (n == 0) {
            return true;
        }
        if (n < 0) {
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(out.get(), buffer + done, static_cast<size_t>(n - done));
            if (w <= 0) {
                return false;
            }
            done += w;
        }
    }
}

}  // namespace

void setIndexFetchSource(const std::string& directory) {
    Index& i = index();
    std::lock_guard<std::mutex> guard(i.lock);
    i.source = directory;
}

std::vector<IndexFetch> indexFetches() {
    Index& i = index();
    std::lock_guard<std::mutex> guard(i.lock);
    return i.fetches;
}

void clearIndexFetches() {
    Index& i = index();
    std::lock_guard<std::mutex> guard(i.lock);
    i.fetches.clear();
}

wzfault::FaultCounter& indexFetchFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

wzfault::FaultCounter& subclientDirFaults() {
    static wzfault::FaultCounter faults;
    return faults;
}

}  // namespace wzindex

int GetIndexFiles(std::string host, unsigned int zendrelId, unsigned int applicationNumber, unsigned int toTime,
                  long long, unsigned int browseMode, unsigned int, const char* directory,
                  std::list<std::string>* patterns, unsigned int* count) {
    wzindex::IndexFetch fetch;
    fetch.host = host;
    fetch.zendrelId = zendrelId;
    fetch.applicationNumber = applicationNumber;
    fetch.toTime = toTime;
    fetch.browseMode = browseMode;
    fetch.directory = directory != nullptr ? directory : "";
    if (patterns != nullptr) {
        fetch.patterns.assign(patterns->begin(), patterns->end());
    }
    {
        wzindex::Index& i = wzindex::index();
        std::lock_guard<std::mutex> guard(i.lock);
        i.fetches.push_back(fetch);
    }
    const std::string source = wzindex::fetchSource();
    if (wzindex::indexFetchFaults().take() || source.empty() || directory == nullptr || patterns == nullptr) {
        return -1;
    }
    DIR* dir = opendir(source.c_str());
    if (dir == nullptr) {
        return -1;
    }
    unsigned int copied = 0;
    bool ok = true;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.' || !wzindex::matchesAny(entry->d_name, *patterns)) {
            continue;
        }
        if (!wzindex::copyFile(source + "/" + entry->d_name, std::string(directory) + "/" + entry->d_name)) {
            ok = false;
            break;
        }
        ++copied;
    }
    closedir(dir);
    if (count != nullptr) {
        *count = copied;
    }
    return ok ? 0 : -1;
}

int GetSubclientDirAndFiles(unsigned int, unsigned int subclientId, subclientFiles* record, int, const char*) {
    if (record == nullptr || wzindex::subclientDirFaults().take()) {
        return -1;
    }
    for (const wzapps::SubclientLine& line : wzapps::subclientTable()) {
        if (line.subclientId != subclientId) {
            continue;
        }
        if (line.directory.size() >= sizeof record->subclientDir) {
            return -1;
        }
        memcpy(record->subclientDir, line.directory.c_str(), line.directory.size() + 1);
        return 0;
    }
    return -1;
}

void DemangleHostName(const char* mangled, std::string& client, std::string& host, int& first, int& second) {
    first = 0;
    second = 0;
    const std::string text = mangled != nullptr ? mangled : "";
    const size_t star = text.find('*');
    client = star == std::string::npos ? std::string() : text.substr(0, star);
    host = star == std::string::npos ? text : text.substr(star + 1);
}
