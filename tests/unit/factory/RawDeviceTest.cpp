// Database restores that write into raw devices: the walk from an item's destination name to the device that
// receives it (through relative, absolute, long and circular links), the regular-file rules, and the check that
// restores a link at its source path when its destination may lead into a device. /dev/null is the device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <typeinfo>

#include "clRestore/objects/FsRestoreFile.h"
#include "clRestore/objects/FsRestoreSpecial.h"
#include "clRestore/objects/FsRestoreSymlink.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/factory/JobFactoryFixture.h"

namespace {

const unsigned long kIntoDevice = FSR_OPT_OUT_OF_PLACE | FSR_OPT_DEST_IS_FILE;
const char kDevice[] = "/dev/null";

class RawDevice : public fcltest::JobFactoryFixture {
protected:
    RawDevice() {
        job_.restoreDataInRawDev = 1;
        job_._rawDevAsRegularFile = 0;
        struct stat st;
        EXPECT_EQ(stat(kDevice, &st), 0);
        deviceRdev_ = static_cast<uint32_t>(st.st_rdev);
    }

    void link(const std::string& target, const std::string& at) { ASSERT_EQ(symlink(target.c_str(), at.c_str()), 0); }
    void dir(const std::string& at) { ASSERT_EQ(mkdir(at.c_str(), 0755), 0); }

    // The object for a device item whose destination name is `dest`; the error code when none is made.
    unsigned long restoreDevice(const std::string& dest, unsigned long options, std::unique_ptr<FsRestoreObject>& out,
                                CXFileHeader& h) {
        factory_ = make(options, dest);
        try {
            out.reset(factory_->createRestoreObject(&h, 0));
            return 0;
        } catch (const ClExceptError& error) {
            return static_cast<unsigned long>(error.getErrCode());
        }
    }

    std::unique_ptr<fcltest::FactoryView> factory_;
    uint32_t deviceRdev_ = 0;
};

TEST_F(RawDevice, DestinationThatIsADeviceGetsItsNumber) {
    CXFileHeader h = header("/src/disk0", S_IFBLK | 0600);
    h.rdev = 0x1234;
    std::unique_ptr<FsRestoreObject> object;
    wzlog::ScopedCapture capture;
    ASSERT_EQ(restoreDevice(kDevice, kIntoDevice, object, h), 0u);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(typeid(*object), typeid(FsRestoreSpecial));
    EXPECT_EQ(object->getTranslatedPathname(), kDevice);
    EXPECT_EQ(h.rdev, deviceRdev_);
    EXPECT_EQ(job_._rawDevFound, 1);
    EXPECT_EQ(FsRestoreUnixObject::_createHoles, 0);
    EXPECT_TRUE(capture->contains("INFO: Raw Device File [/dev/null] is being restored; destRdev=" +
                                  std::to_string(static_cast<int>(deviceRdev_)) + " srcRdev=4660"));
}

// scratch/a/b/lnk -> ../../devs/null, scratch/devs/null -> /dev/null: each "../" climbs from the link's directory.
TEST_F(RawDevice, RelativeAndAbsoluteLinksAreFollowedByHand) {
    dir(scratch_ / "a");
    dir(scratch_ / "a/b");
    dir(scratch_ / "devs");
    link("../../devs/null", scratch_ / "a/b/lnk");
    link(kDevice, scratch_ / "devs/null");
    CXFileHeader h = header("/src/raw", S_IFCHR | 0600);
    std::unique_ptr<FsRestoreObject> object;
    wzlog::ScopedCapture capture;
    ASSERT_EQ(restoreDevice(scratch_ / "a/b/lnk/raw", kIntoDevice, object, h), 0u);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->getTranslatedPathname(), kDevice);
    EXPECT_EQ(h.rdev, deviceRdev_);
    EXPECT_TRUE(capture->contains("INFO: Link=[" + scratch_ / "a/b/lnk" + "] to a Raw Device found."));
    EXPECT_TRUE(capture->contains("INFO: Link Absolute Contents=[" + scratch_.path() + "/devs/null/]"));
}

// The walk reads a link of any length whole: a target past 1024 characters still leads to the device.
TEST_F(RawDevice, LongLinkTargetIsReadWhole) {
    std::string target = "/dev";
    while (target.size() < 1500) {
        target += "/.";
    }
    target += "/null";
    link(target, scratch_ / "long");
    CXFileHeader h = header("/src/raw", S_IFCHR | 0600);
    std::unique_ptr<FsRestoreObject> object;
    ASSERT_EQ(restoreDevice(scratch_ / "long/raw", kIntoDevice, object, h), 0u);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(h.rdev, deviceRdev_);
}

// Eleven links are followed; at the twelfth the walk takes the chain for a circle and ends without a device.
TEST_F(RawDevice, ChainOfTwelveLinksIsTakenForACircle) {
    for (int length : {11, 12}) {
        const std::string base = scratch_ / ("chain" + std::to_string(length));
        dir(base);
        for (int i = 1; i <= length; ++i) {
            link(i == length ? std::string(kDevice) : base + "/l" + std::to_string(i + 1),
                 base + "/l" + std::to_string(i));
        }
        CXFileHeader h = header("/src/raw", S_IFCHR | 0600);
        std::unique_ptr<FsRestoreObject> object;
        wzlog::ScopedCapture capture;
        const unsigned long error = restoreDevice(base + "/l1/raw", kIntoDevice, object, h);
        const bool circle = capture->contains("INFO: Link=[" + base + "/l12] May be a circular link");
        if (length == 11) {
            EXPECT_EQ(error, 0u);
            EXPECT_FALSE(circle);
        } else {
            EXPECT_EQ(error, fclitem::kRawDeviceNotRestorable);
            EXPECT_TRUE(circle);
        }
    }
}

