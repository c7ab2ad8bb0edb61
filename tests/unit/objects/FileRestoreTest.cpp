// Regular files restored whole, as the stream drives them: open, data and holes, close. The file ends with its exact
// contents and length, holes where the stream had them (a trailing hole too), and its mode and times.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "clRestore/support/ItemErrorIds.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/objects/ObjectFixture.h"

namespace {

using fcltest::Extents;
using fcltest::nonZeroData;

const unsigned kBlock = 64 * 1024;

struct Piece {
    bool hole;
    unsigned length;
};

class FileRestore : public fcltest::ObjectFixture {
protected:
    // Restores one file of `pieces` at `name`; what it must hold comes back in `expected`.
    int restore(const std::string& name, const std::vector<Piece>& pieces, std::string* expected,
                uint32_t mode = 0100640) {
        header_.mode = mode;
        header_.mtime = 1500000000;
        header_.atime = 1400000000;
        header_.uid = getuid();
        header_.gid = getgid();
        header_.size = 0;
        for (const Piece& piece : pieces) {
            header_.size += piece.length;
        }
        FsRestoreFile file(&header_, factory_.get());
        file._filename = scratch_ / name;
        if (file.openObject() == 0) {
            return 0;
        }
        for (const Piece& piece : pieces) {
            if (piece.hole) {
                EXPECT_EQ(file.makeHole(piece.length), 1);
                expected->append(piece.length, '\0');
            } else {
                std::string data = nonZeroData(piece.length, static_cast<unsigned>(expected->size()) + 5);
                EXPECT_EQ(file.writeData(&data[0], static_cast<int>(data.size())), 1);
                *expected += data;
            }
        }
        return file.closeObject();
    }
};

// No data anywhere in [from, to) of the file.
bool noDataIn(const std::string& path, off_t from, off_t to) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const off_t next = lseek(fd, from, SEEK_DATA);
    const int err = errno;
    close(fd);
    return next >= to || (next < 0 && err == ENXIO);
}

TEST_F(FileRestore, ContentsLengthHolesModeAndTimes) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    const struct {
        const char* name;
        std::vector<Piece> pieces;
        std::vector<std::pair<off_t, off_t>> holes;  // ranges that must hold no data
    } cases[] = {
        {"empty", {}, {}},
        {"one byte", {{false, 1}}, {}},
        {"a page", {{false, 4096}}, {}},
        {"several buffers", {{false, kBlock}, {false, kBlock}, {false, 3}}, {}},
        {"hole at the start", {{true, kBlock}, {false, 100}}, {{0, kBlock}}},
        {"hole in the middle", {{false, 100}, {true, 2 * kBlock}, {false, 100}}, {{4096, 2 * kBlock}}},
        // The trailing hole gives the file its length; at most its last block holds data to say so.
        {"hole at the end", {{false, 100}, {true, 4 * kBlock}}, {{4096, 4 * kBlock}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        factory_->setErrCode(0);
        std::string expected;
        ASSERT_EQ(restore(c.name, c.pieces, &expected), 1);
        EXPECT_EQ(factory_->getErrCode(), 0u);
        const std::string path = scratch_ / c.name;
        // Times first: reading the contents moves the access time.
        struct stat st;
        ASSERT_EQ(lstat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode, 0100640u);
        EXPECT_EQ(st.st_mtime, 1500000000);
        EXPECT_EQ(st.st_atime, 1400000000);
        EXPECT_EQ(st.st_size, static_cast<off_t>(expected.size()));
        EXPECT_EQ(fcltest::readFile(path), expected);
        for (const auto& hole : c.holes) {
            EXPECT_TRUE(noDataIn(path, hole.first, hole.second)) << hole.first << "-" << hole.second;
        }
    }
}

// Several GiB with little data, ending in a hole: exact length, holes kept, data at its offsets.
TEST_F(FileRestore, SparseFileOfSeveralGiB) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    const std::vector<Piece> pieces = {
        {true, 0x80000000u}, {false, 8192}, {true, 0xfffff000u}, {false, 4096}, {true, 0xc0000000u}};
    // Holes would make an expected copy several GiB: the data pieces are kept with their offsets instead.
    header_.mode = 0100600;
    header_.size = 0;
    for (const Piece& piece : pieces) {
        header_.size += piece.length;
    }
    FsRestoreFile file(&header_, factory_.get());
    file._filename = scratch_ / "sparse";
    ASSERT_EQ(file.openObject(), 1);
    std::vector<std::pair<off_t, std::string>> written;
    off_t at = 0;
    for (const Piece& piece : pieces) {
        if (piece.hole) {
            ASSERT_EQ(file.makeHole(piece.length), 1);
        } else {
            std::string data = nonZeroData(piece.length, static_cast<unsigned>(at));
            ASSERT_EQ(file.writeData(&data[0], static_cast<int>(data.size())), 1);
            written.emplace_back(at, data);
        }
        at += piece.length;
    }
    ASSERT_EQ(file.closeObject(), 1);
    const std::string path = scratch_ / "sparse";
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, at);
    EXPECT_LT(st.st_blocks * 512, 1024 * 1024);
    const Extents extents = fcltest::dataExtents(path);
    ASSERT_GE(extents.size(), 2u);
    const int reader = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    for (size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(extents[i].first, written[i].first);
        EXPECT_EQ(extents[i].second, written[i].first + static_cast<off_t>(written[i].second.size()));
        std::string back(written[i].second.size(), '\0');
        EXPECT_EQ(pread(reader, &back[0], back.size(), written[i].first), static_cast<ssize_t>(back.size()));
        EXPECT_EQ(back, written[i].second);
    }
    // The hole from the last data to the end is a hole, its last block aside.
    EXPECT_EQ(lseek(reader, written.back().first + 4096, SEEK_HOLE), written.back().first + 4096);
    close(reader);
}

