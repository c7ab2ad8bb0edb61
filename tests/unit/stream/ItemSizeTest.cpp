// An item's data and holes add up to the size its header gives, or the item fails: a stream that lies cannot grow a
// file past what it claimed, nor pass off part of an item as the whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/stream/StreamFixture.h"

namespace {

using streamtest::hostHeader;

// A data buffer of `data`, or a hole of `hole` bytes when `data` is null.
struct Piece {
    const char* data;
    uint32_t hole;
};

struct SizeCase {
    const char* label;
    uint64_t size;
    uint64_t mode;
    std::vector<Piece> pieces;
    const char* result;       // the item's recorded result
    std::vector<int> writes;  // the lengths written
};

class ItemSize : public streamtest::StreamFixture, public ::testing::WithParamInterface<SizeCase> {
protected:
    ItemSize() { checkSizes_ = true; }
    void item(const std::string& name, uint64_t size, uint64_t mode = 0100644) {
        CXFileHeader fields = hostHeader(name, mode);
        fields.h_size = size;
        header(fields);
    }
    void send(const std::vector<Piece>& pieces) {
        for (const Piece& piece : pieces) {
            piece.data != nullptr ? data(piece.data) : hole(piece.hole);
        }
    }
};

const SizeCase kCases[] = {
    {"exact", 8, 0100644, {{"abcd", 0}, {nullptr, 4}}, "/dst/f 0x0 obj", {4, 4}},
    {"dataPastTheSize", 4, 0100644, {{"abcdefgh", 0}}, "/dst/f 0x1700003e obj", {}},
    {"secondBufferPastTheSize", 6, 0100644, {{"abcd", 0}, {"efgh", 0}}, "/dst/f 0x1700003e obj", {4}},
    {"holePastTheSize", 10, 0100644, {{"abcd", 0}, {nullptr, 4000000}}, "/dst/f 0x1700003e obj", {4}},
    {"shortOfTheSize", 100, 0100644, {{"abcd", 0}}, "/dst/f 0x1700003e obj", {4}},
    {"linkTargetPastTheSize", 3, 0120777, {{"/etc/passwd", 0}}, "/dst/f 0x1700003e obj", {}},
};

TEST_P(ItemSize, HoldsTheItemToItsHeader) {
    item("/f", GetParam().size, GetParam().mode);
    send(GetParam().pieces);
    eof();
    ASSERT_FALSE(journal_.results.empty());
    EXPECT_EQ(GetParam().result, journal_.results.back());
    EXPECT_EQ(GetParam().writes, journal_.writeLengths);
}

INSTANTIATE_TEST_SUITE_P(Table, ItemSize, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.label); });

// An item whose end never comes is judged by its size when the next header closes it: whole, it is closed as before
// (without a result of its own); short, it is recorded failed.
TEST_F(ItemSize, AnItemWithoutItsEndIsJudgedByItsSize) {
    item("/whole", 4);
    data("abcd");
    item("/short", 8);
    data("abcd");
    item("/next", 2);
    data("xy");
    eof();
    EXPECT_EQ((std::vector<std::string>{"/dst/short 0x1700003e obj", "/dst/next 0x0 obj"}), journal_.results);
}

}  // namespace
