// Small records and class-wide state of the platform libraries that the engine relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "platform/acl/WzAclHelper.h"
#include "platform/events/EvDebug.h"
#include "platform/index/IndexRecords.h"
#include "platform/mounts/WzMntTab.h"

namespace {

WzMntTab::Entry mount(const char* dir) {
    WzMntTab::Entry e;
    e.mountDir = dir;
    return e;
}

TEST(PlatformRecords, DescendingMountOrderPutsADeeperMountBeforeItsParent) {
    std::vector<WzMntTab::Entry> list = {mount("/"), mount("/mnt"), mount("/mnt/nfs/deep"), mount("/b"),
                                         mount("/mnt/nfs")};
    std::sort(list.begin(), list.end(), SortMntListInDescending());
    std::vector<std::string> dirs;
    for (const auto& e : list) {
        dirs.push_back(e.mountDir);
    }
    EXPECT_EQ(dirs, (std::vector<std::string>{"/mnt/nfs/deep", "/mnt/nfs", "/mnt", "/b", "/"}));
    EXPECT_FALSE(SortMntListInDescending()(mount("/a"), mount("/a")));
}

TEST(PlatformRecords, DebugFileInstanceDefaults) {
    EvDebugFileInstance d;
    EXPECT_EQ(d.fileHandle, -1);
    EXPECT_EQ(d.bytesWritten, 0u);
    EXPECT_EQ(d.maxBytes, 0u);
    EXPECT_EQ(d.level, 1);
    EXPECT_EQ(d.versions, 1);
    EXPECT_EQ(d.openTime, 0u);
    EXPECT_EQ(d.fileName, "");
    EXPECT_FALSE(d.isOpen);
    EXPECT_EQ(d.jobId, 0);
    EXPECT_EQ(d.moduleName, "");
    EXPECT_EQ(d.moduleId, 0u);
}

TEST(PlatformRecords, IndexRecordsStartEmptyOverDirtyMemory) {
    alignas(subclientFiles) unsigned char raw[sizeof(subclientFiles)];
    memset(raw, 0xAA, sizeof raw);
    subclientFiles* files = new (raw) subclientFiles();
    EXPECT_EQ(files->count1, 0u);
    EXPECT_EQ(files->count2, 0u);
    EXPECT_EQ(files->subclientDir[0], '\0');
    for (const char* text : files->texts) {
        EXPECT_EQ(text[0], '\0');
    }
    files->~subclientFiles();
    _GetIndexSubclientInfo info;
    EXPECT_EQ(info.count, 0);
    EXPECT_EQ(info.data, nullptr);
}

TEST(PlatformRecords, AclOptionsWordIsAssignedNotAdded) {
    WzACL::Helper::SetOptions(WzACL::enum_OptionSet(1));
    WzACL::Helper::SetOptions(WzACL::enum_OptionSet(WzACL::Helper::GetOptions() | 2));
    EXPECT_EQ(WzACL::Helper::GetOptions(), 3u);
    WzACL::Helper::SetOptions(WzACL::enum_OptionSet(8));
    EXPECT_EQ(WzACL::Helper::GetOptions(), 8u);
    WzACL::Helper::SetOptions(WzACL::enum_OptionSet(0));
}

}  // namespace
