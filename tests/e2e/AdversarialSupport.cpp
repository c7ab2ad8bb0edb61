#include "tests/e2e/AdversarialSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "tests/common/TestSupport.h"

namespace e2e {
namespace {

constexpr uid_t kNobody = 65534;

// Every check that waits for another branch, in one place: a merge of the mend removes its lines. None waits now.
const std::map<std::string, PendingMend> kPending = {};

std::string describeEntry(int dirfd, const char* name, const struct stat& st, bool linksMayChange) {
    std::string text = "mode " + std::to_string(st.st_mode) + " owner " + std::to_string(st.st_uid) + ":" +
                       std::to_string(st.st_gid) + " mtime " + std::to_string(st.st_mtim.tv_sec) + "." +
                       std::to_string(st.st_mtim.tv_nsec);
    if (!S_ISDIR(st.st_mode)) {
        text += " size " + std::to_string(st.st_size);
    }
    if (!linksMayChange) {
        text += " links " + std::to_string(st.st_nlink) + " ctime " + std::to_string(st.st_ctim.tv_sec) + "." +
                std::to_string(st.st_ctim.tv_nsec);
    }
    if (S_ISLNK(st.st_mode)) {
        char target[4096];
        ssize_t n = readlinkat(dirfd, name, target, sizeof target);
        text += " target " + std::string(target, n > 0 ? static_cast<size_t>(n) : 0);
    } else if (S_ISREG(st.st_mode)) {
        int fd = openat(dirfd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOATIME);
        if (fd < 0) {
            fd = openat(dirfd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        }
        std::string content;
        char chunk[65536];
        for (ssize_t n; fd >= 0 && (n = read(fd, chunk, sizeof chunk)) > 0;) {
            content.append(chunk, static_cast<size_t>(n));
        }
        if (fd >= 0) {
            close(fd);
        }
        text += " content " + content;
    }
    return text;
}

void walk(int dirfd, const std::string& prefix, bool linksMayChange, std::map<std::string, std::string>& out) {
    for (const std::string& name : fcltest::entryNames(dirfd)) {
        struct stat st;
        if (fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        const std::string path = prefix + "/" + name;
        out[path] = describeEntry(dirfd, name.c_str(), st, linksMayChange);
        if (S_ISDIR(st.st_mode)) {
            int sub = openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) {
                walk(sub, path, linksMayChange, out);
                close(sub);
            }
        }
    }
}

// The directory holding the last component of `path`, opened piece by piece without following links; -1 when a
// piece is missing. `leaf` gets the last component.
int openParent(const std::string& path, std::string* leaf, bool make = false, mode_t mode = 0755) {
    int fd = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    size_t at = 0;
    while (fd >= 0) {
        while (at < path.size() && path[at] == '/') {
            ++at;
        }
        size_t slash = path.find('/', at);
        if (slash == std::string::npos) {
            *leaf = path.substr(at);
            return fd;
        }
        const std::string piece = path.substr(at, slash - at);
        if (make) {
            mkdirat(fd, piece.c_str(), mode);
        }
        int next = openat(fd, piece.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(fd);
        fd = next;
        at = slash + 1;
    }
    return -1;
}

thread_local uid_t g_giveUid;
thread_local gid_t g_giveGid;

int giveOne(const char* path, const struct stat*, int, FTW*) {
    lchown(path, g_giveUid, g_giveGid);
    return 0;
}

}  // namespace

const PendingMend* pendingMend(const std::string& check) {
    auto it = kPending.find(check);
    return it == kPending.end() || getenv("FCL_RUN_PENDING") != nullptr ? nullptr : &it->second;
}

const char* identityName(Identity who) {
    return who == Identity::Root ? "AsRoot" : "AsUser";
}

void PrintTo(Identity who, std::ostream* out) {
    *out << identityName(who);
}

uid_t userId() {
    return fcltest::isRoot() ? kNobody : getuid();
}

gid_t userGroup() {
    return fcltest::isRoot() ? kNobody : getgid();
}

uid_t uidOf(Identity who) {
    return who == Identity::Root ? 0 : userId();
}

gid_t gidOf(Identity who) {
    return who == Identity::Root ? 0 : userGroup();
}

std::string cannotRunAs(Identity who) {
    return who == Identity::Root && !fcltest::isRoot() ? "restoring as root needs root" : "";
}

std::string runAs(Identity who, const std::function<std::string()>& body) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return "<no pipe>";
    }
    fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        if (who == Identity::User && fcltest::isRoot() &&
            (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
             setresuid(kNobody, kNobody, kNobody) != 0)) {
            _exit(3);
        }
        const std::string text = body();
        size_t done = 0;
        while (done < text.size()) {
            ssize_t n = write(pipeFds[1], text.data() + done, text.size() - done);
            if (n <= 0) {
                break;
            }
            done += static_cast<size_t>(n);
        }
        _exit(0);
    }
    close(pipeFds[1]);
    std::string text;
    char chunk[4096];
    for (ssize_t n; (n = read(pipeFds[0], chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "<the child ended with status " + std::to_string(status) + ">";
    }
    return text;
}

std::vector<std::string> commandAs(Identity who, const std::vector<std::string>& argv) {
    if (who == Identity::Root || !fcltest::isRoot()) {
        return argv;
    }
    std::vector<std::string> command{"setpriv", "--reuid=" + std::to_string(kNobody),
                                     "--regid=" + std::to_string(kNobody), "--clear-groups"};
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

void giveTree(const std::string& path, Identity who) {
    g_giveUid = uidOf(who);
    g_giveGid = gidOf(who);
    nftw(path.c_str(), giveOne, 64, FTW_PHYS);
}

Untouchable::Untouchable(std::string root)
    : root_(std::move(root)), before_(take(false)), beforeWithoutLinks_(take(true)) {}

std::map<std::string, std::string> Untouchable::take(bool linksMayChange) const {
    std::map<std::string, std::string> entries;
    int fd = open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        entries[""] = "missing";
        return entries;
    }
    struct stat st;
    fstat(fd, &st);
    // The directory itself by its mode and owner: its times change with any entry, which the walk reports itself.
    entries[""] =
        "mode " + std::to_string(st.st_mode) + " owner " + std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid);
    walk(fd, "", linksMayChange, entries);
    close(fd);
    return entries;
}

std::string Untouchable::changes(bool linksMayChange) const {
    const std::map<std::string, std::string>& before = linksMayChange ? beforeWithoutLinks_ : before_;
    const std::map<std::string, std::string> now = take(linksMayChange);
    std::string text;
    for (const auto& entry : before) {
        auto it = now.find(entry.first);
        if (it == now.end()) {
            text += root_ + entry.first + " vanished\n";
        } else if (it->second != entry.second) {
            text += root_ + entry.first + " changed: was " + entry.second + ", is " + it->second + "\n";
        }
    }
    for (const auto& entry : now) {
        if (before.count(entry.first) == 0) {
            text += root_ + entry.first + " appeared: " + entry.second + "\n";
        }
    }
    return text;
}

std::string ResultLine::path() const {
    std::string text = this->text.substr(0, this->text.find("  [ "));
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    // The item type the job appends after two blanks: " DATA", " STUB", ...
    size_t blanks = text.rfind("  ");
    if (blanks != std::string::npos && blanks + 2 < text.size() &&
        std::all_of(text.begin() + static_cast<long>(blanks) + 2, text.end(),
                    [](char c) { return std::isupper(static_cast<unsigned char>(c)) || c == '_'; })) {
        text.erase(blanks);
    }
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

std::vector<ResultLine> readResults(const std::string& path) {
    std::vector<ResultLine> lines;
    std::ifstream in(path, std::ios::binary);
    std::string text;
    while (std::getline(in, text)) {
        ResultLine line;
        line.text = text;
        size_t tab = text.rfind('\t');
        if (tab != std::string::npos && tab + 1 < text.size() &&
            text.find_first_not_of("0123456789", tab + 1) == std::string::npos) {
            line.status = std::stoi(text.substr(tab + 1));
            line.text = text.substr(0, tab);
        }
        lines.push_back(line);
    }
    return lines;
}

std::string findResults(const std::string& resultsDir) {
    std::string newest;
    struct timespec newestTime = {0, 0};
    int top = open(resultsDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (top < 0) {
        return "";
    }
    for (const std::string& zendrel : fcltest::entryNames(top)) {
        int zfd = openat(top, zendrel.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (zfd < 0) {
            continue;
        }
        for (const std::string& job : fcltest::entryNames(zfd)) {
            const std::string candidate = resultsDir + "/" + zendrel + "/" + job + "/restore.results";
            struct stat st;
            if (stat(candidate.c_str(), &st) == 0 &&
                (newest.empty() || st.st_mtim.tv_sec > newestTime.tv_sec ||
                 (st.st_mtim.tv_sec == newestTime.tv_sec && st.st_mtim.tv_nsec > newestTime.tv_nsec))) {
                newest = candidate;
                newestTime = st.st_mtim;
            }
        }
        close(zfd);
    }
    close(top);
    return newest;
}

Racer::Racer(std::function<void()> step, std::chrono::milliseconds limit) {
    thread_ = std::thread([this, step = std::move(step), limit] {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!stopping_.load() && std::chrono::steady_clock::now() < deadline) {
            step();
            rounds_.fetch_add(1);
        }
    });
}

Racer::~Racer() {
    stop();
}

uint64_t Racer::stop() {
    stopping_.store(true);
    if (thread_.joinable()) {
        thread_.join();
    }
    return rounds_.load();
}

bool makeDirectories(const std::string& path, mode_t mode) {
    std::string leaf;
    int fd = openParent(path, &leaf, true, mode);
    if (fd < 0) {
        return false;
    }
    bool made = mkdirat(fd, leaf.c_str(), mode) == 0 || errno == EEXIST;
    close(fd);
    return made;
}

std::string readAnyPath(const std::string& path) {
    std::string leaf;
    int dir = openParent(path, &leaf);
    int fd = dir >= 0 ? openat(dir, leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC) : -1;
    if (dir >= 0) {
        close(dir);
    }
    if (fd < 0) {
        return "<missing>";
    }
    std::string content;
    char chunk[65536];
    for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;) {
        content.append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    return content;
}

bool existsAnyPath(const std::string& path) {
    std::string leaf;
    int dir = openParent(path, &leaf);
    if (dir < 0) {
        return false;
    }
    struct stat st;
    bool exists = fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    close(dir);
    return exists;
}

}  // namespace e2e