TEST_F(FileRestore, MissingParentsAreMade) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    std::string expected;
    ASSERT_EQ(restore("a/b/c/file", {{false, 10}}, &expected), 1);
    EXPECT_EQ(fcltest::readFile(scratch_ / "a/b/c/file"), expected);
}

TEST_F(FileRestore, RunningProgramIsTextFileBusy) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    factory_ = makeFactory(FSR_OPT_OVERWRITE);
    const fcltest::RunningProgram program(scratch_ / "program");
    ASSERT_TRUE(program.running());
    std::string expected;
    EXPECT_EQ(restore("program", {{false, 10}}, &expected), 0);
    EXPECT_EQ(factory_->getErrCode(), fclitem::kTextFileBusy);
}

// An Apple item with a resource fork gets its companion beside it; without one, or when the job skips the forks,
// none.
TEST_F(FileRestore, AppleResourceForkGetsItsCompanion) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    header_.h_isHfs = 0x01;
    header_.extentOffset = 10;
    std::string expected;
    const std::string item = nonZeroData(10) + nonZeroData(30, 2) + nonZeroData(92, 3);
    header_.mode = 0100644;
    header_.size = item.size();
    FsRestoreFile file(&header_, factory_.get());
    file._filename = scratch_ / "apple";
    ASSERT_EQ(file.openObject(), 1);
    EXPECT_EQ(std::string(file._rsrcFilename), scratch_ / "._apple");
    std::string buffer = item;
    ASSERT_EQ(file.writeData(&buffer[0], static_cast<int>(buffer.size())), 1);
    ASSERT_EQ(file.closeObject(), 1);
    EXPECT_EQ(fcltest::readFile(scratch_ / "apple"), item.substr(0, 10));
    EXPECT_GE(fcltest::fileSize(scratch_ / "._apple"), 26 + 30);

    header_.extentOffset = 10;
    header_.size = 10 + 92;
    FsRestoreFile noFork(&header_, factory_.get());
    noFork._filename = scratch_ / "plain";
    ASSERT_EQ(noFork.openObject(), 1);
    EXPECT_EQ(noFork._rsrchandle, -1);
    EXPECT_EQ(fcltest::fileSize(scratch_ / "._plain"), -1);
}

}  // namespace
