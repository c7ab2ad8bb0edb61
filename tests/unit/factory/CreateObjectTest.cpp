// The restore object each file header gets: its class by file type, options and job settings (the raw-device rules
// included), the hole switches it leaves, the item's special data handler, and the headers that get no object.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <typeinfo>

#include "clRestore/objects/FsRestoreDirectory.h"
#include "clRestore/objects/FsRestoreFile.h"
#include "clRestore/objects/FsRestoreSpecial.h"
#include "clRestore/objects/FsRestoreSymlink.h"
#include "clRestore/objects/FsRestoreWindowsFile.h"
#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/apps/OracleRestoreHandler.h"
#include "platform/events/Journal.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/factory/JobFactoryFixture.h"

namespace {

enum class Made { kSpecial, kSymlink, kFile, kDirectory, kCacheDirectory, kWindowsFile };

const std::type_info& classOf(Made made) {
    switch (made) {
        case Made::kSpecial:
            return typeid(FsRestoreSpecial);
        case Made::kSymlink:
            return typeid(FsRestoreSymlink);
        case Made::kFile:
            return typeid(FsRestoreFile);
        case Made::kDirectory:
            return typeid(FsRestoreDirectory);
        case Made::kCacheDirectory:
            return typeid(FsRestoreUnixCacheDirectory);
        case Made::kWindowsFile:
            return typeid(FsRestoreWindowsFile);
    }
    return typeid(void);
}

const unsigned long kOutOfPlaceFile = FSR_OPT_OUT_OF_PLACE | FSR_OPT_DEST_IS_FILE;
const int kWindowsPlatform = 2;
const int kNoJob = -1;  // restoreDataInRawDev of a row without a job

struct TypeCase {
    const char* name;
    unsigned int mode;
    unsigned long options;
    int rawDevData;  // the job's restoreDataInRawDev, or kNoJob
    int rawDevAsRegularFile;
    bool cacheDb;
    int platform;
    Made made;
    unsigned long error;  // 0: an object of class `made`
};

void PrintTo(const TypeCase& c, std::ostream* os) {
    *os << c.name;
}

// Device rows that restore out of place name the destination itself as the item, a path with no device on the way.
const TypeCase kTypeCases[] = {
    {"Fifo", S_IFIFO | 0644, 0, 0, 0, false, 25, Made::kSpecial, 0},
    {"Socket", S_IFSOCK | 0755, 0, 0, 0, false, 25, Made::kSpecial, 0},
    {"Symlink", S_IFLNK | 0777, 0, 0, 0, false, 25, Made::kSymlink, 0},
    {"RegularFile", S_IFREG | 0600, 0, 0, 0, false, 25, Made::kFile, 0},
    {"RegularFileOfWindowsSource", S_IFREG | 0600, 0, 0, 0, false, kWindowsPlatform, Made::kFile, 0},
    {"Directory", S_IFDIR | 0755, 0, 0, 0, false, 25, Made::kDirectory, 0},
    {"DirectoryOfIndexCacheRestore", S_IFDIR | 0755, 0, 0, 0, true, 25, Made::kCacheDirectory, 0},
    {"DirectoryWithoutJob", S_IFDIR | 0755, 0, kNoJob, 0, false, 25, Made::kDirectory, 0},
    {"CharDeviceInPlace", S_IFCHR | 0600, 0, 1, 0, false, 25, Made::kSpecial, 0},
    {"BlockDeviceInPlace", S_IFBLK | 0600, 0, 1, 0, false, 25, Made::kSpecial, 0},
    {"BlockDeviceOutOfPlaceNotIntoDevices", S_IFBLK | 0600, kOutOfPlaceFile, 0, 0, false, 25, Made::kSpecial, 0},
    {"BlockDeviceOutOfPlaceWithoutJob", S_IFBLK | 0600, kOutOfPlaceFile, kNoJob, 0, false, 25, Made::kSpecial, 0},
    {"DeviceIntoMissingRawDevice", S_IFBLK | 0600, kOutOfPlaceFile, 1, 0, false, 25, Made::kSpecial,
     fclitem::kRawDeviceNotRestorable},
    {"DeviceIntoRawDeviceOfUnknownKind", S_IFCHR | 0600, kOutOfPlaceFile, 2, 0, false, 25, Made::kSpecial,
     fclitem::kRawDeviceNotRestorable},
    {"DeviceContentsIntoRegularFile", S_IFCHR | 0600, kOutOfPlaceFile, 1, 1, false, 25, Made::kFile, 0},
    {"DeviceContentsOfWindowsSourceIntoRegularFile", S_IFCHR | 0600, kOutOfPlaceFile, 1, 1, false, kWindowsPlatform,
     Made::kWindowsFile, 0},
    {"DeviceContentsIntoRegularFileWithoutWalk", S_IFBLK | 0600, kOutOfPlaceFile, 2, 1, false, 25, Made::kFile, 0},
    {"TypeZero", 0644, 0, 0, 0, false, 25, Made::kFile, fclitem::kInvalidFileType},
    {"TypeZeroWithoutJob", 0644, 0, kNoJob, 0, false, 25, Made::kFile, fclitem::kInvalidFileType},
    {"UnknownType", 0xE000 | 0644, 0, 0, 0, false, 25, Made::kFile, fclitem::kInvalidFileType},
    {"Type3000", 0x3000, 0, 0, 0, false, 25, Made::kFile, fclitem::kInvalidFileType},
};

class ObjectByType : public fcltest::JobFactoryFixture, public ::testing::WithParamInterface<TypeCase> {};

TEST_P(ObjectByType, FollowsTheTable) {
    const TypeCase& c = GetParam();
    const bool withJob = c.rawDevData != kNoJob;
    if (withJob) {
        job_.restoreDataInRawDev = c.rawDevData;
        job_._rawDevAsRegularFile = c.rawDevAsRegularFile;
        companion()._cacheDbRestore = c.cacheDb;
    }
    const std::string dest = scratch_ / "plain/item";
    auto factory = make(c.options, dest, withJob);
    CXFileHeader h = header("/src/dir/item", c.mode, c.platform);
    wzlog::ScopedCapture capture;
    std::unique_ptr<FsRestoreObject> object;
    try {
        object.reset(factory->createRestoreObject(&h, 7));
        EXPECT_EQ(c.error, 0u) << "no error where " << std::hex << c.error << " was due";
    } catch (const ClExceptError& error) {
        EXPECT_EQ(static_cast<unsigned long>(error.getErrCode()), c.error);
        EXPECT_EQ(object, nullptr);
        if (c.error == fclitem::kInvalidFileType) {
            EXPECT_TRUE(
                capture->contains("Invalid mode [" + std::to_string(c.mode & 0xF000) + "] for file [/src/dir/item]"));
        }
        if (c.error == fclitem::kRawDeviceNotRestorable) {
            EXPECT_TRUE(
                capture->contains("INFO: Destination Raw Device does not exist. [" + scratch_.path() + "/plain]"));
        }
        return;
    }
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(typeid(*object), classOf(c.made)) << typeid(*object).name();
    EXPECT_EQ(factory->getVersion(), 7u);
    EXPECT_FALSE(factory->getOpenSpecialFileFlag());
    // A job's version other than 0 is kept as a ",7" suffix; a single-file destination names the item as it is.
    const std::string inPlace = withJob ? "/src/dir/item,7" : "/src/dir/item";
    EXPECT_EQ(object->getTranslatedPathname(), (c.options & FSR_OPT_DEST_IS_FILE) != 0 ? dest : inPlace);
    EXPECT_EQ(job_._rawDevFound, 0) << "no walk found a device";
}

INSTANTIATE_TEST_SUITE_P(Table, ObjectByType, ::testing::ValuesIn(kTypeCases),
                         [](const ::testing::TestParamInfo<TypeCase>& info) { return info.param.name; });

class CreateObject : public fcltest::JobFactoryFixture {
protected:
    ~CreateObject() override {
        wzapps::setOracleActualFileName("");
        wzapps::setOracleFinalizeDataResult(0);
    }

