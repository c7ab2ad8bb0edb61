// The fast CRC-32 gives zlib's values for every length, alignment and start value, including the lengths around the
// 16- and 64-byte steps where the folded part hands over to the tail, and it chains as zlib's does.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <vector>

#include "platform/support/Crc32.h"

namespace {

std::vector<unsigned char> randomBytes(size_t length) {
    std::mt19937 generator(20261211);
    std::vector<unsigned char> bytes(length);
    for (unsigned char& byte : bytes) {
        byte = static_cast<unsigned char>(generator());
    }
    return bytes;
}

uint32_t zlibCrc(uint32_t crc, const unsigned char* data, size_t length) {
    return static_cast<uint32_t>(crc32_z(crc, data, length));
}

constexpr size_t kMiB = size_t{1} << 20;

TEST(Crc32, MatchesZlibAtEveryLengthAlignmentAndStartValue) {
    const std::vector<unsigned char> bytes = randomBytes(kMiB + 13 + 16);
    for (size_t length : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{63}, size_t{64}, size_t{65}, size_t{127},
                          size_t{128}, size_t{1000}, size_t{4096 + 7}, kMiB + 13}) {
        for (size_t offset = 0; offset < 16; ++offset) {
            for (uint32_t start : {0u, 1u, 0xcbf43926u, 0xffffffffu}) {
                SCOPED_TRACE(testing::Message() << "length " << length << ", offset " << offset << ", start " << start);
                const unsigned char* data = bytes.data() + offset;
                EXPECT_EQ(wzcrc::crc32Update(start, data, length), zlibCrc(start, data, length));
            }
        }
    }
}

TEST(Crc32, ChainedPiecesGiveTheCrcOfTheWhole) {
    const std::vector<unsigned char> bytes = randomBytes(kMiB + 13);
    const uint32_t whole = zlibCrc(0, bytes.data(), bytes.size());
    struct Cuts {
        size_t first;
        size_t second;
    };
    for (Cuts cuts : {Cuts{0, 0}, Cuts{1, 2}, Cuts{63, 127}, Cuts{64, 128}, Cuts{65, 4096}, Cuts{100, kMiB},
                      Cuts{kMiB, kMiB + 13}, Cuts{bytes.size(), bytes.size()}}) {
        SCOPED_TRACE(testing::Message() << "cuts at " << cuts.first << " and " << cuts.second);
        uint32_t crc = wzcrc::crc32Update(0, bytes.data(), cuts.first);
        crc = wzcrc::crc32Update(crc, bytes.data() + cuts.first, cuts.second - cuts.first);
        crc = wzcrc::crc32Update(crc, bytes.data() + cuts.second, bytes.size() - cuts.second);
        EXPECT_EQ(crc, whole);
    }
}

TEST(Crc32, GivesTheStandardCheckValueAndLeavesTheCrcAloneForNothing) {
    EXPECT_EQ(wzcrc::crc32Update(0, "123456789", 9), 0xcbf43926u);
    // Unlike zlib, which answers a null buffer with 0.
    EXPECT_EQ(wzcrc::crc32Update(0xcbf43926u, nullptr, 0), 0xcbf43926u);
}

}  // namespace
