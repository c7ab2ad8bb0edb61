#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/archive/StreamRecords.h"
#include "protocol/FSRPreHeader.h"
#include "tests/common/StreamFixtures.h"

namespace {

using fcltest::fromHex;

TEST(StreamRecords, FileHeaderEncodesToTheHandWrittenPayload) {
    std::vector<unsigned char> out(CXHDR_SIZE, 0xee);
    fclarchive::encodeFileHeader(fcltest::fileHeaderFixtureValues(), out.data());
    EXPECT_EQ(out, fcltest::fileHeaderFixture());
}

TEST(StreamRecords, FileHeaderNameIsTerminatedAndPaddedWhateverTheRecordHeld) {
    CXFileHeader header = fcltest::fileHeaderFixtureValues();
    memset(header.h_filename, 'q', sizeof header.h_filename);
    std::vector<unsigned char> out(CXHDR_SIZE, 0xee);
    fclarchive::encodeFileHeader(header, out.data());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data()) + CXHDR_FIXED_SIZE), std::string(1027, 'q'));
    EXPECT_EQ(out.back(), 0);
}

TEST(StreamRecords, ReadErrorEncodesToTheHandWrittenPayload) {
    fclarchive::ReadErrorRecord record;
    record.nodeNumLow = 7;
    record.secondValue = 9;
    record.archiveFileIdWord3 = 3;
    record.archiveFileIdWord4 = 4;
    record.archiveId = 42;
    record.offset = 0x100000200ULL;
    record.nodeNumHigh = 11;
    std::vector<unsigned char> out(fclarchive::kReadErrorPayloadSize, 0xee);
    fclarchive::encodeReadError(record, out.data());
    EXPECT_EQ(out, fcltest::readErrorFixture());
}

TEST(StreamRecords, PreHeaderCarriesFlagsVersionAndAPaddedName) {
    std::vector<unsigned char> out(sizeof(FSRPreHeader), 0xee);
    ASSERT_TRUE(fclarchive::encodePreHeader(FSR_PREHDR_FIRST_NAME | FSR_PREHDR_HARD_LINK, 3, "/a/b", out.data()));
    std::vector<unsigned char> want = fromHex("00 00 00 06  00 00 00 03  2f 61 2f 62");
    want.resize(sizeof(FSRPreHeader), 0);
    EXPECT_EQ(out, want);
}

TEST(StreamRecords, PreHeaderRefusesANameItCannotKeep) {
    std::vector<unsigned char> out(sizeof(FSRPreHeader), 0xee);
    EXPECT_TRUE(fclarchive::encodePreHeader(0, 0, std::string(1024, 'a').c_str(), out.data()));
    out.assign(out.size(), 0xee);
    EXPECT_FALSE(fclarchive::encodePreHeader(0, 0, std::string(1025, 'a').c_str(), out.data()));
    EXPECT_EQ(out[0], 0xee);
}

TEST(StreamRecords, HoleAndProbeReplyAreBigEndian) {
    unsigned char hole[4];
    fclarchive::encodeHole(0xfffffffe, hole);
    EXPECT_EQ(std::vector<unsigned char>(hole, hole + 4), fromHex("ff ff ff fe"));
    unsigned char reply[16];
    fclarchive::encodeProbeReply(4096, 1, reply);
    EXPECT_EQ(std::vector<unsigned char>(reply, reply + 16),
              fromHex("00 00 00 00 00 00 10 00  00 00 00 00 00 00 00 01"));
}

TEST(StreamRecords, OptionalHeaderHasItsPrefixThenTaggedEntries) {
    fclarchive::OptHeaderBuilder builder;
    EXPECT_TRUE(builder.empty());
    builder.add(fclarchive::kOptTagAccessAcl, "u::rw-", 6);
    builder.addXattr("user.k", "v", 1);
    std::vector<unsigned char> want = fromHex(R"(
        00 00 00 01  00 00 00 1e  00 00 00 00 00 00 00 00   # version 1, 30 bytes follow, 8 zero bytes
        00 00 00 01  00 00 00 06  75 3a 3a 72 77 2d         # access ACL "u::rw-"
        00 00 00 03  00 00 00 08  75 73 65 72 2e 6b 00 76   # xattr "user.k", NUL, "v"
    )");
    EXPECT_EQ(builder.payload(), want);

    builder.clear();
    EXPECT_TRUE(builder.empty());
    EXPECT_EQ(builder.payload(), fromHex("00 00 00 01  00 00 00 00  00 00 00 00 00 00 00 00"));
}

}  // namespace
