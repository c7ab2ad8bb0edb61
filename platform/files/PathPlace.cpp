#include "platform/files/PathPlace.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/files/LookCache.h"
#include "platform/files/PathWalk.h"
#include "platform/files/ThreadDirectory.h"

namespace wzfiles {
namespace detail {

int PathPlace::locate(const char* path) {
    if (path == nullptr) {
        errno = EFAULT;
        return -1;
    }
    if (*path == '\0') {
        errno = ENOENT;
        return -1;
    }
    text_ = path;
    const bool relative = path[0] != '/';
    ThreadDirectory* current = relative ? &threadDirectory() : nullptr;
    if (current != nullptr && current->fd.valid()) {
        base_ = current->fd.get();
    }
    root_ = currentRoot();
    if (!root_) {
        return 0;
    }
    abs_ = path;
    if (relative) {
        if (current->fd.valid()) {
            joined_ = current->path;
        } else if (workingDirectory(joined_) != 0) {
            root_.reset();
            return -1;
        }
        joined_ += '/';
        joined_ += path;
        abs_ = joined_.c_str();
    }
    rest_ = root_->match(abs_);
    if (rest_ == nullptr) {
        // Walking into the root from outside could meet a link planted there; only the root's own text is let in.
        const bool entersRoot = root_->entersThroughDotDot(abs_);
        root_.reset();
        if (entersRoot) {
            errno = EXDEV;
            return -1;
        }
    }
    return 0;
}

int PathPlace::ordinary(int base, const char* text) {
    size_t len = std::strlen(text);
    if (len < PATH_MAX) {
        dirfd_ = base;
        name_ = text;
        return 0;
    }
    size_t parentLen = 0;
    name_ = splitLast(text, len, &parentLen);
    held_.reset(openPath(base, text, parentLen, kDirFlags, 0, Walk::kOrdinary));
    dirfd_ = held_.get();
    return held_.valid() ? 0 : -1;
}

namespace {

// A name that a look within its directory reaches without following anything: not ".", "..", nor ending in '/'.
bool isPlainName(const char* name) {
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
        return false;
    }
    return std::strchr(name, '/') == nullptr;
}

// A failed resolution means the tree is not what the held directory was taken from.
int dropHeldOnFailure(int result) {
    if (result < 0 && (errno == ENOENT || errno == ENOTDIR || errno == ELOOP || errno == EXDEV)) {
        dropHeldDirectory();
    }
    return result;
}

}  // namespace

int PathPlace::object(const char* path, bool follow) {
    if (locate(path) != 0) {
        return -1;
    }
    if (!beneath()) {
        return ordinary(base_, text_);
    }
    return heldObject(follow);
}

int PathPlace::entry(const char* path) {
    if (locate(path) != 0) {
        return -1;
    }
    if (!beneath()) {
        return ordinary(base_, text_);
    }
    const size_t len = std::strlen(rest_);
    if (len == 0 || len >= PATH_MAX) {
        return heldObject(false);
    }
    const int itself = heldDirectory(*root_, rest_, len);
    if (itself >= 0) {
        dirfd_ = itself;
        name_ = "";
        atFlags_ = AT_EMPTY_PATH;
        heldItself_ = true;
        return 0;
    }
    size_t parentLen = 0;
    const char* name = splitLast(rest_, len, &parentLen);
    if (!isPlainName(name)) {
        return heldObject(false);
    }
    if (parentLen == 0) {
        dirfd_ = root_->fd.get();
        name_ = name;
        return 0;
    }
    int parentFd = heldDirectory(*root_, rest_, parentLen);
    if (parentFd < 0) {
        parentFd = dropHeldOnFailure(holdDirectory(*root_, rest_, parentLen));
        if (parentFd < 0 && (errno == ENOTDIR || errno == ELOOP)) {
            // The parent's name is a link (or no directory): the look resolves the whole path, as it always did.
            return heldObject(false);
        }
        if (parentFd < 0) {
            return -1;
        }
    }
    dirfd_ = parentFd;
    name_ = name;
    return 0;
}

int PathPlace::directory(const char* path) {
    if (locate(path) != 0 || !beneath()) {
        return -1;
    }
    const size_t len = std::strlen(rest_);
    size_t parentLen = 0;
    if (len == 0 || len >= PATH_MAX || !isPlainName(splitLast(rest_, len, &parentLen))) {
        return -1;
    }
    if (heldDirectory(*root_, rest_, len) >= 0 || dropHeldOnFailure(holdDirectory(*root_, rest_, len)) >= 0) {
        return 1;
    }
    return errno == ENOENT || errno == ENOTDIR || errno == ELOOP ? 0 : -1;
}

int PathPlace::heldObject(bool follow) {
    atFlags_ = AT_EMPTY_PATH;
    name_ = "";
    if (*rest_ == '\0') {
        dirfd_ = root_->fd.get();
        return 0;
    }
    held_.reset(dropHeldOnFailure(openPath(root_->fd.get(), rest_, std::strlen(rest_),
                                           O_PATH | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW), 0, Walk::kBeneath)));
    dirfd_ = held_.get();
    return held_.valid() ? 0 : -1;
}

int PathPlace::parent(const char* path) {
    if (locate(path) != 0) {
        return -1;
    }
    if (!beneath()) {
        return ordinary(base_, text_);
    }
    // The root itself: its name lives in the directory above, which is not beneath it.
    if (*rest_ == '\0') {
        return ordinary(AT_FDCWD, abs_);
    }
    size_t parentLen = 0;
    name_ = splitLast(rest_, std::strlen(rest_), &parentLen);
    if (parentLen == 0) {
        dirfd_ = root_->fd.get();
        return 0;
    }
    held_.reset(dropHeldOnFailure(openPath(root_->fd.get(), rest_, parentLen, kDirFlags, 0, Walk::kBeneath)));
    dirfd_ = held_.get();
    return held_.valid() ? 0 : -1;
}

int PathPlace::open(const char* path, int flags, mode_t mode) {
    PathPlace place;
    if (place.locate(path) != 0) {
        return -1;
    }
    if (place.beneath()) {
        const char* rest = *place.rest_ != '\0' ? place.rest_ : ".";
        return dropHeldOnFailure(openPath(place.root_->fd.get(), rest, std::strlen(rest), flags, mode, Walk::kBeneath));
    }
    return openPath(place.base_, place.text_, std::strlen(place.text_), flags, mode, Walk::kOrdinary);
}

}  // namespace detail
}  // namespace wzfiles
