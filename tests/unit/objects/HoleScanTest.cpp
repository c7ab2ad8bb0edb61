// The zero-run scanners of the data path: exact zero runs, data runs that end at an aligned zero word, and never a
// byte read at or beyond the given length (every buffer here is a heap block of exactly that length, so a read past
// it is an AddressSanitizer error).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "clRestore/objects/ObjectData.h"

namespace {

// `pattern` placed at `misalign` bytes past an 8-byte boundary, in a block that ends exactly at its last byte:
// '0' is a zero byte, anything else a non-zero byte.
class Placed {
public:
    Placed(const std::string& pattern, size_t misalign) : block_(new char[misalign + pattern.size()]) {
        at_ = block_.get() + misalign;
        for (size_t i = 0; i < pattern.size(); ++i) {
            at_[i] = pattern[i] == '0' ? 0 : pattern[i];
        }
        length_ = static_cast<long>(pattern.size());
    }
    char* at() const { return at_; }
    long length() const { return length_; }

private:
    std::unique_ptr<char[]> block_;  // new[] blocks are aligned to at least 8 bytes
    char* at_;
    long length_;
};

std::string zeros(size_t n) {
    return std::string(n, '0');
}
std::string data(size_t n) {
    return std::string(n, 'x');
}

struct ScanCase {
    const char* name;
    std::string pattern;
    size_t misalign;
    long hole;  // find_hole's answer
    long data;  // find_data's answer
};

TEST(HoleScan, ZeroRunsAndDataRunsAtEveryAlignment) {
    const ScanCase cases[] = {
        {"empty", "", 0, 0, 0},
        {"thirteen zeros aligned", zeros(13), 0, 13, 0},
        {"thirteen zeros misaligned", zeros(13), 3, 13, 0},
        {"thirteen zeros at seven", zeros(13), 7, 13, 0},
        // Data that starts misaligned is counted byte by byte up to the length, never beyond it.
        {"five data bytes up to a boundary", data(5), 3, 0, 5},
        // Aligned, only whole words count: five bytes that end three before the boundary give none. The write step
        // then writes its smallest write size, so nothing is lost by the short answer.
        {"five data bytes ending three before a boundary, aligned", data(5), 0, 0, 0},
        {"zeros then data misaligned", zeros(3) + data(9), 5, 3, 0},
        {"zeros then data aligned", zeros(16) + data(1), 0, 16, 0},
        {"zeros spanning words then data", zeros(21) + data(3), 1, 21, 0},
        {"data then zero word", data(8) + zeros(8), 0, 0, 8},
        {"data word with a zero inside", "xxx0xxxx" + zeros(8), 0, 0, 8},
        {"data up to the end in whole words", data(24), 0, 0, 24},
        {"trailing part shorter than a word is not counted", data(20), 0, 0, 16},
        {"misaligned data then an aligned zero word", data(5) + zeros(8), 3, 0, 5},
        {"misaligned data then words", data(5) + data(16) + zeros(8), 3, 0, 21},
        {"a zero byte stops the misaligned count", "xx0xxxxxxxxx", 1, 0, 2},
    };
    for (const ScanCase& c : cases) {
        Placed placed(c.pattern, c.misalign);
        EXPECT_EQ(find_hole(placed.at(), placed.length()), c.hole) << c.name;
        EXPECT_EQ(find_data(placed.at(), placed.length()), c.data) << c.name;
    }
}

TEST(HoleScan, LongRunsAreCountedExactly) {
    for (size_t misalign : {0u, 1u, 4u, 7u}) {
        Placed mixed(zeros(4096 + 5) + data(1) + zeros(3), misalign);
        EXPECT_EQ(find_hole(mixed.at(), mixed.length()), 4096 + 5) << misalign;
        Placed allZero(zeros(65536 + 3), misalign);
        EXPECT_EQ(find_hole(allZero.at(), allZero.length()), 65536 + 3) << misalign;
        // A length shorter than the buffer is a limit, not a hint.
        EXPECT_EQ(find_hole(allZero.at(), 100), 100) << misalign;
    }
}

}  // namespace
