#pragma once
// The fixture language of the end-to-end tests: a tree described in a few lines of a table, built in a scratch
// directory. A row names an item by its path under the tree's root and says what it is:
//
//   file("big", 3 * kMiB),
//   sparse("holes/middle", kMiB, {{256 * kKiB, 512 * kKiB}}),
//   dir("shared").mode(01777).owner(0, 100),
//   symlink("link", "../big"),
//
// Directories on the way to an item are made with mode 0755 unless a row names them. Data is a pattern of the item's
// name, without a zero page, so a hole is never mistaken for written zeros.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/fcl-holes/DataRuns.h"

namespace e2e {

constexpr uint64_t kKiB = 1024;
constexpr uint64_t kMiB = 1024 * kKiB;

enum class Kind { File, Dir, Symlink, HardLink, Fifo, Socket, CharDevice, BlockDevice };

// A hole of an item, or a data run of a file.
using Range = fclholes::DataRun;

struct Xattr {
    std::string name;
    std::string value;
};

struct Item {
    std::string name;
    Kind kind = Kind::File;
    uint64_t size = 0;
    mode_t permissions = 0;  // 0: 0644 for files, 0755 for directories
    uid_t uid = static_cast<uid_t>(-1);
    gid_t gid = static_cast<gid_t>(-1);
    std::vector<Range> holes;  // page-aligned, within the size
    std::vector<Xattr> xattrs;
    std::string accessAcl;   // short text form; "" for none
    std::string defaultAcl;  // of a directory; "" for none
    std::string target;      // a symbolic link's text, or the first name of a hard link
    dev_t rdev = 0;          // a device node's numbers

    Item& mode(mode_t bits) {
        permissions = bits;
        return *this;
    }
    Item& owner(uid_t user, gid_t group) {
        uid = user;
        gid = group;
        return *this;
    }
    Item& xattr(std::string key, std::string value) {
        xattrs.push_back({std::move(key), std::move(value)});
        return *this;
    }
    Item& acl(std::string text) {
        accessAcl = std::move(text);
        return *this;
    }
    Item& defaultAclOf(std::string text) {
        defaultAcl = std::move(text);
        return *this;
    }
    bool hasOwner() const { return uid != static_cast<uid_t>(-1) || gid != static_cast<gid_t>(-1); }
};

using TreeLayout = std::vector<Item>;

Item file(std::string name, uint64_t size);
Item sparse(std::string name, uint64_t size, std::vector<Range> holes);
Item dir(std::string name);
Item symlink(std::string name, std::string target);
Item hardlink(std::string name, std::string firstName);
Item fifo(std::string name);
// A Unix-domain socket node (no one listens on it).
Item socketNode(std::string name);
// Device nodes with the numbers `major`:`minor` (only root can make them).
Item charDevice(std::string name, unsigned major, unsigned minor);
Item blockDevice(std::string name, unsigned major, unsigned minor);

// True when an item sets owners or is a device node, so that only root can build the tree.
bool needsRoot(const TreeLayout& plan);
// True when an item has holes.
bool hasHoles(const TreeLayout& plan);

// Builds `plan` under the existing directory `root`, then applies owners, modes and times (directories last, deepest
// first, so that building does not change them again). False with a reason when an item cannot be made.
bool buildTree(const std::string& root, const TreeLayout& plan, std::string* why);

}  // namespace e2e
