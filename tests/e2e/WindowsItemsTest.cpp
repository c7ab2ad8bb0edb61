// A file a Windows client backed up, restored by a whole job: its data buffers carry the Windows backup stream, cut
// anywhere (a header across three buffers, a name across two, zeros sent as a hole), and only the main data stream
// becomes the file, with owner 0, group 0 and mode 0700; the security descriptor, the alternate data stream and the
// sparse block are not written. A stream that stops inside a stream fails its item.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "clRestore/engine/FclRestore.h"
#include "tests/common/ArchiveBuilder.h"
#include "tests/common/TestSupport.h"
#include "tests/common/WinBackupStream.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

using fcltest::ArchiveBuilder;
using fcltest::ItemHeader;
using fcltest::WinBackupStream;

const int kWindowsPlatform = 2;

class WindowsItems : public EndToEnd {
protected:
    // A Windows client's item as a device item whose contents go into a regular file: the road of such an item here.
    static ItemHeader windowsItem(const std::string& name, uint64_t size, uint32_t mode) {
        ItemHeader item = ItemHeader::file(name, size);
        item.mode = mode;
        item.platform = kWindowsPlatform;
        return item;
    }
    // The default job out of place, with the job state that road needs (no message sets it).
    InPlaceRun restoreWindowsItems() {
        InPlaceChoice choice;
        choice.prepareJob = [](FclRestore& job) {
            job.restoreDataInRawDev = 1;
            job._rawDevAsRegularFile = 1;
        };
        return restoreInChild(choice);
    }
};

TEST_F(WindowsItems, OnlyTheMainDataStreamBecomesTheFile) {
    if (!fcltest::isRoot()) {
        GTEST_SKIP() << "the file is given owner 0: needs root";
    }
    const std::string main = "main data " + std::string(5000, '\0') + " after the zeros";
    WinBackupStream stream;
    stream.security(std::string("\x01\x00\x04\x80", 4) + std::string(60, 'S'))
        .data(main)
        .alternate("Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n")
        .sparseBlock(0x10000, "not the file's")
        .stream(WinBackupStream::kObjectId, std::string(16, 'o'));
    const std::string bytes = stream.bytes();
    const size_t mainHeader = bytes.find("main data") - 20;
    const size_t zeros = bytes.find(std::string(5000, '\0'));
    const size_t alternateName = bytes.find(WinBackupStream::utf16(":Zone"));

    {
        ArchiveBuilder archive(media());
        archive.directory(source());
        archive.header(windowsItem(source("from windows"), bytes.size(), S_IFCHR | 0644).owner(1234, 5678));
        archive.data(bytes.substr(0, mainHeader + 3))
            .data(bytes.substr(mainHeader + 3, 9))
            .data(bytes.substr(mainHeader + 12, zeros - (mainHeader + 12)))
            .hole(5000)
            .data(bytes.substr(zeros + 5000, alternateName + 7 - (zeros + 5000)))
            .data(bytes.substr(alternateName + 7))
            .end();
        archive.file(source("plain"), "a Unix file beside it\n");
        archive.finish();
    }

    const InPlaceRun run = restoreWindowsItems();
    EXPECT_TRUE(run.succeeded) << run.reason;
    EXPECT_EQ(run.restored, 3u) << run.reason;
    EXPECT_EQ(run.failed, 0u);
    EXPECT_EQ(fcltest::readFile(restored("from windows")), main);
    EXPECT_EQ(fcltest::readFile(restored("plain")), "a Unix file beside it\n");
    struct stat st;
    ASSERT_EQ(lstat(restored("from windows").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_gid, 0u);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST_F(WindowsItems, AStreamCutShortFailsItsItemOnly) {
    const std::string bytes = WinBackupStream().security("SD").data(std::string(100, 'd')).bytes();
    const std::string shortened = bytes.substr(0, bytes.size() - 60);
    {
        ArchiveBuilder archive(media());
        archive.directory(source());
        archive.header(windowsItem(source("cut short"), shortened.size(), S_IFBLK | 0600));
        archive.data(shortened).end();
        archive.file(source("plain"), "restored all the same\n");
        archive.finish();
    }
    const InPlaceRun run = restoreWindowsItems();
    EXPECT_EQ(run.failed, 1u) << run.reason;
    EXPECT_EQ(run.restored, 2u) << run.reason;
    EXPECT_EQ(fcltest::readFile(restored("plain")), "restored all the same\n");
}

// The header's size is the file's own, its main data: the other streams do not count against it, and main data that
// would run past it fails the item, which never grows past its size.
TEST_F(WindowsItems, MainDataIsHeldToTheHeadersSize) {
    const std::string main(100, 'm');
    const std::string bytes =
        WinBackupStream().security("SD").data(main).alternate("Zone.Identifier", "ZoneId=3\r\n").bytes();
    {
        ArchiveBuilder archive(media());
        archive.directory(source());
        archive.header(windowsItem(source("exactly its size"), main.size(), S_IFCHR | 0644));
        archive.data(bytes).end();
        archive.header(windowsItem(source("past its size"), main.size() - 90, S_IFCHR | 0644));
        archive.data(bytes.substr(0, 50)).data(bytes.substr(50)).end();
        archive.file(source("plain"), "restored all the same\n");
        archive.finish();
    }
    const InPlaceRun run = restoreWindowsItems();
    EXPECT_EQ(run.failed, 1u) << run.reason;
    EXPECT_EQ(run.restored, 3u) << run.reason;
    EXPECT_EQ(fcltest::readFile(restored("exactly its size")), main);
    EXPECT_EQ(fcltest::readFile(restored("plain")), "restored all the same\n");
    struct stat st;
    if (lstat(restored("past its size").c_str(), &st) == 0) {
        EXPECT_LE(st.st_size, 10) << "the item grew past its header's size";
    }
}

}  // namespace
}  // namespace e2e
