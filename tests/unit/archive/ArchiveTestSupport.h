#pragma once
// Helpers of the archive tests: reading archive files independently of the mover, running fcl-pack, and
// draining the archive reader.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/archive/ArchiveIndex.h"
#include "protocol/CXFileHeader.h"

class FsRestoreArchive;

namespace archivetest {

// One buffer as it lies in the file (or as it was handed out): header and payload.
struct RawBuffer {
    uint64_t offset = 0;
    uint32_t type = 0;
    std::vector<unsigned char> bytes;

    uint32_t payloadLength() const { return static_cast<uint32_t>(bytes.size() - 96); }
    const unsigned char* payload() const { return bytes.data() + 96; }
};

// Splits an archive file into its buffers by the two lengths alone; fails the test on a ragged end.
std::vector<RawBuffer> splitArchive(const std::string& path);
// The buffers from `offset` through the item's end and any further hard-link names after it.
std::vector<RawBuffer> itemAt(const std::vector<RawBuffer>& all, uint64_t offset);
std::vector<fclarchive::IndexEntry> readIndex(const std::string& path);

// The host-order header in a PL_FS_HDR buffer.
CXFileHeader headerOf(const RawBuffer& buffer);
uint32_t preHeaderFlags(const RawBuffer& buffer);
std::string preHeaderName(const RawBuffer& buffer);

// One item of a stream, taken apart.
struct StreamItem {
    uint64_t offset = 0;  // of its first buffer
    bool groupStart = false;
    uint32_t preHeaderFlags = 0;
    std::string preHeaderName;
    CXFileHeader header;
    std::vector<std::vector<unsigned char>> indexHeaders;  // PL_FS_INDEX_HDR payloads, in order
    bool hasOptHeader = false;
    std::vector<unsigned char> optHeader;
    std::string data;                                 // its PL_DATA payloads joined
    std::vector<std::pair<uint32_t, uint64_t>> body;  // each PL_DATA and PL_HOLE: type and length
    uint32_t end = 0;                                 // PL_FS_EOF or PL_FS_BAD_FILE
    std::vector<std::string> members;                 // further hard-link names (after the end, or in the header's
                                                      // PL_FS_OPT_HDR2 buffers after the first)
    std::vector<std::string> groupNames;              // the PL_FS_OPT_HDR2 names after the header, in order

    // The item's name: the first of its PL_FS_OPT_HDR2 names when its header carries only a placeholder.
    std::string name() const { return groupNames.empty() ? std::string(header.h_filename) : groupNames.front(); }
};
// Takes a stream apart item by item; fails the test on a buffer out of place.
std::vector<StreamItem> itemsOf(const std::vector<RawBuffer>& buffers);

// Runs fcl-pack with `arguments`; its exit status, its standard error in `errors`.
int runPack(const std::vector<std::string>& arguments, std::string* errors = nullptr);
// Runs `program` (looked up on PATH when it has no slash) the same way.
int runProgram(const std::string& program, const std::vector<std::string>& arguments, std::string* errors = nullptr);

// What the reader handed out: buffers until a PL_FS_CLOSE_AFILE (included) or a failed read.
struct Drained {
    std::vector<RawBuffer> buffers;
    bool failed = false;
    int errorCode = 0;
};
Drained drain(FsRestoreArchive& archive);

}  // namespace archivetest
