#include "tools/fcl-pack/ItemMetadata.h"

#include <acl/libacl.h>
#include <sys/acl.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

bool unsupported(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

// The ACLs travel as their own entries, not as the attributes that hold them.
bool isAclAttribute(const char* name) {
    return std::strcmp(name, "system.posix_acl_access") == 0 || std::strcmp(name, "system.posix_acl_default") == 0;
}

}  // namespace

void ItemMetadata::collect(const std::string& path, const struct stat& info, fclarchive::OptHeaderBuilder& builder,
                           std::vector<std::string>& warnings) {
    builder.clear();
    if (!S_ISLNK(info.st_mode)) {
        addAcl(path, ACL_TYPE_ACCESS, fclarchive::kOptTagAccessAcl, builder, warnings);
        if (S_ISDIR(info.st_mode)) {
            addAcl(path, ACL_TYPE_DEFAULT, fclarchive::kOptTagDefaultAcl, builder, warnings);
        }
    }
    addXattrs(path, builder, warnings);
}

void ItemMetadata::addAcl(const std::string& path, int type, uint32_t tag, fclarchive::OptHeaderBuilder& builder,
                          std::vector<std::string>& warnings) {
    std::unique_ptr<void, int (*)(void*)> acl(acl_get_file(path.c_str(), static_cast<acl_type_t>(type)), acl_free);
    if (!acl) {
        if (!unsupported(errno)) {
            warnings.push_back("cannot read the ACL of " + path + ": " + strerror(errno));
        }
        return;
    }
    acl_t list = static_cast<acl_t>(acl.get());
    // An access ACL equal to the mode bits says nothing the header does not; an empty default ACL is none.
    if (type == ACL_TYPE_ACCESS && acl_equiv_mode(list, nullptr) == 0) {
        return;
    }
    if (type == ACL_TYPE_DEFAULT && acl_entries(list) <= 0) {
        return;
    }
    std::unique_ptr<char, int (*)(void*)> text(acl_to_any_text(list, nullptr, ',', TEXT_ABBREVIATE | TEXT_NUMERIC_IDS),
                                               acl_free);
    if (!text) {
        warnings.push_back("cannot write out the ACL of " + path + ": " + strerror(errno));
        return;
    }
    builder.add(tag, text.get(), std::strlen(text.get()));
}

void ItemMetadata::addXattrs(const std::string& path, fclarchive::OptHeaderBuilder& builder,
                             std::vector<std::string>& warnings) {
    ssize_t length;
    // The list can grow between asking its size and reading it: ask again then.
    for (;;) {
        length = llistxattr(path.c_str(), nullptr, 0);
        if (length <= 0) {
            if (length < 0 && !unsupported(errno)) {
                warnings.push_back("cannot list the extended attributes of " + path + ": " + strerror(errno));
            }
            return;
        }
        names_.resize(static_cast<size_t>(length));
        length = llistxattr(path.c_str(), names_.data(), names_.size());
        if (length >= 0 || errno != ERANGE) {
            break;
        }
    }
    if (length < 0) {
        warnings.push_back("cannot list the extended attributes of " + path + ": " + strerror(errno));
        return;
    }
    for (const char* name = names_.data(); name < names_.data() + length; name += std::strlen(name) + 1) {
        if (isAclAttribute(name)) {
            continue;
        }
        ssize_t size;
        for (;;) {
            size = lgetxattr(path.c_str(), name, nullptr, 0);
            if (size < 0) {
                break;
            }
            value_.resize(static_cast<size_t>(size) + 1);
            size = lgetxattr(path.c_str(), name, value_.data(), value_.size());
            if (size >= 0 || errno != ERANGE) {
                break;
            }
        }
        if (size < 0) {
            if (errno != ENODATA) {
                warnings.push_back("cannot read extended attribute " + std::string(name) + " of " + path + ": " +
                                   strerror(errno));
            }
            continue;
        }
        builder.addXattr(name, value_.data(), static_cast<size_t>(size));
    }
}
