#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "clRestore/stream/ConvertCXFileHeader.h"
#include "tests/common/StreamFixtures.h"

namespace {

CXFileHeader* asHeader(std::vector<unsigned char>& payload) {
    return reinterpret_cast<CXFileHeader*>(payload.data());
}

void expectSameFields(const CXFileHeader& got, const CXFileHeader& want) {
    EXPECT_EQ(got.h_version, want.h_version);
    EXPECT_EQ(got.h_spare04, want.h_spare04);
    EXPECT_EQ(got.h_nlink, want.h_nlink);
    EXPECT_EQ(got.h_namelen, want.h_namelen);
    EXPECT_EQ(got.h_mode, want.h_mode);
    EXPECT_EQ(got.h_uid, want.h_uid);
    EXPECT_EQ(got.h_gid, want.h_gid);
    EXPECT_EQ(got.h_spare28, want.h_spare28);
    EXPECT_EQ(got.h_dev, want.h_dev);
    EXPECT_EQ(got.h_flags, want.h_flags);
    EXPECT_EQ(got.h_size, want.h_size);
    EXPECT_EQ(got.h_mtime, want.h_mtime);
    EXPECT_EQ(got.h_ctime, want.h_ctime);
    EXPECT_EQ(got.h_extentOffset, want.h_extentOffset);
    EXPECT_EQ(got.h_spare58, want.h_spare58);
    EXPECT_EQ(got.h_spare60, want.h_spare60);
    EXPECT_EQ(got.h_spare64, want.h_spare64);
    EXPECT_EQ(got.h_inoHigh, want.h_inoHigh);
    EXPECT_EQ(got.h_flags2, want.h_flags2);
    EXPECT_EQ(got.h_rdev, want.h_rdev);
    EXPECT_EQ(got.h_inoLow, want.h_inoLow);
    EXPECT_EQ(0, memcmp(&got.isFromHFS, &want.isFromHFS, 4));
    EXPECT_EQ(got.h_atime, want.h_atime);
    EXPECT_EQ(got.h_platform, want.h_platform);
    EXPECT_EQ(0, memcmp(got.h_filename, want.h_filename, CXHDR_NAME_SIZE));
}

TEST(ConvertCXFileHeader, HandWrittenPayloadGivesEachFieldInHostOrder) {
    std::vector<unsigned char> payload = fcltest::fileHeaderFixture();
    CXFileHeader host;
    EXPECT_EQ(ConvertCXFileHeaderFromNetOrder(asHeader(payload), &host), 0);
    expectSameFields(host, fcltest::fileHeaderFixtureValues());
    // The second names read the same storage.
    EXPECT_EQ(host.mode, 0100644u);
    EXPECT_EQ(host.sourcePlatform, 25);
    EXPECT_EQ(host.inodeLow, 0x89abcdefu);
    EXPECT_STREQ(host.name, fcltest::kFixtureName);
}

TEST(ConvertCXFileHeader, PayloadIsReadOnlyAndInPlaceConversionAgrees) {
    std::vector<unsigned char> payload = fcltest::fileHeaderFixture();
    const std::vector<unsigned char> before = payload;
    CXFileHeader host;
    ConvertCXFileHeaderFromNetOrder(asHeader(payload), &host);
    EXPECT_EQ(payload, before);

    EXPECT_EQ(ConvertCXFileHeaderFromNetOrder(asHeader(payload), asHeader(payload)), 0);
    expectSameFields(*asHeader(payload), host);
}

TEST(ConvertCXFileHeader, BytesAt0x78StayAsTheyArrived) {
    std::vector<unsigned char> payload = fcltest::fileHeaderFixture();
    CXFileHeader host;
    ConvertCXFileHeaderFromNetOrder(asHeader(payload), &host);
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(&host) + 0x78;
    EXPECT_EQ(raw[0], 0x01);
    EXPECT_EQ(raw[1], 0x02);
    EXPECT_EQ(raw[2], 0x03);
    EXPECT_EQ(raw[3], 0x04);
    EXPECT_EQ(host.h_isHfs, 0x01);
}

TEST(ConvertCXFileHeader, NegativePlatformStaysNegative) {
    std::vector<unsigned char> payload = fcltest::fileHeaderFixture();
    const std::vector<unsigned char> minusFive = fcltest::fromHex("ff ff ff fb");
    std::copy(minusFive.begin(), minusFive.end(), payload.begin() + 0x80);
    CXFileHeader host;
    ConvertCXFileHeaderFromNetOrder(asHeader(payload), &host);
    EXPECT_EQ(host.h_platform, -5);
}

TEST(ConvertCXFileHeader, NameFillingAllBytesIsCutTo1027) {
    std::vector<unsigned char> payload = fcltest::fileHeaderFixture();
    std::fill(payload.begin() + CXHDR_FIXED_SIZE, payload.end(), 'n');
    CXFileHeader host;
    memset(host.h_filename, 'x', sizeof host.h_filename);
    EXPECT_EQ(ConvertCXFileHeaderFromNetOrder(asHeader(payload), &host), 0);
    EXPECT_EQ(std::string(host.h_filename), std::string(1027, 'n'));
    EXPECT_EQ(host.h_filename[1027], '\0');
}

TEST(ConvertCXFileHeader, ShortNameIsPaddedWithNulsWhateverFollowedIt) {
    std::vector<unsigned char> payload = fcltest::fileHeaderFixture();
    // Leftovers behind the terminator on the wire, and in the record before the call.
    const size_t end = CXHDR_FIXED_SIZE + strlen(fcltest::kFixtureName) + 1;
    std::fill(payload.begin() + end, payload.end(), 'G');
    CXFileHeader host;
    memset(host.h_filename, 'x', sizeof host.h_filename);
    ConvertCXFileHeaderFromNetOrder(asHeader(payload), &host);
    EXPECT_STREQ(host.h_filename, fcltest::kFixtureName);
    for (size_t i = strlen(fcltest::kFixtureName); i < CXHDR_NAME_SIZE; ++i) {
        ASSERT_EQ(host.h_filename[i], '\0') << "byte " << i;
    }
}

TEST(CXFileHeader, ConstructorZeroesNumbersAndEmptiesTheName) {
    alignas(CXFileHeader) unsigned char storage[sizeof(CXFileHeader)];
    memset(storage, 0xee, sizeof storage);
    // Keeps the fill: stores to an object's storage before its constructor are otherwise dropped as dead.
    asm volatile("" : : "r"(storage) : "memory");
    CXFileHeader* header = new (storage) CXFileHeader;
    // Read back through a volatile view: the bytes the constructor leaves alone are, to the optimiser,
    // indeterminate, and that is exactly what is checked here.
    const volatile unsigned char* bytes = storage;
    for (size_t i = 0; i < CXHDR_FIXED_SIZE; ++i) {
        const unsigned value = bytes[i];
        ASSERT_EQ(value, 0u) << "byte " << i;
    }
    EXPECT_EQ(header->h_filename[0], '\0');
    // The rest of the name is left as it was.
    const unsigned untouched = bytes[CXHDR_FIXED_SIZE + 1];
    EXPECT_EQ(untouched, 0xeeu);
}

}  // namespace
