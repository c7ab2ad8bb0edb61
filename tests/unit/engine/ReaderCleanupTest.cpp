// An item the stream stopped inside: the reader closes its object and removes its partial file, except where that
// would remove what is not a partial file of this job.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/FsRestoreFile.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/archive/ArchiveHooks.h"
#include "tests/unit/engine/PipelineFixture.h"

namespace jobtest {
namespace {

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

char g_savedOptHdr[8];

struct LeftOpen {
    const char* name;
    uint32_t mode;
    bool removeFileOnError;
    bool delayOpen;
    int savedOptHdrLen;
    bool virtualServerHost;  // application type 0x6a with the virtual-server host's factory
    bool closed;
    bool removed;
    bool deleted;
    const char* line;
};

const LeftOpen kCases[] = {
    {"regular file", 0100644, true, false, 0, false, true, true, true, "Removing file "},
    {"fifo", 010644, true, false, 0, false, true, true, true, "Removing file "},
    {"kept when the job keeps partial files", 0100644, false, false, 0, false, true, false, true, nullptr},
    {"directory", 040755, true, false, 0, false, true, false, true, "since it is a device file"},
    {"character device", 020644, true, false, 0, false, true, false, true, "since it is a device file"},
    {"block device", 060644, true, false, 0, false, true, false, true, "since it is a device file"},
    {"symbolic link", 0120777, true, false, 0, false, true, false, true, "since it is a device file"},
    {"socket", 0140755, true, false, 0, false, true, false, true, "since it is a device file"},
    // The real path never came: the object was never opened, its name may be anybody's file.
    {"delayed open, real path never came", 0100644, true, true, 5, false, false, false, true,
     "since it was never opened"},
    // An object of a kind the reader cannot look into is taken at its name, delayed open or not.
    {"delayed open", 0100644, true, true, 0, false, true, true, true, "Removing file "},
    {"virtual-server host's object", 0100644, true, false, 0, true, false, true, false, "Removing file "},
};

class ReaderCleanupTest : public PipelineFixture {};

TEST_F(ReaderCleanupTest, ItemLeftOpenAtTheStopIsClosedAndRemovedByItsKind) {
    for (const LeftOpen& c : kCases) {
        SCOPED_TRACE(c.name);
        StreamWriter stream(media_, 1);
        stream.header("/root/item", c.mode);
        stream.buffer(PL_DATA, "abc");
        stream.buffer(PL_FS_CLOSE_AFILE, "");
        stream.finish();
        // The archive's end inside an item, as no archive file holds it: the job stops with the item open.
        fclarchive::hooks::passAnyBufferType(true);
        const std::string partial = dest_ + "/item";
        fcltest::writeFile(partial, "partial or existing");
        InitDataPlan plan;
        plan.appType = c.virtualServerHost ? 0x6a : 29;

        EXPECT_EQ(inChild([&] {
                      PipelineJob* job = startPipelineJob(0, PipelineSetup(), plan);
                      job->_removeFileOnError = c.removeFileOnError;
                      job->onHeader = [&](PipelineJob& j, CXFileHeader&) {
                          j._ro = new TrackedObject(partial);
                          j._delayOpen = c.delayOpen;
                          j._savedOptHdr = c.savedOptHdrLen != 0 ? g_savedOptHdr : nullptr;
                          j._savedOptHdrLen = c.savedOptHdrLen;
                          j._fclRestoreUnix->_useVsrstFactory = c.virtualServerHost;
                      };
                      ASSERT_EQ(openArchive(1), FSR_MSG_SUCCESS);
                      send(FSR_MSG_READ_ALL);
                      ASSERT_TRUE(readerEnded(20000));
                      EXPECT_EQ(TrackedObject::closes, c.closed ? 1 : 0);
                      EXPECT_EQ(exists(partial), !c.removed);
                      EXPECT_EQ(TrackedObject::destroyed, c.deleted ? 1 : 0);
                      EXPECT_EQ(job->_ro == nullptr, c.deleted);
                      if (c.line != nullptr) {
                          EXPECT_TRUE(log().contains(c.line));
                      }
                      job->_savedOptHdr = nullptr;
                      job->_savedOptHdrLen = 0;
                      send(FSR_MSG_CLOSE_ARCHIVE);
                      finishJob();
                  }),
                  0);
    }
}

// A regular file whose open was delayed: what decides is whether the object then opened its name, not the delay.
TEST_F(ReaderCleanupTest, DelayedItemAtTheStopIsRemovedOnlyWhenItsObjectOpenedIt) {
    const struct {
        const char* name;
        bool opened;
        bool removeFileOnError;
    } cases[] = {
        {"opened, partial files removed", true, true},
        {"opened, partial files kept", true, false},
        {"never opened", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StreamWriter stream(media_, 1);
        stream.header("/root/item", 0100644);
        stream.buffer(PL_DATA, "abc");
        stream.buffer(PL_FS_CLOSE_AFILE, "");
        stream.finish();
        // The archive's end inside an item, as no archive file holds it: the job stops with the item open.
        fclarchive::hooks::passAnyBufferType(true);
        const std::string path = dest_ + "/item";
        unlink(path.c_str());
        if (!c.opened) {
            fcltest::writeFile(path, "a user's file");
        }
        struct stat before = {};
        lstat(path.c_str(), &before);

        EXPECT_EQ(inChild([&] {
                      PipelineJob* job = startPipelineJob();
                      job->_removeFileOnError = c.removeFileOnError;
                      job->onHeader = [&](PipelineJob& j, CXFileHeader& hdr) {
                          hdr.h_uid = getuid();
                          hdr.h_gid = getgid();
                          hdr.h_mtime = 1600000000;
                          auto* file = new FsRestoreFile(&hdr, dynamic_cast<FsRestoreUnixObjectsFactory*>(j._factory));
                          file->_filename = path;
                          file->_realName = path;
                          j._ro = file;
                          j._delayOpen = true;
                          if (c.opened) {
                              EXPECT_EQ(file->openObject(), 1);
                          }
                      };
                      ASSERT_EQ(openArchive(1), FSR_MSG_SUCCESS);
                      send(FSR_MSG_READ_ALL);
                      ASSERT_TRUE(readerEnded(20000));
                      EXPECT_EQ(job->_ro, nullptr);
                      send(FSR_MSG_CLOSE_ARCHIVE);
                      finishJob();
                  }),
                  0);

        struct stat after = {};
        const bool left = lstat(path.c_str(), &after) == 0;
        if (!c.opened) {
            ASSERT_TRUE(left);
            EXPECT_EQ(fcltest::readFile(path), "a user's file");
            EXPECT_EQ(after.st_mtime, before.st_mtime);
        } else if (c.removeFileOnError) {
            EXPECT_FALSE(left);
        } else {
            // Kept, it looks older than any copy, so that a later restore redoes it.
            ASSERT_TRUE(left);
            EXPECT_EQ(after.st_mtime, 0);
        }
    }
}

}  // namespace
}  // namespace jobtest
