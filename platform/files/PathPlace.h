#pragma once
// Where one path of one file call lands: a directory descriptor and a name for the *at call, or the object's own
// descriptor with AT_EMPTY_PATH. Internal to the file-call layer.
#include <fcntl.h>
#include <sys/types.h>

#include <memory>
#include <string>

#include "platform/files/GateRoot.h"
#include "platform/files/UniqueFd.h"

namespace wzfiles {
namespace detail {

class PathPlace {
public:
    // For a call on the object the path names, its final link followed or not: 0, or -1 with errno.
    int object(const char* path, bool follow);
    // For a look at the entry itself, its final link not followed (lstat): taken through the directory the thread
    // holds for looks (LookCache.h) when the entry or its parent is that directory.
    int entry(const char* path);
    // Whether the path names a directory, its final link not followed, holding it for the looks that follow (those of
    // the items made in it): 1 a directory, 0 none there (errno tells), -1 when this cannot tell and the caller looks
    // as lstat does.
    int directory(const char* path);
    // For a call on the final name within its parent directory (create, remove, rename, link).
    int parent(const char* path);
    // Opens the path as open(2) does.
    static int open(const char* path, int flags, mode_t mode);

    int dirfd() const { return dirfd_; }
    const char* name() const { return name_; }
    // AT_EMPTY_PATH when the place is the object itself, else 0.
    int atFlags() const { return atFlags_; }
    // True when the place is the thread's held directory itself.
    bool heldItself() const { return heldItself_; }

private:
    int locate(const char* path);
    bool beneath() const { return root_ != nullptr; }
    int ordinary(int base, const char* text);
    int heldObject(bool follow);

    std::shared_ptr<const GateRoot> root_;  // beneath the root when set; keeps its descriptor open
    std::string joined_;                    // a relative path joined to its base, only while a root is set
    const char* text_ = nullptr;            // the path as given
    const char* abs_ = nullptr;             // beneath: the absolute text
    const char* rest_ = nullptr;            // beneath: the text after the root
    int base_ = AT_FDCWD;                   // where a relative path starts
    UniqueFd held_;
    int dirfd_ = AT_FDCWD;
    const char* name_ = "";
    int atFlags_ = 0;
    bool heldItself_ = false;
};

}  // namespace detail
}  // namespace wzfiles
