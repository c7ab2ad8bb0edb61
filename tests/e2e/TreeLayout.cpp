#include "tests/e2e/TreeLayout.h"

#include <fcntl.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <set>

namespace e2e {
namespace {

// Every item's modification time: a fixed past moment plus its place in the build, whole seconds, so that a restore
// that leaves times alone, or gives one item another's, is seen.
constexpr time_t kFirstTime = 981158400;  // 2001-02-03

std::string parentOf(const std::string& name) {
    size_t slash = name.rfind('/');
    return slash == std::string::npos ? "" : name.substr(0, slash);
}

int depthOf(const std::string& name) {
    return name.empty() ? 0 : 1 + static_cast<int>(std::count(name.begin(), name.end(), '/'));
}

bool fail(std::string* why, const std::string& what, const std::string& name) {
    *why = what + " " + name + ": " + strerror(errno);
    return false;
}

// Never 0, and different for each offset and each name.
unsigned char patternByte(uint64_t seed, uint64_t offset) {
    uint64_t x = seed ^ (offset + 1) * 0x9e3779b97f4a7c15ull;
    x ^= x >> 31;
    x *= 0xbf58476d1ce4e5b9ull;
    x ^= x >> 29;
    return static_cast<unsigned char>(x % 255 + 1);
}

bool writeData(int fd, const Item& item, std::string* why) {
    const uint64_t seed = std::hash<std::string>()(item.name);
    std::vector<unsigned char> chunk;
    uint64_t offset = 0;
    std::vector<Range> holes = item.holes;
    std::sort(holes.begin(), holes.end(), [](const Range& a, const Range& b) { return a.offset < b.offset; });
    holes.push_back({item.size, 0});
    for (const Range& hole : holes) {
        for (uint64_t at = offset; at < hole.offset;) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(hole.offset - at, kMiB));
            chunk.resize(n);
            for (size_t i = 0; i < n; ++i) {
                chunk[i] = patternByte(seed, at + i);
            }
            if (pwrite(fd, chunk.data(), n, static_cast<off_t>(at)) != static_cast<ssize_t>(n)) {
                return fail(why, "cannot write", item.name);
            }
            at += n;
        }
        offset = std::max(offset, hole.offset + hole.length);
    }
    if (ftruncate(fd, static_cast<off_t>(item.size)) != 0) {
        return fail(why, "cannot size", item.name);
    }
    return true;
}

bool makeItem(const std::string& root, const Item& item, std::string* why) {
    const std::string path = root + "/" + item.name;
    switch (item.kind) {
        case Kind::File: {
            int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0) {
                return fail(why, "cannot create", item.name);
            }
            bool written = writeData(fd, item, why);
            close(fd);
            return written;
        }
        case Kind::Dir:
            return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST || fail(why, "cannot make directory", item.name);
        case Kind::Symlink:
            return ::symlink(item.target.c_str(), path.c_str()) == 0 || fail(why, "cannot link", item.name);
        case Kind::HardLink:
            return link((root + "/" + item.target).c_str(), path.c_str()) == 0 || fail(why, "cannot link", item.name);
        case Kind::Fifo:
            return mkfifo(path.c_str(), 0600) == 0 || fail(why, "cannot make fifo", item.name);
        case Kind::Socket:
            return mknod(path.c_str(), S_IFSOCK | 0600, 0) == 0 || fail(why, "cannot make socket", item.name);
        case Kind::CharDevice:
            return mknod(path.c_str(), S_IFCHR | 0600, item.rdev) == 0 || fail(why, "cannot make device", item.name);
        case Kind::BlockDevice:
            return mknod(path.c_str(), S_IFBLK | 0600, item.rdev) == 0 || fail(why, "cannot make device", item.name);
    }
    return false;
}

// Makes the directories on the way to `name` that do not exist yet; their names go to `made`.
bool makeParents(const std::string& root, const std::string& name, std::set<std::string>* made, std::string* why) {
    std::string parent = parentOf(name);
    if (parent.empty() || made->count(parent) != 0) {
        return true;
    }
    if (!makeParents(root, parent, made, why)) {
        return false;
    }
    if (mkdir((root + "/" + parent).c_str(), 0700) != 0 && errno != EEXIST) {
        return fail(why, "cannot make directory", parent);
    }
    made->insert(parent);
    return true;
}

mode_t permissionsOf(const Item& item) {
    if (item.permissions != 0) {
        return item.permissions;
    }
    return item.kind == Kind::Dir ? 0755 : 0644;
}

