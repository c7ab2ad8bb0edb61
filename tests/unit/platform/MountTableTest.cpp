// The host's mount table as the engine lists it: fields and their escapes, lines that are not mounts, a table that
// cannot be read, and the real table of this machine.
#include <gtest/gtest.h>

#include <list>
#include <string>

#include "platform/mounts/FXFolder.h"
#include "tests/common/TestSupport.h"

namespace {

class MountTable : public ::testing::Test {
protected:
    ~MountTable() override { wzmounts::setMountTablePath(""); }
    fcltest::ScratchDir scratch_{"fclmounts"};
};

TEST_F(MountTable, EntriesKeepTheirFieldsWithEscapesUndone) {
    const std::string path = scratch_ / "mounts";
    fcltest::writeFile(path,
                       "/dev/sda1 / ext4 rw,relatime 0 0\n"
                       "server:/export\\040share /mnt/my\\040share nfs4 rw,vers=4.2 0 0\n"
                       "\n"
                       "# a comment\n"
                       "onlytwo fields\n"
                       "tmpfs /tmp/a\\134b\\011c tmpfs rw 0 0\n"
                       "gv0 /gluster fuse.glusterfs rw");
    wzmounts::setMountTablePath(path);
    std::list<WzMntTab::Entry> list(1);
    EXPECT_FALSE(FXFolder::getLogicalVolumeList(list, nullptr).IsError());
    ASSERT_EQ(list.size(), 4u);
    auto it = list.begin();
    EXPECT_EQ(it->device, "/dev/sda1");
    EXPECT_EQ(it->mountDir, "/");
    EXPECT_EQ(it->fsType, "ext4");
    EXPECT_EQ(it->extra, "rw,relatime");
    EXPECT_FALSE(it->flag);
    ++it;
    EXPECT_EQ(it->device, "server:/export share");
    EXPECT_EQ(it->mountDir, "/mnt/my share");
    EXPECT_EQ(it->fsType, "nfs4");
    ++it;
    EXPECT_EQ(it->mountDir, "/tmp/a\\b\tc");
    ++it;
    EXPECT_EQ(it->mountDir, "/gluster");
    EXPECT_EQ(it->fsType, "fuse.glusterfs");
}

TEST_F(MountTable, UnreadableTableIsAnErrorAndAnEmptyList) {
    wzmounts::setMountTablePath(scratch_ / "missing");
    std::list<WzMntTab::Entry> list(2);
    CQiError error = FXFolder::getLogicalVolumeList(list, nullptr);
    EXPECT_TRUE(error.IsError());
    EXPECT_TRUE(list.empty());
}

TEST_F(MountTable, ThisMachineHasARootMount) {
    EXPECT_EQ(wzmounts::mountTablePath(), "/proc/self/mounts");
    std::list<WzMntTab::Entry> list;
    EXPECT_FALSE(FXFolder::getLogicalVolumeList(list, nullptr).IsError());
    bool root = false;
    for (const WzMntTab::Entry& entry : list) {
        root = root || entry.mountDir == "/";
    }
    EXPECT_TRUE(root);
}

}  // namespace
