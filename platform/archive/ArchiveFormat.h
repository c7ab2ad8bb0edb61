#pragma once
// The archive-file format shared by the packer and the data mover. An archive file is the stream itself: a
// sequence of pipeline buffers, each a 96-byte header and its payload. Of the header the engine reads only the
// two lengths at 0x24 and 0x28; the magic, type, CRC and offset are ours, so a reader can tell a whole buffer
// from a damaged one. The CRC covers the header as well as the payload, so a damaged type, offset or length is
// caught like a damaged payload byte.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fclarchive {

constexpr uint32_t kBufferMagic = 0x46535242;  // "FSRB"
constexpr size_t kHeaderSize = 96;
// The largest payload a buffer may carry; anything longer is a damaged or hostile length.
constexpr uint32_t kMaxPayload = 16u << 20;
// The application type of every archive file of this platform (the Unix file-system set).
constexpr uint64_t kArchiveAppType = 29;

// Item kinds of the index.
constexpr const char* kKindFile = "file";
constexpr const char* kKindDirectory = "dir";
constexpr const char* kKindSymlink = "symlink";
constexpr const char* kKindFifo = "fifo";
constexpr const char* kKindSocket = "socket";
constexpr const char* kKindCharDevice = "chardev";
constexpr const char* kKindBlockDevice = "blockdev";
// A further name of a hard-link group; its offset is the group's first buffer.
constexpr const char* kKindHardLink = "hardlink";

struct BufferHeader {
    uint32_t magic = kBufferMagic;
    uint32_t type = 0;
    uint32_t crc = 0;
    uint64_t offset = 0;
    uint32_t payloadLength = 0;
    uint32_t compressedLength = 0;
};

// Writes all 96 bytes: the fields above, zero elsewhere.
void encodeHeader(const BufferHeader& header, unsigned char* out);
BufferHeader decodeHeader(const unsigned char* in);
// CRC-32 of a payload as zlib computes it.
uint32_t payloadCrc(const void* payload, size_t length);
// The CRC a buffer carries: CRC-32 of its 96 header bytes with the CRC field taken as zero, then of its payload.
uint32_t bufferCrc(const unsigned char* header, const void* payload, size_t length);
// Fills the header's CRC field (at 0x08) of an encoded buffer whose payload follows at `payload`.
void sealHeader(unsigned char* header, const void* payload, size_t length);
// Whether a buffer of `type` may lie in an archive file: a type the stream carries. PL_FS_CLOSE_AFILE is not one:
// the data mover alone sends it, when the archive is closed.
bool isArchiveBufferType(uint32_t type);
// The least payload a buffer of `type` needs to hold the record its reader takes from it; 0 for free-form ones.
uint32_t minimumPayload(uint32_t type);
// The framing fault of a buffer whose payload would run past the end of the file.
extern const char* const kEndsInsideBuffer;
// Why a header found at `at` in a file of `fileSize` bytes cannot be read as a buffer there (a phrase such as
// "no buffer header"); null when its payload can be read and checked. kEndsInsideBuffer when the file ends first.
const char* framingFault(const BufferHeader& header, uint64_t at, uint64_t fileSize);
// Why a buffer whose checksum matched is still no sound buffer of an archive file; null when it is one.
const char* contentFault(const BufferHeader& header);
// Either fault; null when the header may start a sound buffer (its CRC is checked once the payload is read).
const char* headerFault(const BufferHeader& header, uint64_t at, uint64_t fileSize);

std::string archiveFilePath(const std::string& mediaDir, uint64_t archiveFileId);
std::string indexFilePath(const std::string& mediaDir, uint64_t archiveFileId);
// The ids of the archive files in a media directory, in ascending order; none, with the errno in `error` when one
// is given, when the directory cannot be read.
std::vector<uint64_t> listArchiveFiles(const std::string& mediaDir, int* error = nullptr);
// The same for the index files.
std::vector<uint64_t> listIndexFiles(const std::string& mediaDir, int* error = nullptr);
// A number written in decimal digits only, as ids and offsets are; false when it is not one or exceeds 64 bits.
bool parseDecimal(const std::string& text, uint64_t& value);

}  // namespace fclarchive
