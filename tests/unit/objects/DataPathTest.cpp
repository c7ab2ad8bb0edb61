// Data and holes of a regular file, as the stream hands them over: the bytes land exactly, holes stay holes (the file
// system reports no data there), a hole of 2 GiB or more goes forward, and a file that ends in a hole is left at its
// full length with the hole still pending for the close.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "clRestore/support/ItemErrorIds.h"
#include "tests/unit/objects/ObjectFixture.h"

namespace {

using fcltest::Extents;
using fcltest::nonZeroData;

class DataPath : public fcltest::ObjectFixture {};

// One step of an item's stream: data of `length` bytes (non-zero, seeded by its position) or a hole.
struct Piece {
    bool hole;
    unsigned length;
};

// Feeds the pieces to a new file object and returns what the file must hold (zeros for holes).
std::string feed(FsRestoreUnixObject& item, const std::vector<Piece>& pieces) {
    std::string expected;
    for (const Piece& piece : pieces) {
        if (piece.hole) {
            EXPECT_EQ(item.makeHole(piece.length), 1);
            expected.append(piece.length, '\0');
        } else {
            std::string data = nonZeroData(piece.length, static_cast<unsigned>(expected.size()) + 7);
            EXPECT_EQ(item.writeData(&data[0], static_cast<int>(data.size())), 1);
            expected += data;
        }
    }
    return expected;
}

const unsigned kBlock = 64 * 1024;  // larger than any file-system block: holes of this size stay holes

struct LayoutCase {
    const char* name;
    std::vector<Piece> pieces;
    Extents data;     // expected data extents
    bool endsInHole;  // the hole is still pending for the close
};

TEST_F(DataPath, FilesOfEverySizeAndHoleLayoutLandExactly) {
    const LayoutCase cases[] = {
        {"empty", {}, {}, false},
        {"one byte", {{false, 1}}, {{0, 1}}, false},
        {"a page", {{false, 4096}}, {{0, 4096}}, false},
        {"several buffers", {{false, kBlock}, {false, kBlock}, {false, 1000}}, {{0, 2 * kBlock + 1000}}, false},
        {"hole at the start", {{true, 2 * kBlock}, {false, kBlock}}, {{2 * kBlock, 3 * kBlock}}, false},
        {"hole in the middle",
         {{false, kBlock}, {true, 3 * kBlock}, {false, kBlock}},
         {{0, kBlock}, {4 * kBlock, 5 * kBlock}},
         false},
        {"hole at the end", {{false, kBlock}, {true, 2 * kBlock}}, {{0, kBlock}}, true},
        {"only a hole", {{true, 5 * kBlock}}, {}, true},
        {"holes one after another",
         {{true, kBlock}, {true, kBlock}, {false, 10}},
         {{2 * kBlock, 2 * kBlock + 10}},
         false},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        factory_->setErrCode(0);
        auto file = openedFile("layout", 0);
        const std::string expected = feed(*file, c.pieces);
        EXPECT_EQ(factory_->getErrCode(), 0u);
        EXPECT_EQ(position(*file), static_cast<off_t>(expected.size()));
        EXPECT_EQ(file->_holePending, c.endsInHole ? 1 : 0);
        // What the close does with a pending hole: the length becomes real.
        ASSERT_EQ(ftruncate(file->_handle, static_cast<off_t>(expected.size())), 0);
        EXPECT_EQ(fcltest::readFile(file->_filename), expected);
        Extents extents = fcltest::dataExtents(file->_filename);
        // The file system may round data out to its block size, never into the holes of 64 KiB.
        ASSERT_EQ(extents.size(), c.data.size());
        for (size_t i = 0; i < extents.size(); ++i) {
            EXPECT_EQ(extents[i].first, c.data[i].first) << i;
            EXPECT_GE(extents[i].second, c.data[i].second) << i;
            EXPECT_LE(extents[i].second, (c.data[i].second + 4095) / 4096 * 4096) << i;
        }
    }
}

// A hole's length is an unsigned 32-bit count: 2 GiB and more go forward, never back.
TEST_F(DataPath, HolesOfTwoGiBAndMoreGoForward) {
    const unsigned lengths[] = {0x7fffffffu, 0x80000000u, 0xfffff000u, 0xffffffffu};
    for (unsigned length : lengths) {
        auto file = openedFile("big-hole", 0);
        std::string head = nonZeroData(10);
        ASSERT_EQ(file->writeData(&head[0], 10), 1);
        ASSERT_EQ(file->makeHole(length), 1) << length;
        EXPECT_EQ(position(*file), 10 + static_cast<off_t>(length)) << length;
        EXPECT_EQ(file->_holePending, 1);
    }
}

// Several GiB with little data, as the stream carries it (no hole above 4 GiB - 1): the holes stay holes, the data
// lands at its offsets, and the file takes almost no space.
TEST_F(DataPath, SparseFileOfSeveralGiBKeepsItsHoles) {
    const std::vector<Piece> pieces = {{false, 4096},       {true, 0xc0000000u}, {false, 8192},
                                       {true, 0xfffff000u}, {false, 4096},       {true, 0x80000000u}};
    auto file = openedFile("sparse", 0);
    off_t total = 0;
    std::vector<std::pair<off_t, std::string>> written;
    for (const Piece& piece : pieces) {
        if (piece.hole) {
            ASSERT_EQ(file->makeHole(piece.length), 1);
        } else {
            std::string data = nonZeroData(piece.length, static_cast<unsigned>(written.size()) + 3);
            ASSERT_EQ(file->writeData(&data[0], static_cast<int>(data.size())), 1);
            written.emplace_back(total, data);
        }
        total += piece.length;
    }
    EXPECT_EQ(position(*file), total);
    EXPECT_EQ(file->_holePending, 1);
    ASSERT_EQ(ftruncate(file->_handle, total), 0);

    const Extents extents = fcltest::dataExtents(file->_filename);
    const int reader = open(file->_filename.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(extents.size(), written.size());
    for (size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(extents[i].first, written[i].first) << i;
        EXPECT_EQ(extents[i].second, written[i].first + static_cast<off_t>(written[i].second.size())) << i;
        std::string back(written[i].second.size(), '\0');
        EXPECT_EQ(pread(reader, &back[0], back.size(), written[i].first), static_cast<ssize_t>(back.size()));
        EXPECT_EQ(back, written[i].second) << i;
    }
    close(reader);
    struct stat st;
    ASSERT_EQ(stat(file->_filename.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, total);
    EXPECT_LT(st.st_blocks * 512, 1024 * 1024);
}

TEST_F(DataPath, SkippedItemsWriteNothing) {
    const struct {
        const char* how;
        void (*skip)(FsRestoreUnixObject&);
    } skips[] = {
        {"skip flag", [](FsRestoreUnixObject& o) { o._dontRestore = 1; }},
        {"hard link", [](FsRestoreUnixObject& o) { o._hardLink = 1; }},
        {"stub left as it is", [](FsRestoreUnixObject& o) { o._dontRestoreStubWithGUID = true; }},
        {"Apple item whose data is dropped", [](FsRestoreUnixObject& o) { o.isFromHFS = 0x05; }},
    };
    for (const auto& s : skips) {
        auto file = openedFile("skipped", 100);
        s.skip(*file);
        std::string data = nonZeroData(100);
        EXPECT_EQ(file->writeData(&data[0], 100), 1) << s.how;
        EXPECT_EQ(file->makeHole(4096), 1) << s.how;
        EXPECT_EQ(position(*file), 0) << s.how;
        EXPECT_EQ(factory_->getErrCode(), 0u) << s.how;
    }
}

TEST_F(DataPath, NegativeLengthFailsTheItemWithoutWriting) {
    auto file = openedFile("negative", 0);
    char byte = 'x';
    EXPECT_EQ(file->writeData(&byte, -1), 0);
    EXPECT_EQ(factory_->getErrCode(), fclitem::kWriteFailed);
    EXPECT_EQ(position(*file), 0);
}

// Nothing is written without a descriptor: the item was not opened for data (a restore of access-control lists
// only, say).
TEST_F(DataPath, NoDescriptorWritesNothingAndGoesOn) {
    header_.size = 10;
    FsRestoreFile file(&header_, factory_.get());
    std::string data = nonZeroData(10);
    EXPECT_EQ(file.writeData(&data[0], 10), 1);
    EXPECT_EQ(file.makeHole(10), 1);
    EXPECT_EQ(file._holePending, 0);
    EXPECT_EQ(factory_->getErrCode(), 0u);
}

}  // namespace
