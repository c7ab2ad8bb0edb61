// The factory's job-wide state: the destination copy and its replacement, the source paths that stay the job's, the
// defaults of the interface, the answers of a factory without a job, and the settings read at construction.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/objects/RestoreUserGlobals.h"
#include "platform/log/LogWriter.h"
#include "tests/common/FactoryFixture.h"

namespace {

class Factory : public fcltest::FactoryFixture {};

struct DestCase {
    const char* name;
    const char* given;  // null: no text
    const char* kept;
};

void PrintTo(const DestCase& c, std::ostream* os) {
    *os << c.name;
}

const DestCase kDestCases[] = {
    {"TwoBackslashesKeptWhole", "\\\\server\\share", "\\\\server\\share"},
    {"OneBackslashDropped", "\\dir\\sub", "dir\\sub"},
    {"LoneBackslashLeavesEmpty", "\\", ""},
    {"UnixPathKeptWhole", "/new/dest", "/new/dest"},
    {"EmptyChangesNothing", "", "/restore/dest"},
    {"NoTextChangesNothing", nullptr, "/restore/dest"},
};

class SetDestDir : public fcltest::FactoryFixture, public ::testing::WithParamInterface<DestCase> {};

TEST_P(SetDestDir, KeepsTheGivenForm) {
    const DestCase& c = GetParam();
    auto factory = makeFactory();
    std::string given = c.given != nullptr ? c.given : "";
    EXPECT_EQ(factory->setDestDir(c.given != nullptr ? &given[0] : nullptr), 0);
    EXPECT_STREQ(factory->getDestDir(), c.kept);
    // The factory's copy, not the caller's text.
    if (c.given != nullptr && given.size() > 0) {
        EXPECT_NE(factory->getDestDir(), given.data());
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SetDestDir, ::testing::ValuesIn(kDestCases),
                         [](const ::testing::TestParamInfo<DestCase>& info) { return info.param.name; });

TEST_F(Factory, KeepsItsOwnCopyOfTheDestination) {
    std::string dest = "/restore/here";
    auto factory = makeFactory(0x8, nullptr, dest.c_str());
    dest[1] = 'X';
    EXPECT_STREQ(factory->getDestDir(), "/restore/here");
    EXPECT_EQ(factory->getOptions(), 0x8u);
}

TEST_F(Factory, NullDestinationIsAnEmptyText) {
    auto factory = std::unique_ptr<FsRestoreUnixObjectsFactory>(
        new FsRestoreUnixObjectsFactory(nullptr, nullptr, 0, nullptr, 0, nullptr));
    ASSERT_NE(factory->getDestDir(), nullptr);
    EXPECT_STREQ(factory->getDestDir(), "");
}

// The array and its texts are the job's: one factory after another over the same array (a second round of source
// paths) frees nothing, and the job frees them once (a double free shows under the sanitizers).
TEST_F(Factory, SourcePathsStayTheJobs) {
    std::vector<FSRSrcPath> paths(3);
    paths[0].path = strdup("/data/a");
    paths[1].path = nullptr;
    paths[2].path = strdup("/data/b");
    paths[2].stripLevel = 2;
    for (int round = 0; round < 2; ++round) {
        auto factory = makeFactory(0, &paths);
        EXPECT_EQ(factory->getSrcPaths(), paths.data());
        EXPECT_EQ(factory->getNumSrcPaths(), 3);
    }
    EXPECT_STREQ(paths[0].path, "/data/a");
    EXPECT_STREQ(paths[2].path, "/data/b");
    EXPECT_EQ(paths[2].stripLevel, 2u);
    for (FSRSrcPath& record : paths) {
        free(record.path);
    }
}

TEST_F(Factory, ValidationIsSkippedOnlyForContainerAndExtentItems) {
    EXPECT_FALSE(FsRestoreObjectsFactory::IsValidationSkippedForFile(nullptr));
    const struct {
        uint32_t flags2;
        bool skipped;
    } cases[] = {{0, false},
                 {CXHDR_F2_CONTAINER, true},
                 {CXHDR_F2_EXTENT, true},
                 {CXHDR_F2_STUB, false},
                 {CXHDR_F2_CONTAINER | CXHDR_F2_LONG_PATH, true}};
    for (const auto& c : cases) {
        CXFileHeader header;
        header.flags2 = c.flags2;
        EXPECT_EQ(FsRestoreObjectsFactory::IsValidationSkippedForFile(&header), c.skipped) << c.flags2;
    }
}

// A factory that leaves every operation alone: the engine takes each default as "no special case".
class MinimalFactory : public FsRestoreObjectsFactory {
public:
    MinimalFactory() : FsRestoreObjectsFactory(nullptr, 0, const_cast<char*>("/d"), 0) {}
    FsRestoreObject* createRestoreObject(CXFileHeader*, unsigned long) override { return nullptr; }
    int isReboot() const override { return 0; }
};

TEST_F(Factory, InterfaceDefaultsAnswerNoSpecialCase) {
    MinimalFactory factory;
    CXFileHeader header;
    std::string text = "x";
    std::wstring wide = L"x";
    char buffer[8] = "abc";
    EXPECT_EQ(factory.initializeThread(), 1);
    EXPECT_FALSE(factory.IsNebrinPathOverWritten(&header));
    EXPECT_FALSE(factory.IsDummyBrowseFolder(&header));
    EXPECT_EQ(factory.computeOutOfPlacePathName(buffer, buffer, &header, 0x8000, true), 0);
    EXPECT_FALSE(factory.isFilePathUnderDC("/a"));
    EXPECT_FALSE(factory.isFilePathUnderTolveraLogFileFolder("/a"));
    EXPECT_FALSE(factory.IsFileFromBaseOrGuiFolder("/a"));
    EXPECT_FALSE(factory.CheckIfSystemPathIsOverWritten("/a"));
    EXPECT_FALSE(factory.isNebrinOverwriteCheckDisabled());
    EXPECT_EQ(factory.enableUnconditionalOverwriteForFile(true), 0);
    EXPECT_EQ(factory.computeMappedFileName("/a", buffer), 0);
    EXPECT_FALSE(factory.isFileMappingEnabled());
    EXPECT_EQ(factory.fixPossibleFileNameClash(text, wide), 0);
    std::string to = "kept";
    factory.translatePathname(to, "/a", &header, 0x8000);
    EXPECT_EQ(to, "kept");
    EXPECT_FALSE(factory.InsertInToMap());
    EXPECT_EQ(factory.InsertInToMap("/a", "/b"), 0);
    EXPECT_EQ(factory.InitializeForMappedRestores(kJobId), 1);
    EXPECT_EQ(factory.InitializeForMappedRestores(kJobId, std::map<unsigned long, std::string>()), 1);
    EXPECT_FALSE(factory.getMappingPath(to, text));
    EXPECT_EQ(to, "kept");
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(factory.getErrCode(), 0u);
    EXPECT_EQ(factory.getVersion(), 0u);
}

TEST_F(Factory, WithoutJobEveryJobQuestionHasItsDefault) {
    writeSettings("[TaskOptions]\n5.76 = false\n");  // would switch the label check off for a job
    auto factory = makeFactory();
    EXPECT_EQ(factory->getJob(), nullptr);
    EXPECT_FALSE(factory->IsSyncRestore());
    EXPECT_FALSE(factory->IsRuvoSyncRestore());
    EXPECT_FALSE(factory->IsRuvoRestore());
    EXPECT_FALSE(factory->IsHadoopRestore());
    unsigned long long uid = 7, gid = 9;
    factory->GetRestoreDestinationUIDGID(uid, gid);
    EXPECT_EQ(uid, 7u);
    EXPECT_EQ(gid, 9u);
    EXPECT_FALSE(factory->ShouldPreserveModifiedFilesForSync());
    EXPECT_EQ(factory->GetLastSyncBackupTime(), 65535);
    UserGroupID ids;
    ids.uid = 5;
    ids.gid = 6;
    factory->GetCurrentUserAndGroup(&ids);
    EXPECT_EQ(ids.getUID(), 0u);
    EXPECT_EQ(ids.getGID(), 0u);
    EXPECT_FALSE(factory->GetGUIFlagForTsolLLabelCheck()) << "the label check stays enforced";
    EXPECT_EQ(factory->isReboot(), 0);
    EXPECT_FALSE(factory->isFileMappingEnabled());
    EXPECT_FALSE(factory->getOpenSpecialFileFlag());
    EXPECT_EQ(factory->getFilename(), "");
    EXPECT_EQ(factory->getFilenameA(), "");
}

TEST_F(Factory, MappedRestoreOfAJobThatAsksForNoneSucceeds) {
    auto factory = makeFactory();
    EXPECT_EQ(factory->InitializeForMappedRestores(kJobId), 0);
    EXPECT_FALSE(factory->isFileMappingEnabled());
}

// A job that names a MapFile that gives no mapping, and does not restore unmapped data, has nothing to restore.
TEST_F(Factory, MappedRestoreOfAJobWhoseMapFileGivesNothingFails) {
    writeSettings("[TaskOptions]\n1 = " + (scratch_ / "absent.map") + "\n");
    auto factory = makeFactory();
    EXPECT_EQ(factory->InitializeForMappedRestores(kJobId, std::map<unsigned long, std::string>()), -1);
    EXPECT_FALSE(factory->isFileMappingEnabled());
}

struct RawDeviceCase {
    const char* name;
    const char* settings;
    bool create;
    const char* line;
};

void PrintTo(const RawDeviceCase& c, std::ostream* os) {
    *os << c.name;
}

const RawDeviceCase kRawDeviceCases[] = {
    {"Absent", "", false, "Raw devices will not be restored if required as per restore options"},
    {"Zero", "[FileSystemAgent]\nnCreateRawDeviceOnRestore = 0\n", false, "Raw devices will not be restored"},
    {"NonZero", "[FileSystemAgent]\nnCreateRawDeviceOnRestore = 3\n", true,
     "Registry key 'nCreateRawDeviceOnRestore' is set in FileSystemAgent section of registry with value 3"},
    {"NotANumber", "[FileSystemAgent]\nnCreateRawDeviceOnRestore = yes\n", false, "Raw devices will not be"},
};

class RawDeviceSetting : public fcltest::FactoryFixture, public ::testing::WithParamInterface<RawDeviceCase> {};

TEST_P(RawDeviceSetting, IsReadAtConstruction) {
    const RawDeviceCase& c = GetParam();
    writeSettings(c.settings);
    wzlog::ScopedCapture capture;
    auto factory = makeFactory();
    EXPECT_EQ(factory->ShouldCreateRawDeviceOnRestore(), c.create);
    EXPECT_TRUE(capture->contains(c.line));
    EXPECT_EQ(capture->contains("Raw devices will  be restored"), c.create);
}

INSTANTIATE_TEST_SUITE_P(Table, RawDeviceSetting, ::testing::ValuesIn(kRawDeviceCases),
                         [](const ::testing::TestParamInfo<RawDeviceCase>& info) { return info.param.name; });

// Owners are preserved on request only for a job that restores as another user; a job that does not never reads
// the setting and leaves the switch as it was.
TEST_F(Factory, PreserveOwnershipIsReadOnlyWhenImpersonated) {
    const struct {
        bool impersonated;
        bool before;
        const char* setting;
        bool after;
        const char* line;  // null: no line
    } cases[] = {
        {false, false, "1", false, nullptr},
        {false, true, "0", true, nullptr},
        {true, false, "1", true, "nPreserveOwnership is enabled"},
        {true, false, "0", false, "nPreserveOwnership is disabled"},
        {true, false, nullptr, false, "nPreserveOwnership is disabled"},
    };
    for (const auto& c : cases) {
        writeSettings(c.setting != nullptr ? std::string("[FileSystemAgent]\nnPreserveOwnership = ") + c.setting + "\n"
                                           : std::string());
        g_impersonated = c.impersonated;
        g_preserveOwnership = c.before;
        wzlog::ScopedCapture capture;
        auto factory = makeFactory();
        g_impersonated = false;
        EXPECT_EQ(g_preserveOwnership, c.after) << c.impersonated << " " << (c.setting ? c.setting : "absent");
        if (c.line != nullptr) {
            EXPECT_TRUE(capture->contains(c.line)) << c.line;
        } else {
            EXPECT_FALSE(capture->contains("nPreserveOwnership is"));
        }
    }
}

}  // namespace