    std::unique_ptr<FsRestoreObject> create(FsRestoreUnixObjectsFactory& factory, CXFileHeader& h) {
        return std::unique_ptr<FsRestoreObject>(factory.createRestoreObject(&h, 0));
    }
};

// The switches are class-wide: a regular file of a job with a threshold turns holes on for later items, a device
// item turns them off; a job without a threshold leaves them alone.
TEST_F(CreateObject, HoleSwitchesFollowTheJobThresholdAndDevices) {
    auto factory = make(0, "");
    CXFileHeader file = header("/d/f", S_IFREG | 0644);
    CXFileHeader device = header("/d/dev", S_IFBLK | 0600);

    job_._holeThreshold = -1;
    create(*factory, file);
    EXPECT_EQ(FsRestoreUnixObject::_createHoles, 0);
    EXPECT_EQ(FsRestoreUnixObject::_minHoleSize, FsRestoreUnixObject::kDefaultMinHoleSize);

    job_._holeThreshold = 8192;
    create(*factory, file);
    EXPECT_EQ(FsRestoreUnixObject::_createHoles, 1);
    EXPECT_EQ(FsRestoreUnixObject::_minHoleSize, 8192);

    job_._holeThreshold = -1;
    create(*factory, file);
    EXPECT_EQ(FsRestoreUnixObject::_createHoles, 1) << "stays set for later items";
    create(*factory, device);
    EXPECT_EQ(FsRestoreUnixObject::_createHoles, 0) << "a device item turns holes off";
}

TEST_F(CreateObject, OracleItemGetsAHandlerAndItsActualName) {
    auto factory = make(0, "");
    wzapps::setOracleActualFileName("/ora/data/actual.dbf");
    CXFileHeader oracle = header("/ora/data/backup.dbf", S_IFREG | 0640);
    oracle.flags = CXHDR_F_ORACLE;
    wzlog::ScopedCapture capture;
    auto object = create(*factory, oracle);
    ASSERT_NE(object, nullptr);
    EXPECT_STREQ(oracle.name, "/ora/data/actual.dbf");
    EXPECT_EQ(oracle.nameLength, strlen("/ora/data/actual.dbf") + 1);
    EXPECT_EQ(object->getTranslatedPathname(), "/ora/data/actual.dbf");
    EXPECT_TRUE(capture->contains("Creating OracleRestoreHandler object"));
    EXPECT_TRUE(capture->contains("Actual Filename is /ora/data/actual.dbf"));

    int fd = -1;
    void* buffer = nullptr;
    long long length = 100;
    factory->writeToDataHandler(fd, &buffer, length);
    EXPECT_FALSE(factory->finalizeFile(false));
    EXPECT_TRUE(factory->finalizeFile(true));
    wzapps::setOracleFinalizeDataResult(-5);
    EXPECT_EQ(factory->finalizeData(fd, &buffer, length), -5);
    EXPECT_TRUE(capture->contains("finalizeData failed, error=-5"));
    const std::vector<std::string> calls = wzplatform::journalLines("oracle");
    const std::vector<std::string> expected = {"handler made",    "header /ora/data/backup.dbf",
                                               "data 100",        "finalize file 0",
                                               "finalize file 1", "finalize data -5"};
    EXPECT_EQ(calls, expected);

    // The next header without the flag has no handler: the data path passes through.
    CXFileHeader plain = header("/ora/data/notes.txt", S_IFREG | 0640);
    create(*factory, plain);
    EXPECT_TRUE(capture->contains("Not Creating OracleRestoreHandler object"));
    EXPECT_EQ(wzplatform::journalLines("oracle").back(), "handler released");
    EXPECT_EQ(factory->finalizeData(fd, &buffer, length), 0);
    EXPECT_FALSE(factory->finalizeFile(false));
    EXPECT_EQ(factory->writeToDataHandler(fd, &buffer, length), 0);
    EXPECT_FALSE(factory->isSpecialHandlingRequired());
}

// A name cut to the header's size would name another file.
TEST_F(CreateObject, ActualNameThatDoesNotFitFailsTheItem) {
    auto factory = make(0, "");
    wzapps::setOracleActualFileName("/" + std::string(CXHDR_NAME_SIZE - 1, 'n'));
    CXFileHeader oracle = header("/ora/f.dbf", S_IFREG | 0640);
    oracle.flags = CXHDR_F_ORACLE;
    try {
        create(*factory, oracle);
        ADD_FAILURE() << "an actual name of 1028 characters was taken";
    } catch (const ClExceptError& error) {
        EXPECT_EQ(static_cast<unsigned long>(error.getErrCode()), fclitem::kPathTooLong);
    }
    EXPECT_STREQ(oracle.name, "/ora/f.dbf");

    wzapps::setOracleActualFileName("/" + std::string(CXHDR_NAME_SIZE - 2, 'n'));
    auto object = create(*factory, oracle);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(strlen(oracle.name), CXHDR_NAME_SIZE - 1);
}

// An item without a destination name fails as such instead of being created relative to the working directory.
TEST_F(CreateObject, ItemWithoutNameHasNoDestination) {
    auto factory = make(kOutOfPlaceFile, "");
    CXFileHeader h = header("/src/f", S_IFREG | 0644);
    try {
        create(*factory, h);
        ADD_FAILURE() << "an item without a name got an object";
    } catch (const ClExceptError& error) {
        EXPECT_EQ(static_cast<unsigned long>(error.getErrCode()), fclitem::kNoDestination);
    }
}

TEST_F(CreateObject, ErrorCodeOfThePreviousItemIsCleared) {
    auto factory = make(0, "");
    factory->setErrCode(fclitem::kWriteFailed);
    CXFileHeader h = header("/src/f", S_IFREG | 0644);
    create(*factory, h);
    EXPECT_EQ(factory->getErrCode(), 0u);
}

TEST_F(CreateObject, SearchIndexItemThatCannotBeResolvedGetsNoObject) {
    companion()._solrDBRestore = true;
    auto factory = make(0, "");
    CXFileHeader h = header("/index/core/segments_1", S_IFREG | 0644);
    wzlog::ScopedCapture capture;
    EXPECT_EQ(create(*factory, h), nullptr);
    EXPECT_TRUE(capture->contains(" processSolrDBFileHeader Failed. Error : "));
}

}  // namespace
