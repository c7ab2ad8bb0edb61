#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/archive/ArchiveFormat.h"
#include "protocol/PipelineBuffer.h"
#include "tests/common/StreamFixtures.h"
#include "tests/common/TestSupport.h"

namespace {

using fclarchive::BufferHeader;

TEST(ArchiveFormat, HeaderLaysOutItsFieldsBigEndianAndZeroElsewhere) {
    BufferHeader header;
    header.type = PL_FS_HDR;
    header.crc = 0xdeadbeef;
    header.offset = 0x0102030405060708ULL;
    header.payloadLength = 1160;
    header.compressedLength = 0x11223344;
    std::vector<unsigned char> out(96, 0xee);
    fclarchive::encodeHeader(header, out.data());
    std::vector<unsigned char> want = fcltest::fromHex(R"(
        46 53 52 42  00 00 00 80  de ad be ef  00 00 00 00   # magic "FSRB", type, CRC, 0
        01 02 03 04 05 06 07 08  00 00 00 00 00 00 00 00     # offset, 0
        00 00 00 00  00 00 04 88  11 22 33 44                # 0, payload length at 0x24, compressed at 0x28
    )");
    want.resize(96, 0);
    EXPECT_EQ(out, want);

    BufferHeader back = fclarchive::decodeHeader(out.data());
    EXPECT_EQ(back.magic, fclarchive::kBufferMagic);
    EXPECT_EQ(back.type, header.type);
    EXPECT_EQ(back.crc, header.crc);
    EXPECT_EQ(back.offset, header.offset);
    EXPECT_EQ(back.payloadLength, header.payloadLength);
    EXPECT_EQ(back.compressedLength, header.compressedLength);
}

TEST(ArchiveFormat, CrcIsZlibs) {
    EXPECT_EQ(fclarchive::payloadCrc("123456789", 9), 0xcbf43926u);
    EXPECT_EQ(fclarchive::payloadCrc(nullptr, 0), 0u);
}

// A buffer's CRC is zlib's CRC-32 of its 96 header bytes, the CRC field taken as zero, followed by its payload; so
// a change to any header byte but the CRC field's, or to the payload, changes it.
TEST(ArchiveFormat, BufferCrcCoversTheHeaderWithItsCrcFieldZeroThenThePayload) {
    const std::string payload = "some payload bytes";
    BufferHeader header;
    header.type = PL_DATA;
    header.offset = 4096;
    header.payloadLength = static_cast<uint32_t>(payload.size());
    header.compressedLength = 7;
    std::vector<unsigned char> bytes(96);
    fclarchive::encodeHeader(header, bytes.data());
    bytes.insert(bytes.end(), payload.begin(), payload.end());

    const uint32_t whole = fclarchive::payloadCrc(bytes.data(), bytes.size());
    EXPECT_EQ(fclarchive::bufferCrc(bytes.data(), bytes.data() + 96, payload.size()), whole);
    fclarchive::sealHeader(bytes.data(), bytes.data() + 96, payload.size());
    EXPECT_EQ(fclarchive::decodeHeader(bytes.data()).crc, whole);
    // The field itself is not covered: a sealed buffer checks against its own CRC.
    EXPECT_EQ(fclarchive::bufferCrc(bytes.data(), bytes.data() + 96, payload.size()), whole);

    for (size_t at : {size_t{0x04}, size_t{0x07}, size_t{0x17}, size_t{0x27}, size_t{0x2b}, size_t{0x5f}, size_t{96},
                      bytes.size() - 1}) {
        std::vector<unsigned char> flipped = bytes;
        flipped[at] ^= 0x01;
        EXPECT_NE(fclarchive::bufferCrc(flipped.data(), flipped.data() + 96, payload.size()), whole) << "byte " << at;
    }
    // An empty payload still counts the header.
    BufferHeader end;
    end.type = PL_FS_EOF;
    std::vector<unsigned char> endBytes(96);
    fclarchive::encodeHeader(end, endBytes.data());
    EXPECT_EQ(fclarchive::bufferCrc(endBytes.data(), nullptr, 0), fclarchive::payloadCrc(endBytes.data(), 96));
}

struct FaultCase {
    const char* name;
    uint32_t magic;
    uint32_t type;
    uint64_t offset;  // stored in the header; the buffer sits at 1000
    uint32_t length;
    uint64_t fileSize;
    bool sound;
};

class HeaderFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(HeaderFaults, OnlyAWholeSoundBufferPasses) {
    const FaultCase& c = GetParam();
    BufferHeader header;
    header.magic = c.magic;
    header.type = c.type;
    header.offset = c.offset;
    header.payloadLength = c.length;
    EXPECT_EQ(fclarchive::headerFault(header, 1000, c.fileSize) == nullptr, c.sound);
}

constexpr uint32_t M = fclarchive::kBufferMagic;
INSTANTIATE_TEST_SUITE_P(
    Archive, HeaderFaults,
    ::testing::Values(FaultCase{"sound", M, PL_DATA, 1000, 10, 1106, true},
                      FaultCase{"emptyAtEnd", M, PL_FS_EOF, 1000, 0, 1096, true},
                      FaultCase{"badMagic", M ^ 1, PL_DATA, 1000, 10, 1106, false},
                      FaultCase{"otherPlace", M, PL_DATA, 999, 10, 1106, false},
                      FaultCase{"runsPastEnd", M, PL_DATA, 1000, 11, 1106, false},
                      FaultCase{"headerPastEnd", M, PL_FS_EOF, 1000, 0, 1095, false},
                      FaultCase{"lengthWraps", M, PL_DATA, 1000, 0xffffffffu, UINT64_MAX, false},
                      FaultCase{"overLimit", M, PL_DATA, 1000, fclarchive::kMaxPayload + 1, UINT64_MAX, false},
                      FaultCase{"atLimit", M, PL_DATA, 1000, fclarchive::kMaxPayload, UINT64_MAX, true},
                      FaultCase{"shortFileHeader", M, PL_FS_HDR, 1000, 1159, UINT64_MAX, false},
                      FaultCase{"wholeFileHeader", M, PL_FS_HDR, 1000, 1160, UINT64_MAX, true},
                      FaultCase{"shortPreHeader", M, PL_FS_PREHDR, 1000, 1035, UINT64_MAX, false},
                      FaultCase{"shortHole", M, PL_HOLE, 1000, 3, UINT64_MAX, false},
                      FaultCase{"shortReadError", M, PL_FS_READ_ERR, 1000, 79, UINT64_MAX, false},
                      FaultCase{"shortProbeReply", M, PL_FS_PROBE_REPLY, 1000, 15, UINT64_MAX, false},
                      FaultCase{"shortOptHeader", M, PL_FS_OPT_HDR, 1000, 15, UINT64_MAX, false},
                      FaultCase{"unknownType", M, 0x1234, 1000, 10, UINT64_MAX, false},
                      FaultCase{"typeZero", M, 0, 1000, 10, UINT64_MAX, false},
                      FaultCase{"endOfArchive", M, PL_FS_CLOSE_AFILE, 1000, 0, UINT64_MAX, false},
                      FaultCase{"probeReply", M, PL_FS_PROBE_REPLY, 1000, 16, UINT64_MAX, true},
                      FaultCase{"readError", M, PL_FS_READ_ERR, 1000, 80, UINT64_MAX, true}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST(ArchiveFormat, ListsTheArchiveFilesOfAMediaDirectoryInOrder) {
    fcltest::ScratchDir media("media");
    for (const char* name : {"10.afile", "2.afile", "2.index", "x.afile", "3.afile.tmp", "7", ".afile", "-4.afile",
                             "18446744073709551615.afile", "18446744073709551616.afile", "5.index", "x.index"}) {
        fcltest::writeFile(media / name, "");
    }
    int error = -1;
    EXPECT_EQ(fclarchive::listArchiveFiles(media.path(), &error),
              (std::vector<uint64_t>{2, 10, 18446744073709551615ull}));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(fclarchive::listIndexFiles(media.path(), &error), (std::vector<uint64_t>{2, 5}));
    EXPECT_TRUE(fclarchive::listArchiveFiles(media / "missing", &error).empty());
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(fclarchive::archiveFilePath("/m", 7), "/m/7.afile");
    EXPECT_EQ(fclarchive::indexFilePath("/m", 7), "/m/7.index");
}

}  // namespace