bool setTime(const std::string& path, time_t when) {
    const timespec times[2] = {{when, 0}, {when, 0}};
    return utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace

Item file(std::string name, uint64_t size) {
    Item item;
    item.name = std::move(name);
    item.size = size;
    return item;
}

Item sparse(std::string name, uint64_t size, std::vector<Range> holes) {
    Item item = file(std::move(name), size);
    item.holes = std::move(holes);
    return item;
}

Item dir(std::string name) {
    Item item;
    item.name = std::move(name);
    item.kind = Kind::Dir;
    return item;
}

Item symlink(std::string name, std::string target) {
    Item item;
    item.name = std::move(name);
    item.kind = Kind::Symlink;
    item.target = std::move(target);
    return item;
}

Item hardlink(std::string name, std::string firstName) {
    Item item;
    item.name = std::move(name);
    item.kind = Kind::HardLink;
    item.target = std::move(firstName);
    return item;
}

Item fifo(std::string name) {
    Item item;
    item.name = std::move(name);
    item.kind = Kind::Fifo;
    return item;
}

Item socketNode(std::string name) {
    Item item;
    item.name = std::move(name);
    item.kind = Kind::Socket;
    return item;
}

Item charDevice(std::string name, unsigned major, unsigned minor) {
    Item item;
    item.name = std::move(name);
    item.kind = Kind::CharDevice;
    item.rdev = makedev(major, minor);
    return item;
}

Item blockDevice(std::string name, unsigned major, unsigned minor) {
    Item item = charDevice(std::move(name), major, minor);
    item.kind = Kind::BlockDevice;
    return item;
}

namespace {

// An ACL given in text, set on `path` (nothing for "").
bool setAcl(const std::string& path, acl_type_t type, const std::string& text) {
    if (text.empty()) {
        return true;
    }
    acl_t acl = acl_from_text(text.c_str());
    if (acl == nullptr) {
        return false;
    }
    const bool set = acl_set_file(path.c_str(), type, acl) == 0;
    acl_free(acl);
    return set;
}

}  // namespace

bool needsRoot(const TreeLayout& plan) {
    return std::any_of(plan.begin(), plan.end(), [](const Item& item) {
        return item.hasOwner() || item.kind == Kind::CharDevice || item.kind == Kind::BlockDevice;
    });
}

bool hasHoles(const TreeLayout& plan) {
    return std::any_of(plan.begin(), plan.end(), [](const Item& item) { return !item.holes.empty(); });
}

bool buildTree(const std::string& root, const TreeLayout& plan, std::string* why) {
    std::set<std::string> implicitDirs;
    for (const Item& item : plan) {
        if (!makeParents(root, item.name, &implicitDirs, why) || !makeItem(root, item, why)) {
            return false;
        }
        for (const Xattr& x : item.xattrs) {
            const std::string path = root + "/" + item.name;
            if (lsetxattr(path.c_str(), x.name.c_str(), x.value.data(), x.value.size(), 0) != 0) {
                return fail(why, "cannot set " + x.name + " on", item.name);
            }
        }
        if (!setAcl(root + "/" + item.name, ACL_TYPE_ACCESS, item.accessAcl) ||
            !setAcl(root + "/" + item.name, ACL_TYPE_DEFAULT, item.defaultAcl)) {
            return fail(why, "cannot set the ACLs of", item.name);
        }
        if (item.hasOwner() && lchown((root + "/" + item.name).c_str(), item.uid, item.gid) != 0) {
            return fail(why, "cannot give an owner to", item.name);
        }
    }
    // Times and modes: what is not a directory first, then directories from the deepest up, each directory's
    // mode last so that a directory without search permission is not needed again.
    struct Finish {
        std::string name;
        bool directory;
        mode_t mode;
        time_t time;
    };
    std::vector<Finish> finishes;
    time_t when = kFirstTime;
    for (const std::string& name : implicitDirs) {
        finishes.push_back({name, true, 0755, when += 3600});
    }
    for (const Item& item : plan) {
        if (item.kind == Kind::HardLink) {
            continue;
        }
        finishes.push_back(
            {item.name, item.kind == Kind::Dir, item.kind == Kind::Symlink ? 0 : permissionsOf(item), when += 3600});
    }
    finishes.push_back({"", true, 0755, when += 3600});
    std::stable_sort(finishes.begin(), finishes.end(), [](const Finish& a, const Finish& b) {
        if (a.directory != b.directory) {
            return !a.directory;
        }
        return a.directory && depthOf(a.name) > depthOf(b.name);
    });
    for (const Finish& f : finishes) {
        const std::string path = f.name.empty() ? root : root + "/" + f.name;
        if (f.mode != 0 && chmod(path.c_str(), f.mode) != 0) {
            return fail(why, "cannot set the mode of", f.name);
        }
        if (!setTime(path, f.time)) {
            return fail(why, "cannot set the time of", f.name);
        }
    }
    return true;
}

}  // namespace e2e
