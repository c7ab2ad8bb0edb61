#pragma once
// A small tree of every common kind (a directory, a file of several buffers, a small file with a second hard
// link, a symbolic link, a sparse file) packed with fcl-pack into archive file 1, and read back independently.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/archive/ArchiveRecords.h"
#include "tests/common/TestSupport.h"
#include "tests/unit/archive/ArchiveTestSupport.h"

class FsRestoreArchive;

namespace archivetest {

class PackedTree : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens archive file `id` of the media directory; the open's result in `result` when given.
    static int open(FsRestoreArchive& archive, uint64_t id, OpenRet_t* result = nullptr);
    static void expectSameBuffers(const std::vector<RawBuffer>& got, const std::vector<RawBuffer>& want);
    // The buffers a seek to `path`'s offset streams, as the file holds them.
    std::vector<RawBuffer> itemOf(const std::string& path);

    fcltest::ScratchDir scratch_{"mover"};
    std::string source_;
    std::string media_;
    std::vector<RawBuffer> file_;
    std::map<std::string, uint64_t> index_;
};

}  // namespace archivetest
