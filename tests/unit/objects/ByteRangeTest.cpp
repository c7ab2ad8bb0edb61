// The byte range of a mapped restore: only the bytes from the range's start up to its end reach the destination,
// one after the other from the file's start, whatever the buffers' borders; holes count as item bytes like data.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "tests/unit/objects/ObjectFixture.h"

namespace {

using fcltest::nonZeroData;

class ByteRange : public fcltest::ObjectFixture {};

struct Piece {
    bool hole;
    unsigned length;
};

struct RangeCase {
    const char* name;
    long start;
    long end;
    std::vector<Piece> pieces;
};

TEST_F(ByteRange, OnlyTheRangeReachesTheDestination) {
    const RangeCase cases[] = {
        {"range across two buffers", 100, 200, {{false, 150}, {false, 150}}},
        {"range inside one buffer", 10, 20, {{false, 100}}},
        {"range to the end of the item", 50, -1, {{false, 100}, {false, 100}}},
        {"range that starts past a whole buffer", 250, 260, {{false, 100}, {false, 100}, {false, 100}}},
        {"range beyond the item", 1000, 2000, {{false, 100}}},
        {"hole before the range", 4096, 8192, {{true, 4096}, {false, 8192}}},
        {"hole across the start", 100, 300, {{false, 50}, {true, 100}, {false, 150}}},
        {"hole inside the range", 100, 300, {{false, 150}, {true, 100}, {false, 150}}},
        {"range ending inside a hole", 0, 150, {{false, 100}, {true, 4096}, {false, 10}}},
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto file = openedFile("ranged", 0);
        fileRange = fileRange_t(c.start, c.end);
        std::string item;
        for (const Piece& piece : c.pieces) {
            if (piece.hole) {
                ASSERT_EQ(file->makeHole(piece.length), 1);
                item.append(piece.length, '\0');
            } else {
                std::string data = nonZeroData(piece.length, static_cast<unsigned>(item.size()) + 1);
                ASSERT_EQ(file->writeData(&data[0], static_cast<int>(data.size())), 1);
                item += data;
            }
        }
        const size_t from = std::min(item.size(), static_cast<size_t>(c.start));
        const size_t to = c.end > 0 ? std::min(item.size(), static_cast<size_t>(c.end)) : item.size();
        const std::string expected = item.substr(from, to > from ? to - from : 0);
        EXPECT_EQ(fileRange.seen, static_cast<long>(item.size()));
        EXPECT_EQ(position(*file), static_cast<off_t>(expected.size()));
        ASSERT_EQ(ftruncate(file->_handle, position(*file)), 0);
        EXPECT_EQ(fcltest::readFile(file->_filename), expected);
    }
}

// A hole at the end of the range stays pending even when data outside the range follows it: the file must still
// reach the range's length at close.
TEST_F(ByteRange, DataBeyondTheRangeLeavesAPendingHolePending) {
    auto file = openedFile("ranged", 0);
    fileRange = fileRange_t(0, 4196);
    std::string head = nonZeroData(100);
    ASSERT_EQ(file->writeData(&head[0], 100), 1);
    ASSERT_EQ(file->makeHole(8192), 1);
    std::string tail = nonZeroData(100, 2);
    ASSERT_EQ(file->writeData(&tail[0], 100), 1);
    EXPECT_EQ(file->_holePending, 1);
    EXPECT_EQ(position(*file), 4196);
}

}  // namespace
