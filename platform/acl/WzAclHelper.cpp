#include "platform/acl/WzAclHelper.h"

#include <acl/libacl.h>
#include <fcntl.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/files/FileCalls.h"
#include "platform/files/UniqueFd.h"
#include "platform/support/ByteOrder.h"

namespace WzACL {

// Linux with libacl supports access-control lists.
std::atomic<bool> Helper::s_aclSupported(true);
std::atomic<unsigned int> Helper::s_options(0);
std::atomic<int> Helper::s_applyFailure(0);

namespace {

constexpr uint32_t kTagAccessAcl = 1;
constexpr uint32_t kTagDefaultAcl = 2;
constexpr uint32_t kTagXattr = 3;
// Cleared by any write to the file, so it goes on after the data.
const char kPostDataXattr[] = "security.capability";

bool unsupported(int err) {
    return err == ENOTSUP || err == EOPNOTSUPP || err == ENOSYS;
}

std::string procPathOf(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// True when `text` is an ACL in a form libacl reads; `extended` tells whether it says more than the mode bits.
bool parseAcl(const std::string& text, bool* extended) {
    acl_t acl = acl_from_text(text.c_str());
    if (acl == nullptr) {
        return false;
    }
    const bool valid = acl_valid(acl) == 0;
    if (extended != nullptr) {
        *extended = acl_equiv_mode(acl, nullptr) != 0;
    }
    acl_free(acl);
    return valid;
}

}  // namespace

Helper* Helper::getInstance(Type) {
    return new (std::nothrow) Helper();
}

void Helper::reset() {
    m_accessAcl.clear();
    m_defaultAcl.clear();
    m_hasAccessAcl = false;
    m_hasDefaultAcl = false;
    m_extendedAcl = false;
    m_preXattrs.clear();
    m_postXattrs.clear();
}

int Helper::fromNetworkBuffer(const void* buffer, int length, uint64_t) {
    reset();
    clearFailure();
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    const size_t size = length > 0 ? static_cast<size_t>(length) : 0;
    if (length < 0 || (size != 0 && buffer == nullptr)) {
        noteFailure(EINVAL, "bad optional-header buffer");
        return -1;
    }
    size_t at = 0;
    while (at < size) {
        if (size - at < 8) {
            noteFailure(EINVAL, "an entry header runs past the optional header");
            reset();
            return -1;
        }
        const uint32_t tag = wzbytes::loadBE32(bytes + at);
        const uint32_t valueLength = wzbytes::loadBE32(bytes + at + 4);
        at += 8;
        if (valueLength > size - at) {
            noteFailure(EINVAL, "an entry runs past the optional header");
            reset();
            return -1;
        }
        const char* value = reinterpret_cast<const char*>(bytes + at);
        at += valueLength;
        if (tag == kTagAccessAcl || tag == kTagDefaultAcl) {
            std::string text(value, strnlen(value, valueLength));
            bool extended = false;
            if (!parseAcl(text, &extended)) {
                noteFailure(EINVAL, "an ACL entry does not parse: " + text);
                reset();
                return -1;
            }
            if (tag == kTagAccessAcl) {
                m_accessAcl = text;
                m_hasAccessAcl = true;
                m_extendedAcl = extended;
            } else {
                m_defaultAcl = text;
                m_hasDefaultAcl = true;
            }
        } else if (tag == kTagXattr) {
            const size_t nameLength = strnlen(value, valueLength);
            if (nameLength == 0 || nameLength == valueLength) {
                noteFailure(EINVAL, "an extended-attribute entry has no name");
                reset();
                return -1;
            }
            Xattr xattr{std::string(value, nameLength),
                        std::string(value + nameLength + 1, valueLength - nameLength - 1)};
            (xattr.name == kPostDataXattr ? m_postXattrs : m_preXattrs).push_back(std::move(xattr));
        }
    }
    return 0;
}

void Helper::clearFailure() {
    m_lastErrno = 0;
    m_lastError.clear();
    m_fatal = false;
}

void Helper::noteFailure(int err, const std::string& what) {
    if (m_lastErrno != 0) {
        return;
    }
    m_lastErrno = err;
    m_lastError = what + ": " + strerror(err);
}

int Helper::set(const char* path, bool isLink) {
    return apply(path, isLink, false);
}

int Helper::setPostData(const char* path, bool isLink) {
    return apply(path, isLink, true);
}

int Helper::set(int fd) {
    clearFailure();
    return applyAt(fd, Target::kDescriptor, procPathOf(fd), false);
}

int Helper::setPostData(int fd) {
    clearFailure();
    return applyAt(fd, Target::kDescriptor, procPathOf(fd), true);
}

// An item is reached by a descriptor that does not follow its final name; a link found there is a link. A link is
// reached through its directory, so that its own attributes are set without following it.
int Helper::apply(const char* path, bool isLink, bool postData) {
    clearFailure();
    if (path == nullptr || *path == '\0') {
        noteFailure(EINVAL, "no path");
        m_fatal = true;
        return -1;
    }
    if (!isLink) {
        wzfiles::UniqueFd object(open_utf(path, O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat st;
        if (object.get() < 0 || fstat(object.get(), &st) != 0) {
            noteFailure(errno, std::string("cannot reach ") + path);
            m_fatal = true;
            return -1;
        }
        if (!S_ISLNK(st.st_mode)) {
            return applyAt(object.get(), Target::kObject, procPathOf(object.get()), postData);
        }
    }
    std::string name(path);
    while (name.size() > 1 && name.back() == '/') {
        name.pop_back();
    }
    const size_t slash = name.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
    name = slash == std::string::npos ? name : name.substr(slash + 1);
    wzfiles::UniqueFd directory(open_utf(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0) {
        noteFailure(errno, std::string("cannot reach the directory of ") + path);
        m_fatal = true;
        return -1;
    }
    return applyAt(directory.get(), Target::kLink, procPathOf(directory.get()) + "/" + name, postData);
}

int Helper::applyAt(int fd, Target target, const std::string& procPath, bool postData) {
    if (!postData && target != Target::kLink) {
        if (m_hasAccessAcl) {
            applyAcl(fd, target, procPath, false);
        }
        if (m_hasDefaultAcl) {
            applyAcl(fd, target, procPath, true);
        }
    }
    for (const Xattr& xattr : postData ? m_postXattrs : m_preXattrs) {
        applyXattr(fd, target, procPath, xattr);
    }
    return m_lastErrno == 0 ? 0 : -1;
}

void Helper::applyAcl(int fd, Target target, const std::string& procPath, bool isDefault) {
    int injected = s_applyFailure.load();
    int rc = -1;
    if (injected != 0) {
        errno = injected;
    } else {
        acl_t acl = acl_from_text((isDefault ? m_defaultAcl : m_accessAcl).c_str());
        if (acl != nullptr) {
            // An access ACL goes by the descriptor when there is a writable one; a default ACL only by name.
            rc = !isDefault && target == Target::kDescriptor
                     ? acl_set_fd(fd, acl)
                     : acl_set_file(procPath.c_str(), isDefault ? ACL_TYPE_DEFAULT : ACL_TYPE_ACCESS, acl);
            const int err = errno;
            acl_free(acl);
            errno = err;
        }
    }
    if (rc != 0) {
        const int err = errno;
        noteFailure(err, isDefault ? "cannot set the default ACL" : "cannot set the access ACL");
        m_fatal = m_fatal || !unsupported(err);
    }
}

void Helper::applyXattr(int fd, Target target, const std::string& procPath, const Xattr& xattr) {
    int injected = s_applyFailure.load();
    int rc = -1;
    if (injected != 0) {
        errno = injected;
    } else if (target == Target::kDescriptor) {
        rc = fsetxattr(fd, xattr.name.c_str(), xattr.value.data(), xattr.value.size(), 0);
    } else if (target == Target::kObject) {
        rc = setxattr(procPath.c_str(), xattr.name.c_str(), xattr.value.data(), xattr.value.size(), 0);
    } else {
        rc = lsetxattr(procPath.c_str(), xattr.name.c_str(), xattr.value.data(), xattr.value.size(), 0);
    }
    if (rc != 0) {
        const int err = errno;
        noteFailure(err, "cannot set extended attribute " + xattr.name);
        m_fatal = m_fatal || !unsupported(err);
    }
}

int Helper::getXattr(const char* path, const char* name, void* buffer, size_t size) {
    wzfiles::UniqueFd object(open_utf(path, O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (object.get() < 0) {
        return -1;
    }
    struct stat st;
    if (fstat(object.get(), &st) != 0 || S_ISLNK(st.st_mode)) {
        return -1;
    }
    const ssize_t length = getxattr(procPathOf(object.get()).c_str(), name, buffer, size);
    return length < 0 ? -1 : static_cast<int>(length);
}

}  // namespace WzACL
