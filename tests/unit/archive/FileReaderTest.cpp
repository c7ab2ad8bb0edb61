// The archive file reader hands each buffer's bytes over exactly, whether they come through its read-ahead area,
// straight from the file into the destination, or part one way and part the other; and a read that meets unreadable
// bytes fails at the first of them.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/archive/ArchiveFileReader.h"
#include "platform/archive/ArchiveHooks.h"
#include "tests/common/TestSupport.h"

namespace {

using fclarchive::ArchiveFileReader;

constexpr size_t kDirect = ArchiveFileReader::kDirectRead;

struct ReadCase {
    const char* name;
    // The lengths read one after another from the start, each after a peek at its first 96 bytes (as the data mover
    // looks at a header before it reads the buffer).
    std::vector<size_t> lengths;
};

std::string fileBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 977) & 0xff);
    }
    return bytes;
}

class FileReaderCases : public ::testing::TestWithParam<ReadCase> {};

TEST_P(FileReaderCases, EveryReadGetsTheBytesAtItsPlace) {
    const ReadCase& c = GetParam();
    size_t total = 0;
    for (size_t length : c.lengths) {
        total += length;
    }
    fcltest::ScratchDir dir("reader");
    const std::string content = fileBytes(total);
    fcltest::writeFile(dir / "a", content);
    const int fd = ::open((dir / "a").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);

    ArchiveFileReader reader;
    reader.attach(fd, total);
    size_t at = 0;
    for (size_t length : c.lengths) {
        const unsigned char* peeked = nullptr;
        int error = 0;
        const size_t seen = reader.peek(96, peeked, error);
        ASSERT_EQ(error, 0);
        ASSERT_EQ(seen, std::min<size_t>(96, length));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(peeked), seen), content.substr(at, seen)) << at;
        std::vector<unsigned char> into(length);
        ASSERT_EQ(reader.read(into.data(), length), 0) << at;
        EXPECT_EQ(std::string(into.begin(), into.end()), content.substr(at, length)) << at;
        at += length;
        EXPECT_EQ(reader.position(), at);
    }
    ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(
    Reads, FileReaderCases,
    ::testing::Values(ReadCase{"smallOnly", {96, 200, 96, 4000, 96}},
                      ReadCase{"largeOnly", {kDirect, 256 << 10, 256 << 10, 3 * kDirect + 5}},
                      ReadCase{"justBelowAndAtTheDirectLength", {kDirect - 1, kDirect, kDirect - 1, kDirect + 1}},
                      ReadCase{"smallAfterLarge", {96, 256 << 10, 96, 100, 96, 5000, 96, 256 << 10, 96}},
                      ReadCase{"largerThanTheArea", {96, (1 << 20) + 7, 96, (2 << 20) + 1, 96}},
                      ReadCase{"manySmallThenLarge", std::vector<size_t>(40, 30000)},
                      ReadCase{"alternating", {96, kDirect, 96, kDirect, 100, 96, (1 << 20) - 1, 96}}),
    [](const auto& info) { return std::string(info.param.name); });

// A large read that meets unreadable bytes fails with their error, and names the first of them, whether the medium
// gives the bytes before them or fails the whole request.
TEST(FileReader, ALargeReadFailsAtItsFirstUnreadableByte) {
    for (const bool wholeReadFails : {false, true}) {
        const size_t total = 1 << 20;
        fcltest::ScratchDir dir("reader");
        fcltest::writeFile(dir / "a", fileBytes(total));
        const int fd = ::open((dir / "a").c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        const uint64_t bad = 96 + 100000;
        fclarchive::hooks::unreadableBytes(bad, 10, wholeReadFails);

        ArchiveFileReader reader;
        reader.attach(fd, total);
        const unsigned char* peeked = nullptr;
        int error = 0;
        ASSERT_EQ(reader.peek(96, peeked, error), 96u);
        std::vector<unsigned char> head(96);
        ASSERT_EQ(reader.read(head.data(), head.size()), 0);
        std::vector<unsigned char> into(256 << 10);
        EXPECT_EQ(reader.read(into.data(), into.size()), EIO) << wholeReadFails;
        EXPECT_EQ(reader.unreadableAt(), bad) << wholeReadFails;
        EXPECT_EQ(reader.readableFrom(bad), bad + 10) << wholeReadFails;
        fclarchive::hooks::reset();
        ::close(fd);
    }
}

}  // namespace
