#include "platform/restorefiles/ArchivedItem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/archive/ArchiveFileReader.h"
#include "platform/archive/ArchiveFormat.h"
#include "platform/files/UniqueFd.h"
#include "platform/support/ByteOrder.h"
#include "protocol/CXFileHeader.h"
#include "protocol/PipelineBuffer.h"

namespace wzrestorefiles {
namespace {

using fclarchive::kHeaderSize;

ArchivedItemHeader decodeItemHeader(const unsigned char* payload) {
    ArchivedItemHeader header;
    header.mode = wzbytes::loadBE64(payload + 0x10);
    header.uid = wzbytes::loadBE64(payload + 0x18);
    header.gid = wzbytes::loadBE64(payload + 0x20);
    header.size = wzbytes::loadBE64(payload + 0x38);
    header.mtime = wzbytes::loadBE64(payload + 0x40);
    header.atime = wzbytes::loadBE32(payload + 0x7c);
    const char* name = reinterpret_cast<const char*>(payload + CXHDR_FIXED_SIZE);
    header.name.assign(name, strnlen(name, CXHDR_NAME_SIZE));
    return header;
}

}  // namespace

ReadItemResult readArchivedItem(const std::string& path, uint64_t offset, ArchivedItemVisitor& visitor,
                                std::string* why) {
    wzfiles::UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || fstat(fd.get(), &st) != 0) {
        *why = "cannot open " + path + ": " + strerror(errno);
        return ReadItemResult::kDamaged;
    }
    fclarchive::ArchiveFileReader reader(64 << 10);
    reader.attach(fd.get(), static_cast<uint64_t>(st.st_size));
    reader.seek(offset);
    std::vector<unsigned char> buffer;
    bool headerSeen = false;
    uint64_t position = 0;
    for (;;) {
        const uint64_t at = reader.position();
        const std::string where = path + " at offset " + std::to_string(at);
        unsigned char head[kHeaderSize];
        int error = reader.read(head, kHeaderSize);
        if (error != 0) {
            *why = "cannot read a buffer of " + where;
            return ReadItemResult::kDamaged;
        }
        const fclarchive::BufferHeader header = fclarchive::decodeHeader(head);
        if (const char* fault = fclarchive::headerFault(header, at, reader.size())) {
            *why = std::string(fault) + " in " + where;
            return ReadItemResult::kDamaged;
        }
        buffer.resize(header.payloadLength);
        if (header.payloadLength != 0 && reader.read(buffer.data(), header.payloadLength) != 0) {
            *why = "cannot read the payload of " + where;
            return ReadItemResult::kDamaged;
        }
        if (fclarchive::bufferCrc(head, buffer.data(), header.payloadLength) != header.crc) {
            *why = "checksum mismatch in " + where;
            return ReadItemResult::kDamaged;
        }
        if (!headerSeen && header.type != PL_FS_HDR && header.type != PL_FS_PREHDR) {
            *why = "no item starts in " + where;
            return ReadItemResult::kDamaged;
        }
        switch (header.type) {
            case PL_FS_HDR:
                if (headerSeen) {
                    *why = "a second item header without an end in " + where;
                    return ReadItemResult::kDamaged;
                }
                headerSeen = true;
                visitor.header(decodeItemHeader(buffer.data()));
                break;
            case PL_FS_OPT_HDR:
                visitor.optionalHeader(buffer.data(), buffer.size());
                break;
            case PL_DATA:
                if (!visitor.data(position, buffer.data(), buffer.size())) {
                    return ReadItemResult::kStopped;
                }
                position += buffer.size();
                break;
            case PL_HOLE: {
                const uint64_t length = wzbytes::loadBE32(buffer.data());
                if (!visitor.hole(position, length)) {
                    return ReadItemResult::kStopped;
                }
                position += length;
                break;
            }
            case PL_FS_EOF:
                return ReadItemResult::kRead;
            default:
                break;  // nothing of the item's contents
        }
    }
}

}  // namespace wzrestorefiles
