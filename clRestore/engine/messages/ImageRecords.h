#pragma once
// What the image-level handlers read from the records the FIR sends: the attribute record of a file (read in host
// order, each field only when the record holds it), ext3 on-disk ACLs, and the queue's own copies of file pieces.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/FsrImageRecords.h"

class FclRestore;

namespace image {

// The check at every entry: true, after its line, when the job is fatal or was stopped.
bool jobKilled(FclRestore& job);

class AttributeRecord {
public:
    AttributeRecord(const unsigned char* bytes, size_t length)
        : bytes_(bytes), length_(bytes != nullptr ? length : 0) {}

    // Whether the record reaches the mode: the least a file's attributes need.
    bool usable() const { return holds(52, 4); }
    uint64_t frn() const { return u64(0); }
    uint32_t atime() const { return u32(20); }
    uint32_t mtime() const { return u32(24); }
    uint32_t uid() const { return u32(44); }
    uint32_t gid() const { return u32(48); }
    uint32_t mode() const { return u32(52); }
    bool linkTargetInline() const;
    // The inline link target and the security label, each ending at its NUL within its place in the record; false
    // when the record does not hold a terminated text there.
    bool linkTarget(std::string& target) const { return text(72, 133, target); }
    bool label(std::string& text) const;

private:
    bool holds(size_t offset, size_t width) const { return offset + width <= length_; }
    uint32_t u32(size_t offset) const;
    uint64_t u64(size_t offset) const;
    bool text(size_t offset, size_t end, std::string& out) const;

    const unsigned char* bytes_;
    size_t length_;
};

// One entry of an ext3 on-disk ACL.
struct AclEntry {
    uint16_t tag = 0;
    uint16_t perm = 0;
    uint32_t id = 0;
    bool named() const { return tag == 0x02 || tag == 0x08; }
};

// The number of entries an ext3 ACL of `length` bytes holds (its 4-byte header included); -1 for any other length.
int ext3_acl_count(int length);
// Reads the entries of an ext3 ACL: their count, or -1 (nothing read) when the length is not one an ACL has or an
// entry's tag is none of the six known ones.
int readExt3Acl(const unsigned char* acl, int length, std::vector<AclEntry>& entries);
// The entries as a modify list, "setfacl -m " followed by "u::6,u:1000:6,g::4,m::6,o::4" (for the log).
int interpret_acl(char* acl, int length, std::string& command);
// Adds the entries to the access ACL of the item at `path` as a modify does: an entry of the same tag (and id)
// is replaced, others are kept, and the mask is recomputed unless one is given. A symbolic link is left alone.
// 0, or the errno of the failure.
int mergeAcl(const std::string& path, const std::vector<AclEntry>& entries);

// The queue's copy of a piece: every field, `name` in place of the piece's name, its own attribute record.
FSRImgAfileOffsets* copyPiece(const FSRImgAfileOffsets& piece, const char* name);
void releasePiece(FSRImgAfileOffsets* piece);

}  // namespace image

// The order of the queue: by archive file, then offset of the extent in it, then offset of the piece in the extent.
bool AfileOffsetCompare(FSRImgAfileOffsets* a, FSRImgAfileOffsets* b);
