// Removing a directory tree never follows a link: what a link points at stays, wherever it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/CQiDirectory.h"
#include "platform/files/DirectoryExt.h"
#include "tests/common/TestSupport.h"

namespace {

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

TEST(DirectoryRemove, TreeGoesAndLinkedTargetsStay) {
    fcltest::ScratchDir scratch("fclremove");
    const std::string tree = scratch / "tree";
    const std::string outside = scratch / "outside";
    ASSERT_EQ(mkdir(outside.c_str(), 0755), 0);
    fcltest::writeFile(outside + "/keep", "k");
    ASSERT_EQ(mkdir(tree.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((tree + "/sub").c_str(), 0755), 0);
    fcltest::writeFile(tree + "/sub/file", "f");
    ASSERT_EQ(symlink(outside.c_str(), (tree + "/sub/to-outside").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/keep").c_str(), (tree + "/to-file").c_str()), 0);

    EXPECT_FALSE(CQiDirectory::Remove(tree.c_str(), true, false).IsError());
    EXPECT_FALSE(exists(tree));
    EXPECT_TRUE(exists(outside + "/keep"));
    EXPECT_FALSE(CQiDirectory::Remove(tree.c_str(), true, false).IsError());  // already gone
}

TEST(DirectoryRemove, LinkGivenAsTheDirectoryIsNotFollowed) {
    fcltest::ScratchDir scratch("fclremove");
    const std::string target = scratch / "target";
    ASSERT_EQ(mkdir(target.c_str(), 0755), 0);
    fcltest::writeFile(target + "/keep", "k");
    const std::string link = scratch / "link";
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    EXPECT_TRUE(CQiDirectory::Remove(link.c_str(), true, false).IsError());
    EXPECT_TRUE(exists(target + "/keep"));
}

TEST(DirectoryReader, ReadsEveryEntryAndReportsOpenErrors) {
    fcltest::ScratchDir scratch("fclreader");
    fcltest::writeFile(scratch / "one", "1");
    DirectoryExt reader;
    ASSERT_EQ(reader.openDirectory(scratch.path().c_str()), 0);
    std::vector<std::string> names;
    std::string name;
    while (reader.read(name) == 1) {
        names.push_back(name);
    }
    reader.close();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "one"}));
    EXPECT_EQ(reader.openDirectory((scratch / "missing").c_str()), -1);
    EXPECT_EQ(reader.getLastError(), ENOENT);
    EXPECT_EQ(reader.openDirectory((scratch / "one").c_str()), -1);
    EXPECT_EQ(reader.getLastError(), ENOTDIR);
}

}  // namespace
