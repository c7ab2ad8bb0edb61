// The hard-link inode table: the first path of each source identity, found again by all four keys, through
// collisions and growth, and gone when the next job starts.
#include <gtest/gtest.h>

#include <string>

#include "clRestore/objects/InodeTable.h"
#include "clRestore/objects/ProcessRestoreState.h"

namespace {

class InodeTable : public ::testing::Test {
protected:
    InodeTable() { clearHardLinkInodeTable(); }
    ~InodeTable() override { clearHardLinkInodeTable(); }

    static std::string found(uint64_t inode, uint32_t device = 7, uint32_t mtime = 100, uint64_t size = 5) {
        const char* path = find_inode_file(inode, device, mtime, size);
        return path != nullptr ? path : "(none)";
    }
};

TEST_F(InodeTable, NothingIsFoundBeforeTheFirstEntry) {
    EXPECT_EQ(found(1), "(none)");
    EXPECT_EQ(inodeTableSlots(), 0);
}

TEST_F(InodeTable, EveryKeyPartTellsEntriesApart) {
    const struct {
        uint64_t inode;
        uint32_t device;
        uint32_t mtime;
        uint64_t size;
        const char* path;
    } entries[] = {
        {42, 7, 100, 5, "/d/base"},       {42, 8, 100, 5, "/d/other-device"},        {42, 7, 101, 5, "/d/other-mtime"},
        {42, 7, 100, 6, "/d/other-size"}, {42 + 47, 7, 100, 5, "/d/same-home-slot"},
    };
    for (const auto& e : entries) {
        ASSERT_EQ(add_inode(e.inode, e.path, e.device, e.mtime, e.size), 0);
    }
    for (const auto& e : entries) {
        EXPECT_EQ(found(e.inode, e.device, e.mtime, e.size), e.path);
    }
    EXPECT_EQ(found(42, 9, 100, 5), "(none)");
}

TEST_F(InodeTable, GrowsOnlyWhenFullAndKeepsEveryEntry) {
    for (uint64_t i = 0; i < 47; ++i) {
        ASSERT_EQ(add_inode(i * 47, ("/p/" + std::to_string(i)).c_str(), 7, 100, 5), 0);
    }
    EXPECT_EQ(inodeTableSlots(), 47);
    // A full table is probed once around for a missing key.
    EXPECT_EQ(found(47 * 1000), "(none)");

    ASSERT_EQ(add_inode(999, "/p/48th", 7, 100, 5), 0);
    EXPECT_EQ(inodeTableSlots(), 97);
    for (uint64_t i = 0; i < 47; ++i) {
        EXPECT_EQ(found(i * 47), "/p/" + std::to_string(i));
    }
    EXPECT_EQ(found(999), "/p/48th");

    for (uint64_t i = 0; i < 50; ++i) {
        ASSERT_EQ(add_inode(5000 + i, "/q", 7, 100, 5), 0);
    }
    EXPECT_EQ(inodeTableSlots(), 197);
}

TEST_F(InodeTable, TheStoredPathIsACopy) {
    std::string path = "/d/first";
    ASSERT_EQ(add_inode(3, path.c_str(), 7, 100, 5), 0);
    path[3] = 'X';
    EXPECT_EQ(found(3), "/d/first");
}

// A host may run one job after another: a name of a later job must never be linked to a path of an earlier one.
TEST_F(InodeTable, JobStartForgetsThePathsOfTheLastJob) {
    ASSERT_EQ(add_inode(3, "/earlier/job/file", 7, 100, 5), 0);
    resetProcessRestoreState();
    EXPECT_EQ(found(3), "(none)");
    EXPECT_EQ(inodeTableSlots(), 0);
    ASSERT_EQ(add_inode(3, "/later/job/file", 7, 100, 5), 0);
    EXPECT_EQ(found(3), "/later/job/file");
}

}  // namespace
