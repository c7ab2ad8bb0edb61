#include "platform/settings/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/files/WholeIo.h"
#include "platform/log/LogWriter.h"

namespace wzplatform {

namespace {

struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    struct timespec mtime = {0, 0};
    struct timespec ctime = {0, 0};

    static FileIdentity of(const struct stat& st) {
        FileIdentity id;
        id.dev = st.st_dev;
        id.ino = st.st_ino;
        id.size = st.st_size;
        id.mtime = st.st_mtim;
        id.ctime = st.st_ctim;
        return id;
    }
    bool operator==(const FileIdentity& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

struct Cache {
    std::mutex mutex;
    std::string hostPath;
    bool loaded = false;
    std::string path;
    FileIdentity identity;
    SettingsSnapshot snapshot;
};

Cache& cache() {
    static Cache c;
    return c;
}

const std::shared_ptr<const wzsettings::IniDocument>& emptyDocument() {
    static const std::shared_ptr<const wzsettings::IniDocument> empty =
        std::make_shared<const wzsettings::IniDocument>();
    return empty;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads the whole regular file; 0 or an errno. O_NONBLOCK keeps a FIFO named as the settings file from hanging us.
int readSettingsText(const std::string& path, std::string* text, FileIdentity* identity) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        return errno;
    }
    struct stat st;
    if (fstat(fd.get(), &st) != 0) {
        return errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return EINVAL;
    }
    if (static_cast<unsigned long long>(st.st_size) > kMaxSettingsFileBytes) {
        return EFBIG;
    }
    *identity = FileIdentity::of(st);
    text->resize(static_cast<size_t>(st.st_size));
    // A file that shrank while we read gives what is there: the next read sees the new identity.
    const ssize_t done = wzfiles::readFully(fd.get(), &(*text)[0], text->size());
    if (done < 0) {
        return errno;
    }
    text->resize(static_cast<size_t>(done));
    return 0;
}

std::string pathInUse(const Cache& c) {
    if (!c.hostPath.empty()) {
        return c.hostPath;
    }
    const char* env = getenv("FCL_SETTINGS");
    return env ? std::string(env) : std::string();
}

void reload(Cache& c, const std::string& path, const FileIdentity& seen) {
    std::string text;
    FileIdentity identity = seen;
    int error = readSettingsText(path, &text, &identity);
    c.loaded = true;
    c.path = path;
    c.identity = identity;
    if (error != 0) {
        if (c.snapshot.error != error) {
            FCL_ERROR("Settings file [%s] cannot be used (%s); every setting takes its default", path.c_str(),
                      strerror(error));
        }
        c.snapshot = SettingsSnapshot{emptyDocument(), error};
        return;
    }
    c.snapshot =
        SettingsSnapshot{std::make_shared<const wzsettings::IniDocument>(wzsettings::IniDocument::parse(text)), 0};
}

}  // namespace

void setSettingsFile(const std::string& path) {
    Cache& c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.hostPath = path;
}

std::string settingsFile() {
    Cache& c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    return pathInUse(c);
}

SettingsSnapshot currentSettings() {
    Cache& c = cache();
    std::lock_guard<std::mutex> lock(c.mutex);
    std::string path = pathInUse(c);
    if (path.empty()) {
        return SettingsSnapshot{emptyDocument(), 0};
    }
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        int error = errno;
        if (!c.loaded || c.path != path || c.snapshot.error != error) {
            // A missing file is the ordinary "no settings" case: remembered quietly, not logged as a fault.
            c.loaded = true;
            c.path = path;
            c.identity = FileIdentity();
            c.snapshot = SettingsSnapshot{emptyDocument(), error};
        }
        return c.snapshot;
    }
    FileIdentity seen = FileIdentity::of(st);
    if (!c.loaded || c.path != path || !(c.identity == seen)) {
        reload(c, path, seen);
    }
    return c.snapshot;
}

}  // namespace wzplatform
