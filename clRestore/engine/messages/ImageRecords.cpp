#include "clRestore/engine/messages/ImageRecords.h"

#include <acl/libacl.h>
#include <fcntl.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files/FileCalls.h"
#include "platform/files/UniqueFd.h"

namespace image {

bool AttributeRecord::linkTargetInline() const {
    if (!holds(56, 2)) {
        return false;
    }
    uint16_t flag = 0;
    std::memcpy(&flag, bytes_ + 56, sizeof flag);
    return flag == 1;
}

bool AttributeRecord::label(std::string& out) const {
    return text(133, length_, out);
}

uint32_t AttributeRecord::u32(size_t offset) const {
    uint32_t value = 0;
    if (holds(offset, sizeof value)) {
        std::memcpy(&value, bytes_ + offset, sizeof value);
    }
    return value;
}

uint64_t AttributeRecord::u64(size_t offset) const {
    uint64_t value = 0;
    if (holds(offset, sizeof value)) {
        std::memcpy(&value, bytes_ + offset, sizeof value);
    }
    return value;
}

bool AttributeRecord::text(size_t offset, size_t end, std::string& out) const {
    out.clear();
    end = end < length_ ? end : length_;
    if (offset >= end) {
        return false;
    }
    const void* nul = std::memchr(bytes_ + offset, '\0', end - offset);
    if (nul == nullptr) {
        return false;
    }
    out.assign(reinterpret_cast<const char*>(bytes_ + offset),
               static_cast<const unsigned char*>(nul) - (bytes_ + offset));
    return true;
}

int ext3_acl_count(int length) {
    if (length < 4) {
        return -1;
    }
    const int rest = length - 4;
    if (rest < 16) {
        return rest % 4 == 0 ? rest / 4 : -1;
    }
    return (rest - 16) % 8 == 0 ? (rest - 16) / 8 + 4 : -1;
}

int readExt3Acl(const unsigned char* acl, int length, std::vector<AclEntry>& entries) {
    entries.clear();
    const int count = ext3_acl_count(length);
    if (count < 0 || acl == nullptr) {
        return -1;
    }
    size_t at = 4;
    const size_t end = static_cast<size_t>(length);
    while (at + 4 <= end) {
        AclEntry entry;
        std::memcpy(&entry.tag, acl + at, 2);
        std::memcpy(&entry.perm, acl + at + 2, 2);
        const bool known = entry.tag == 0x01 || entry.tag == 0x02 || entry.tag == 0x04 || entry.tag == 0x08 ||
                           entry.tag == 0x10 || entry.tag == 0x20;
        // An unknown tag has no known size: nothing after it can be placed, so the list is not used at all.
        if (!known || (entry.named() && at + 8 > end)) {
            entries.clear();
            return -1;
        }
        if (entry.named()) {
            std::memcpy(&entry.id, acl + at + 4, 4);
        }
        at += entry.named() ? 8 : 4;
        entries.push_back(entry);
    }
    return static_cast<int>(entries.size());
}

int interpret_acl(char* acl, int length, std::string& command) {
    std::vector<AclEntry> entries;
    const int count = readExt3Acl(reinterpret_cast<const unsigned char*>(acl), length, entries);
    command = "setfacl -m ";
    for (size_t i = 0; i < entries.size(); ++i) {
        const AclEntry& e = entries[i];
        static const struct {
            uint16_t tag;
            const char* text;
        } kPrefixes[] = {{0x01, "u::"}, {0x02, "u:"}, {0x04, "g::"}, {0x08, "g:"}, {0x10, "m::"}, {0x20, "o::"}};
        for (const auto& prefix : kPrefixes) {
            if (prefix.tag == e.tag) {
                command += prefix.text;
            }
        }
        if (e.named()) {
            command += std::to_string(static_cast<int>(e.id)) + ":";
        }
        command += std::to_string(e.perm);
        if (i + 1 < entries.size()) {
            command += ",";
        }
    }
    return count;
}

namespace {

acl_tag_t tagOf(uint16_t tag) {
    switch (tag) {
        case 0x01:
            return ACL_USER_OBJ;
        case 0x02:
            return ACL_USER;
        case 0x04:
            return ACL_GROUP_OBJ;
        case 0x08:
            return ACL_GROUP;
        case 0x10:
            return ACL_MASK;
        default:
            return ACL_OTHER;
    }
}

// The entry of `acl` with this tag (and, for a named one, this id); null when there is none.
acl_entry_t findEntry(acl_t acl, acl_tag_t tag, uint32_t id) {
    acl_entry_t entry = nullptr;
    for (int which = ACL_FIRST_ENTRY; acl_get_entry(acl, which, &entry) == 1; which = ACL_NEXT_ENTRY) {
        acl_tag_t have = ACL_UNDEFINED_TAG;
        if (acl_get_tag_type(entry, &have) != 0 || have != tag) {
            continue;
        }
        if (tag != ACL_USER && tag != ACL_GROUP) {
            return entry;
        }
        void* qualifier = acl_get_qualifier(entry);
        const bool same = qualifier != nullptr && *static_cast<uint32_t*>(qualifier) == id;
        acl_free(qualifier);
        if (same) {
            return entry;
        }
    }
    return nullptr;
}

int setEntry(acl_t* acl, const AclEntry& wanted) {
    const acl_tag_t tag = tagOf(wanted.tag);
    acl_entry_t entry = findEntry(*acl, tag, wanted.id);
    if (entry == nullptr) {
        if (acl_create_entry(acl, &entry) != 0 || acl_set_tag_type(entry, tag) != 0) {
            return errno;
        }
        if ((tag == ACL_USER || tag == ACL_GROUP) && acl_set_qualifier(entry, &wanted.id) != 0) {
            return errno;
        }
    }
    acl_permset_t perms = nullptr;
    if (acl_get_permset(entry, &perms) != 0 || acl_clear_perms(perms) != 0) {
        return errno;
    }
    const struct {
        uint16_t bit;
        acl_perm_t perm;
    } kBits[] = {{4, ACL_READ}, {2, ACL_WRITE}, {1, ACL_EXECUTE}};
    for (const auto& bit : kBits) {
        if ((wanted.perm & bit.bit) != 0 && acl_add_perm(perms, bit.perm) != 0) {
            return errno;
        }
    }
    return acl_set_permset(entry, perms) == 0 ? 0 : errno;
}

}  // namespace

int mergeAcl(const std::string& path, const std::vector<AclEntry>& entries) {
    // Held without following a final link, so the ACL lands on the restored item and never on what a link names.
    wzfiles::UniqueFd fd(open_utf(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid()) {
        return errno == ELOOP ? 0 : errno;
    }
    acl_t acl = acl_get_fd(fd.get());
    if (acl == nullptr) {
        return errno;
    }
    int error = 0;
    bool maskGiven = false;
    for (const AclEntry& entry : entries) {
        maskGiven = maskGiven || entry.tag == 0x10;
        if (error == 0) {
            error = setEntry(&acl, entry);
        }
    }
    if (error == 0 && !maskGiven && acl_equiv_mode(acl, nullptr) == 1 && acl_calc_mask(&acl) != 0) {
        error = errno;
    }
    if (error == 0 && acl_valid(acl) != 0) {
        error = EINVAL;
    }
    if (error == 0 && acl_set_fd(fd.get(), acl) != 0) {
        error = errno;
    }
    acl_free(acl);
    return error;
}

FSRImgAfileOffsets* copyPiece(const FSRImgAfileOffsets& piece, const char* name) {
    auto* copy = new FSRImgAfileOffsets(piece);
    const size_t length = std::strlen(name);
    copy->name = new char[length + 1];
    std::memcpy(copy->name, name, length + 1);
    copy->attributes = nullptr;
    if (piece.attrLength != 0 && piece.attributes != nullptr) {
        copy->attributes = new unsigned char[piece.attrLength];
        std::memcpy(copy->attributes, piece.attributes, piece.attrLength);
    } else {
        copy->attrLength = 0;
    }
    return copy;
}

void releasePiece(FSRImgAfileOffsets* piece) {
    if (piece != nullptr) {
        delete[] piece->name;
        delete[] piece->attributes;
        delete piece;
    }
}

}  // namespace image
