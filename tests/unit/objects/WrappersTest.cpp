// The file-system wrappers of a restore object: ordinary calls or the long-path handler, nothing at all for extent
// items, the cached lstat, the write-error mapping, the extent seek, and descriptors that never outlive the object.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <string>

#include "clRestore/objects/FsRestoreFile.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/log/LogWriter.h"
#include "tests/common/FactoryFixture.h"

namespace {

mode_t modeOf(const std::string& path) {
    struct stat st;
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

class Wrappers : public fcltest::FactoryFixture {
protected:
    Wrappers() : factory_(makeFactory()) { header_.mode = 0100644; }

    std::unique_ptr<FsRestoreUnixObject> build(uint32_t flags2 = 0) {
        header_.flags2 = flags2;
        return std::unique_ptr<FsRestoreUnixObject>(new FsRestoreFile(&header_, factory_.get()));
    }

    // An object whose calls go through the long-path handler or through the ordinary path calls.
    std::unique_ptr<FsRestoreUnixObject> buildInMode(bool longPaths, uint32_t flags2 = 0) {
        auto object = build(flags2);
        if (longPaths) {
            object->SetLongPathRestore();
            EXPECT_NE(object->_longPathHandler, nullptr);
        }
        return object;
    }

    // A path below the scratch directory longer than PATH_MAX.
    std::string longPath(const std::string& leaf) {
        std::string path = scratch_.path();
        while (path.size() <= PATH_MAX) {
            path += "/" + std::string(200, 'd');
        }
        return path + "/" + leaf;
    }

    std::unique_ptr<FsRestoreUnixObjectsFactory> factory_;
    CXFileHeader header_;
};

TEST_F(Wrappers, ExtentItemsChangeNoOwnerAndNoMode) {
    const std::string file = scratch_ / "extent";
    fcltest::writeFile(file, "x");
    chmod(file.c_str(), 0644);
    for (bool longPaths : {false, true}) {
        auto object = buildInMode(longPaths, CXHDR_F2_EXTENT);
        ASSERT_TRUE(object->IsItemExtent());
        EXPECT_EQ(object->ChmodFile(file, 0), 0);
        EXPECT_EQ(object->lChmodFile(file, 0), 0);
        EXPECT_EQ(object->ChownFile(file, 4321u, 4321u), 0);
        EXPECT_EQ(object->lChownFile(file, 4321u, 4321u), 0);
        EXPECT_EQ(object->FChmodFile(-1, 0), 0);
        EXPECT_EQ(object->FChownFile(-1, 4321u, 4321u), 0);
        EXPECT_EQ(modeOf(file), 0644u);
    }
}

TEST_F(Wrappers, ModeAndTimesReachTheItemInBothModes) {
    for (bool longPaths : {false, true}) {
        SCOPED_TRACE(longPaths ? "long-path handler" : "ordinary calls");
        auto object = buildInMode(longPaths);
        const std::string file = longPaths ? longPath("item") : scratch_ / "item";
        if (longPaths) {
            int fd = -1;
            ASSERT_TRUE(object->OpenRestoreFile(file, fd));
            close(fd);
        } else {
            fcltest::writeFile(file, "x");
        }
        EXPECT_EQ(object->ChmodFile(file, 0604), 0);
        utimbuf times = {1000000, 2000000};
        EXPECT_EQ(object->Utime(file, &times), 0);
        EXPECT_EQ(object->StatFile(file), 0);
        EXPECT_EQ(object->_statBuf.st_mode & 07777, 0604u);
        EXPECT_EQ(object->_statBuf.st_mtime, 2000000);
        EXPECT_EQ(object->_statBuf.st_atime, 1000000);
        times = {3000000, 4000000};
        EXPECT_EQ(object->SetFileExtentUtime(file, &times), 0);
        object->_statReturn = FsRestoreUnixObject::kStatNotDone;
        EXPECT_EQ(object->StatFile(file), 0);
        EXPECT_EQ(object->_statBuf.st_mtime, 4000000);
    }
}

// The "l" calls act on a link itself, whatever the length of its path: a link planted at the destination never
// passes a mode on to what it points at.
TEST_F(Wrappers, LinkModeCallNeverFollowsTheLink) {
    for (bool longPaths : {false, true}) {
        SCOPED_TRACE(longPaths ? "long-path handler" : "ordinary calls");
        auto object = buildInMode(longPaths);
        const std::string target = scratch_ / (longPaths ? "target-long" : "target");
        fcltest::writeFile(target, "t");
        chmod(target.c_str(), 0600);
        const std::string link = scratch_ / (longPaths ? "link-long" : "link");
        ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
        errno = 0;
        EXPECT_EQ(object->lChmodFile(link, 0777), -1);
        EXPECT_EQ(errno, EOPNOTSUPP);
        EXPECT_EQ(modeOf(target), 0600u);
    }
}

TEST_F(Wrappers, StatAnswerIsKeptUntilAskedAfresh) {
    auto object = build();
    const std::string existing = scratch_ / "there";
    fcltest::writeFile(existing, "x");
    EXPECT_EQ(object->StatFile(existing), 0);
    const ino_t inode = object->_statBuf.st_ino;
    EXPECT_EQ(object->StatFile(scratch_ / "missing"), 0);
    EXPECT_EQ(object->_statBuf.st_ino, inode);
    object->_statReturn = FsRestoreUnixObject::kStatNotDone;
    EXPECT_EQ(object->StatFile(scratch_ / "missing"), -1);
    EXPECT_EQ(object->StatFile(existing), -1);
}

TEST_F(Wrappers, LongPathsCreateAncestorsAndRememberThemWhenOwnersArePreserved) {
    for (bool preserve : {false, true}) {
        SCOPED_TRACE(preserve ? "owners preserved" : "owners not preserved");
        g_dirMap.clear();
        g_preserveOwnership = preserve;
        auto object = buildInMode(true);
        const std::string file = longPath(preserve ? "kept" : "plain");
        int fd = -1;
        ASSERT_TRUE(object->OpenRestoreFile(file, fd));
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, "0123456789", 10), 10);
        close(fd);
        // The ancestors exist from the first round; a new directory below them shows the registration.
        const std::string dir = file.substr(0, file.rfind('/')) + (preserve ? "/new-kept" : "/new-plain");
        EXPECT_TRUE(object->CreateDirsIteratively(dir));
        EXPECT_EQ(g_dirMap.count(dir), preserve ? 1u : 0u);
        if (!preserve) {
            EXPECT_TRUE(g_dirMap.empty());
        }

        // A file is truncated when opened again; an extent item is written in place.
        fd = -1;
        auto extent = buildInMode(true, CXHDR_F2_EXTENT);
        ASSERT_TRUE(extent->OpenRestoreFile(file, fd));
        struct stat st;
        ASSERT_EQ(fstat(fd, &st), 0);
        EXPECT_EQ(st.st_size, 10);
        close(fd);
        ASSERT_TRUE(object->OpenRestoreFile(file, fd));
        ASSERT_EQ(fstat(fd, &st), 0);
        EXPECT_EQ(st.st_size, 0);
        close(fd);
    }
}