// A device found for one item does not stand in for the next one's.
TEST_F(RawDevice, MissingDeviceFailsAlsoAfterOthersWereFound) {
    CXFileHeader found = header("/src/raw0", S_IFCHR | 0600);
    std::unique_ptr<FsRestoreObject> object;
    ASSERT_EQ(restoreDevice(kDevice, kIntoDevice, object, found), 0u);
    EXPECT_EQ(job_._rawDevFound, 1);
    dir(scratch_ / "nodevice");
    CXFileHeader missing = header("/src/raw1", S_IFCHR | 0600);
    EXPECT_EQ(restoreDevice(scratch_ / "nodevice/raw1", kIntoDevice, object, missing),
              fclitem::kRawDeviceNotRestorable);
}

TEST_F(RawDevice, ContentsIntoARegularFileNeedUnconditionalOverwrite) {
    job_._rawDevAsRegularFile = 1;
    const struct {
        unsigned long options;
        unsigned long error;
        const char* line;
    } cases[] = {
        {kIntoDevice | FSR_OPT_OVERWRITE, 0, "INFO: Raw Device File [/dev/null] is being restored as a Regular file"},
        {kIntoDevice, fclitem::kRawDeviceNotRestorable,
         "INFO: Raw Device File [/dev/null] cannot be restored as a Regular file"},
    };
    for (const auto& c : cases) {
        CXFileHeader h = header("/src/raw", S_IFCHR | 0600);
        std::unique_ptr<FsRestoreObject> object;
        wzlog::ScopedCapture capture;
        EXPECT_EQ(restoreDevice(kDevice, c.options, object, h), c.error);
        EXPECT_TRUE(capture->contains(c.line)) << c.line;
        if (c.error == 0) {
            ASSERT_NE(object, nullptr);
            EXPECT_EQ(typeid(*object), typeid(FsRestoreFile));
            EXPECT_EQ(object->getTranslatedPathname(), kDevice);
        }
        EXPECT_EQ(job_._rawDevFound, 0);
    }
}

// A link item is kept at its destination while the directories above it lead where files can be created; through
// a device, or through a link that leads nowhere writable, it is restored at its source path.
TEST_F(RawDevice, LinkItemIsRestoredAtItsSourceWhereItMayLeadIntoADevice) {
    dir(scratch_ / "real");
    link(scratch_ / "real", scratch_ / "good");
    link(scratch_ / "missing", scratch_ / "bad");
    const struct {
        const char* name;
        std::string dest;
        bool atSource;
        const char* line;
    } cases[] = {
        {"ThroughLinkToWritableDirectory", scratch_ / "good/item", false, nullptr},
        {"NoLinkOnTheWay", scratch_ / "real/item", false, nullptr},
        {"ThroughLinkToNothing", scratch_ / "bad/item", true,
         "INFO: Link=[/src/item] possibly leading to a Raw Device File is being restored in place."},
        {"ThroughDevice", std::string(kDevice) + "/item", true,
         "INFO: Link=[/src/item] to Raw Device File is being restored in place."},
    };
    for (const auto& c : cases) {
        CXFileHeader h = header("/src/item", S_IFLNK | 0777);
        std::unique_ptr<FsRestoreObject> object;
        wzlog::ScopedCapture capture;
        ASSERT_EQ(restoreDevice(c.dest, kIntoDevice, object, h), 0u) << c.name;
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(typeid(*object), typeid(FsRestoreSymlink));
        EXPECT_EQ(object->getTranslatedPathname(), c.atSource ? std::string("/src/item") : c.dest) << c.name;
        if (c.line != nullptr) {
            EXPECT_TRUE(capture->contains(c.line)) << c.name;
        }
    }
}

// The probe that tells a writable directory is a file of the job's own: a file of the user's with the old probe
// name is neither truncated nor removed, and nothing is left behind.
TEST_F(RawDevice, LinkProbeLeavesTheUsersFilesAlone) {
    dir(scratch_ / "real");
    link(scratch_ / "real", scratch_ / "good");
    fcltest::writeFile(scratch_ / "real/.tempfile0", "the user's data");
    CXFileHeader h = header("/src/item", S_IFLNK | 0777);
    std::unique_ptr<FsRestoreObject> object;
    ASSERT_EQ(restoreDevice(scratch_ / "good/item", kIntoDevice, object, h), 0u);
    EXPECT_EQ(object->getTranslatedPathname(), scratch_ / "good/item");
    EXPECT_EQ(fcltest::readFile(scratch_ / "real/.tempfile0"), "the user's data");
    int fd = open((scratch_ / "real").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fcltest::entryNames(fd), std::vector<std::string>{".tempfile0"});
    close(fd);
}

// Only out-of-place jobs that write into raw devices look at a link's way at all.
TEST_F(RawDevice, LinkCheckOnlyForRawDeviceJobs) {
    link(scratch_ / "missing", scratch_ / "bad");
    const struct {
        unsigned long options;
        int rawData;
        int asRegular;
    } cases[] = {{FSR_OPT_DEST_IS_FILE, 1, 0}, {kIntoDevice, 0, 0}, {kIntoDevice, 1, 1}};
    for (const auto& c : cases) {
        job_.restoreDataInRawDev = c.rawData;
        job_._rawDevAsRegularFile = c.asRegular;
        CXFileHeader h = header("/src/item", S_IFLNK | 0777);
        std::unique_ptr<FsRestoreObject> object;
        ASSERT_EQ(restoreDevice(scratch_ / "bad/item", c.options, object, h), 0u);
        EXPECT_EQ(object->getTranslatedPathname(), scratch_ / "bad/item");
    }
}

}  // namespace
