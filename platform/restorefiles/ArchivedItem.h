#pragma once
// Reads one item of an archive file from its first buffer to its end, checking every buffer as the data mover does:
// what the extent restore stages and what the FIR driver learns of an item for an image-level job.
#include <cstdint>
#include <functional>
#include <string>

namespace wzrestorefiles {

// What the item's file header says, in host order.
struct ArchivedItemHeader {
    uint64_t mode = 0;
    uint64_t uid = 0;
    uint64_t gid = 0;
    uint64_t size = 0;
    uint64_t mtime = 0;
    uint32_t atime = 0;
    std::string name;
};

class ArchivedItemVisitor {
public:
    virtual ~ArchivedItemVisitor() = default;
    virtual void header(const ArchivedItemHeader&) {}
    // The optional header's payload as it stands.
    virtual void optionalHeader(const unsigned char*, size_t) {}
    // `length` bytes of the item's data at `position` of its data stream; false stops the reading.
    virtual bool data(uint64_t position, const unsigned char* bytes, size_t length) = 0;
    // A hole of `length` bytes at `position`; false stops the reading.
    virtual bool hole(uint64_t position, uint64_t length) = 0;
};

enum class ReadItemResult {
    kRead,     // the item's end was reached
    kStopped,  // the visitor stopped it
    kDamaged,  // the file cannot be read there, or a buffer is damaged or no item starts there
};

// Reads the item starting at `offset` of the archive file `path`; `why` tells a kDamaged result.
ReadItemResult readArchivedItem(const std::string& path, uint64_t offset, ArchivedItemVisitor& visitor,
                                std::string* why);

}  // namespace wzrestorefiles