TEST_F(Wrappers, LongPathHandlerIsDroppedOnReset) {
    auto object = build();
    object->_realName = "/dest/long/name";
    wzlog::ScopedCapture capture;
    object->SetLongPathRestore();
    EXPECT_NE(object->_longPathHandler, nullptr);
    EXPECT_TRUE(capture->contains("Setting long path restore for /dest/long/name."));
    object->ResetLongPathRestore();
    EXPECT_EQ(object->_longPathHandler, nullptr);
}

TEST_F(Wrappers, OwnerByNameIsNotSupported) {
    auto object = build();
    errno = 0;
    EXPECT_EQ(object->ChownFile(scratch_ / "x", std::string("user"), std::string("group")), -1);
    EXPECT_EQ(errno, EOPNOTSUPP);
}

TEST_F(Wrappers, UnlinkRemovesTheName) {
    auto object = build();
    const std::string file = scratch_ / "gone";
    fcltest::writeFile(file, "x");
    EXPECT_EQ(object->Unlink(file), 0);
    EXPECT_NE(access(file.c_str(), F_OK), 0);
    EXPECT_EQ(object->Unlink(file), -1);
}

TEST_F(Wrappers, WriteErrorsBecomeTheItemsId) {
    const struct {
        unsigned long err;
        unsigned long id;
        const char* line;
    } cases[] = {
        {ENOSPC, fclitem::kDiskFull, "Disk full error"},
        {EDQUOT, fclitem::kDiskFull, "Disk full error"},
        {EIO, fclitem::kWriteFailed, "Write data error = 5"},
        {static_cast<unsigned long>(-3L), fclitem::kWriteFailed, "Write data error = -3"},  // a short write
    };
    auto object = build();
    for (const auto& c : cases) {
        factory_->setErrCode(0);
        wzlog::ScopedCapture capture;
        object->handleError(c.err);
        EXPECT_EQ(factory_->getErrCode(), c.id) << c.line;
        EXPECT_TRUE(capture->contains(c.line)) << c.line;
    }
}

TEST_F(Wrappers, ExtentSeekMovesFromTheCurrentPosition) {
    auto object = build(CXHDR_F2_EXTENT);
    object->_extentFileOffset = 100;
    {
        wzlog::ScopedCapture capture;
        EXPECT_FALSE(object->seekToExtentOffset());
        EXPECT_TRUE(capture->contains("Error: Invalid file handle"));
    }
    const std::string file = scratch_ / "extentfile";
    fcltest::writeFile(file, "0123456789");
    object->_handle = open(file.c_str(), O_WRONLY);
    ASSERT_GE(object->_handle, 0);
    ASSERT_EQ(lseek(object->_handle, 10, SEEK_SET), 10);
    EXPECT_TRUE(object->seekToExtentOffset());
    EXPECT_EQ(lseek(object->_handle, 0, SEEK_CUR), 110);

    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    close(object->_handle);
    object->_handle = pipeFds[1];
    wzlog::ScopedCapture capture;
    EXPECT_FALSE(object->seekToExtentOffset());
    EXPECT_TRUE(capture->contains("Error: Seek to offset=100 failed"));
    close(pipeFds[0]);
}

// The job may delete an object it never closed (a stop, a delayed open that never came): its descriptors go with it.
TEST_F(Wrappers, DescriptorsDoNotOutliveTheObject) {
    auto object = build();
    const int data = open(scratch_.path().c_str(), O_RDONLY | O_DIRECTORY);
    const int fork = dup(data);
    ASSERT_GE(data, 0);
    ASSERT_GE(fork, 0);
    object->_handle = data;
    object->_rsrchandle = fork;
    object.reset();
    EXPECT_EQ(fcntl(data, F_GETFD), -1);
    EXPECT_EQ(fcntl(fork, F_GETFD), -1);
}

}  // namespace
