// Destination naming of one item: the mapping, path translation, share auto-mount, Spanner instances, in-place names,
// the file name extension and the version suffix; the per-item ids of items without a destination or excluded by the
// mapping; hostile names refused before any rule uses them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/objects/RestoreUserGlobals.h"
#include "platform/log/LogWriter.h"
#include "platform/mounts/FileShareAutoMountManager.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/factory/NamingFixture.h"

namespace {

enum class Kind { Plain, Extension, AppType128, AutoMount, Spanner, Silo };

const unsigned long kKeep = FSR_OPT_OUT_OF_PLACE | FSR_OPT_KEEP_DIR_STRUCTURE;
const unsigned short kFile = 0x8000;
const unsigned short kDir = 0x4000;

struct NamingCase {
    const char* name;
    unsigned long options;
    Kind kind;
    const char* mapFile;  // null: the job names none
    bool restoreUnmapped;
    std::string sources;  // "path:strip ..."
    std::string item;
    unsigned short mode;
    int platform;
    unsigned long version;
    std::string expected;  // the name, "(none)" when naming answers false, "#0x..." the id thrown
    int mapped;
};

void PrintTo(const NamingCase& c, std::ostream* os) {
    *os << c.name;
}

const NamingCase kCases[] = {
    {"MappedItemKeepsExtensionAndVersion", 0, Kind::Extension, "\"/a\",\"/m\"\n", false, "", "/a/f", kFile, 25, 3,
     "/m/f.bak,3", 1},
    {"MappedSourceItselfIsTheDestination", 0, Kind::Plain, "\"/a\",\"/m\"\n", false, "", "/a", kDir, 25, 0, "/m", 1},
    {"VersionGoesBeforeTheLastSemicolon", 0, Kind::Plain, nullptr, false, "", "/d/f;1", kFile, 49, 2, "/d/f,2;1", 0},
    {"VersionWithoutSemicolonIsAppended", 0, Kind::Plain, nullptr, false, "", "/d/f", kFile, 49, 2, "/d/f,2", 0},
    {"ExtensionGoesBeforeTheLastSemicolon", 0, Kind::Extension, nullptr, false, "", "/d/f;1", kFile, 49, 0,
     "/d/f.bak;1", 0},
    {"AppType128GetsNoVersion", 0, Kind::AppType128, nullptr, false, "", "/d/f", kFile, 25, 3, "/d/f", 0},
    {"VersionZeroGetsNoSuffix", 0, Kind::Plain, nullptr, false, "", "/d/f", kFile, 25, 0, "/d/f", 0},
    {"ExtensionOnlyForRegularFiles", 0, Kind::Extension, nullptr, false, "", "/d/x", kDir, 25, 0, "/d/x", 0},
    {"DestinationThatIsTheFileTakesEveryItem", FSR_OPT_DEST_IS_FILE | kKeep, Kind::Extension, "\"/a\",\"/m\"\n", false,
     "", "/a/f", kFile, 25, 3, "/r", 0},
    {"UnmappedItemIsTranslatedWhenAllowed", kKeep, Kind::Plain, "\"/a\",\"/m\"\n", true, "/b:1", "/b/x/f", kFile, 25, 0,
     "/r/x/f", 0},
    {"UnmappedItemHasNoDestination", kKeep, Kind::Plain, "\"/a\",\"/m\"\n", false, "/b:1", "/b/x/f", kFile, 25, 0,
     "#0x1700005b", 0},
    {"ExcludedItem", kKeep, Kind::Plain, "\"/a\",\"/m\"\n\"/a/secret\",\"\"\n", false, "", "/a/secret/f", kFile, 25, 0,
     "#0x1700005c", 0},
    {"ExclusionMatchesTheNormalisedName", kKeep, Kind::Plain, "\"/a\",\"/m\"\n\"/a/secret\",\"\"\n", false, "",
     "/a//secret/./f", kFile, 25, 0, "#0x1700005c", 0},
    {"MappedClimbIsRefused", kKeep, Kind::Plain, "\"/a\",\"/m\"\n", false, "", "/a/../../etc/passwd", kFile, 25, 0,
     "#0x1700005b", 0},
    {"OutOfPlaceItemIsTranslated", kKeep, Kind::Plain, nullptr, false, "/data:1", "/data/x/f", kFile, 25, 0, "/r/x/f",
     0},
    {"OutOfPlaceItemWithoutDestination", kKeep, Kind::Plain, nullptr, false, "/data:1", "/d/e", kFile, 25, 0, "(none)",
     0},
    {"OutOfPlaceClimbIsRefused", kKeep, Kind::Plain, nullptr, false, "/data:1", "/data/x/../../../etc", kFile, 25, 0,
     "#0x1700005b", 0},
    {"SiloItemWithoutMountPathHasNoDestination", 0, Kind::Silo, nullptr, false, "/a:1", "/x/MPATHID_1/f", kFile, 25, 0,
     "(none)", 0},
    {"InPlaceItemKeepsItsNormalisedPath", 0, Kind::Plain, nullptr, false, "", "/a//b/./c", kFile, 25, 0, "/a/b/c", 0},
    {"InPlaceClimbIsRefused", 0, Kind::Plain, nullptr, false, "", "/a/../etc/passwd", kFile, 25, 0, "#0x1700005b", 0},
    {"SyntheticFullIsNamedInPlace", kKeep | FSR_OPT_SYNTHETIC_FULL, Kind::Plain, nullptr, false, "/a:1", "/a/b", kFile,
     25, 0, "/a/b", 0},
    {"PathUnderNoMountedShare", 0, Kind::AutoMount, nullptr, false, "", "/share/f", kFile, 25, 0, "#0x1700005b", 0},
    {"SpannerInstanceIsTranslated", 0, Kind::Spanner, nullptr, false, "/data:1", "/data/x", kFile, 25, 0, "/r/x", 0},
};

class Naming : public fcltest::NamingFixture, public ::testing::WithParamInterface<NamingCase> {
protected:
    void setKind(Kind kind) {
        switch (kind) {
            case Kind::Plain:
                break;
            case Kind::Extension:
                initData().suffixTag = initText("for clrestore file extension");
                initData().restoreSuffix = initText(".bak");
                break;
            case Kind::AppType128:
                initData().appType = 128;
                break;
            case Kind::AutoMount:
                companion()._autoMountShare = true;
                companion()._autoMountMgr = new FileShareAutoMountManager;
                break;
            case Kind::Spanner:
                companion()._cloudInstanceType = 37;
                break;
            case Kind::Silo:
                job_._siloJob = true;
                break;
        }
    }

    void nameTheJobsMapFile(const char* content, bool restoreUnmapped) {
        std::string settings;
        if (content != nullptr) {
            fcltest::writeFile(scratch_ / "map", content);
            settings = "[TaskOptions]\n1 = " + (scratch_ / "map") + "\n";
            if (restoreUnmapped) {
                settings += "2.0 = true\n";
            }
        }
        writeSettings(settings);
    }

    // The item's name, "(none)" when naming answers false, or the id thrown.
    std::string nameItem(CXFileHeader& header) {
        std::string translated = "stale";
        std::string real = "stale";
        try {
            if (!factory_->preapreFileName(header.name, translated, real, &header)) {
                EXPECT_EQ(translated + real, "") << "a name without a destination is empty";
                return "(none)";
            }
            EXPECT_EQ(translated, real);
            return real;
        } catch (const ClExceptError& error) {
            EXPECT_EQ(translated + real, "") << "a refused name is left behind";
            return fcltest::thrownId(error);
        }
    }
};

CXFileHeader headerFor(const std::string& name, unsigned short mode, int platform) {
    CXFileHeader header;
    memset(header.name, 0, sizeof header.name);
    strncpy(header.name, name.c_str(), CXHDR_NAME_SIZE - 1);
    header.mode = mode;
    header.sourcePlatform = platform;
    return header;
}

TEST_P(Naming, NamesTheItemByTheFirstRuleThatApplies) {
    const NamingCase& c = GetParam();
    addSources(c.sources);
    setKind(c.kind);
    nameTheJobsMapFile(c.mapFile, c.restoreUnmapped);
    fcltest::NamingFactory& factory = makeNamingFactory(c.options);
    ASSERT_EQ(factory.InitializeForMappedRestores(kJobId), 0);
    factory.setVersion(c.version);
    CXFileHeader header = headerFor(c.item, c.mode, c.platform);
    EXPECT_EQ(nameItem(header), c.expected);
    if (c.expected[0] != '#') {
        EXPECT_EQ(factory.currentItemMapped(), c.mapped);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Naming, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<NamingCase>& info) { return info.param.name; });

class NamingState : public fcltest::NamingFixture {
protected:
    std::string nameOf(CXFileHeader& header) {
        std::string translated;
        std::string real;
        try {
            return factory_->preapreFileName(header.name, translated, real, &header) ? real : "(none)";
        } catch (const ClExceptError& error) {
            return fcltest::thrownId(error);
        }
    }
};

// The n-th item of a database restore from a multiplexed backup is the n-th path of the job's list, a regular file of
// the restore user; an item beyond the list has no destination.
TEST_F(NamingState, DatabaseItemsTakeTheListInOrder) {
    companion()._dbRestoreFromMultiplexedBackup = true;
    companion()._dbPathRestoreList = {"/db/p1", "/db/p2"};
    uPwd.pw_uid = 321;
    uPwd.pw_gid = 654;
    makeNamingFactory(kKeep);
    const char* expected[] = {"/db/p1", "/db/p2"};
    for (const char* path : expected) {
        CXFileHeader header = headerFor("/whatever/name", 0x2000, 25);
        EXPECT_EQ(nameOf(header), path);
        EXPECT_STREQ(header.name, path);
        EXPECT_EQ(header.nameLength, strlen(path) + 1);
        EXPECT_EQ(header.mode, 0x2000u | 0x81edu);
        EXPECT_EQ(header.uid, 321u);
        EXPECT_EQ(header.gid, 654u);
        EXPECT_EQ(header.fileAttributes, 0x80u);
        EXPECT_EQ(header.mtime, header.ctime);
    }
    CXFileHeader extra = headerFor("/one/more", kFile, 25);
    EXPECT_EQ(nameOf(extra), "#0x1700005b");
    uPwd.pw_uid = 0;
    uPwd.pw_gid = 0;
}

// A header whose name fills its field without an end has no name; nothing reads past the field.
TEST_F(NamingState, NameWithoutEndIsRefused) {
    makeNamingFactory(0);
    CXFileHeader header = headerFor("", kFile, 25);
    memset(header.name, 'a', CXHDR_NAME_SIZE);
    wzlog::ScopedCapture capture;
    EXPECT_EQ(nameOf(header), "#0x1700005b");
    EXPECT_TRUE(capture->contains("fills its header without an end"));
}

// The longest name a header holds is named whole.
TEST_F(NamingState, LongestHeaderNameIsNamedWhole) {
    makeNamingFactory(0);
    const std::string name = "/" + std::string(CXHDR_NAME_SIZE - 2, 'n');
    CXFileHeader header = headerFor(name, kFile, 25);
    EXPECT_EQ(nameOf(header), name);
}

// An item whose translation fails gets no name, never the one of the item before.
TEST_F(NamingState, FailedItemDoesNotInheritThePreviousName) {
    addSources("/data:1");
    makeNamingFactory(kKeep);
    CXFileHeader first = headerFor("/data/x/f", kFile, 25);
    std::string translated;
    std::string real;
    ASSERT_TRUE(factory_->preapreFileName(first.name, translated, real, &first));
    ASSERT_EQ(real, "/r/x/f");
    CXFileHeader second = headerFor("/d/e", kFile, 25);
    EXPECT_FALSE(factory_->preapreFileName(second.name, translated, real, &second));
    EXPECT_EQ(real, "");
    EXPECT_EQ(translated, "");
}

// A name given apart from the header (a delayed item's path) is named like the header's own.
TEST_F(NamingState, NameApartFromTheHeader) {
    addSources("/data:1");
    makeNamingFactory(kKeep);
    CXFileHeader header = headerFor("/placeholder", kFile, 25);
    const std::string longPath = "/data/" + std::string(2000, 'q');
    std::string translated;
    std::string real;
    ASSERT_TRUE(factory_->preapreFileName(longPath.c_str(), translated, real, &header));
    EXPECT_EQ(real, "/r/" + std::string(2000, 'q'));
}

// The byte range of a mapped source holds for the item it maps, and the next item starts from the whole file.
TEST_F(NamingState, ByteRangeHoldsForTheMappedItemOnly) {
    fcltest::writeFile(scratch_ / "map", "\"/a\",\"/m\",100,200\n\"/b\",\"/n\"\n");
    writeSettings("[TaskOptions]\n1 = " + (scratch_ / "map") + "\n");
    makeNamingFactory(0);
    ASSERT_EQ(factory_->InitializeForMappedRestores(kJobId), 0);
    CXFileHeader ranged = headerFor("/a/f", kFile, 25);
    EXPECT_EQ(nameOf(ranged), "/m/f");
    EXPECT_EQ(fileRange.start, 100);
    EXPECT_EQ(fileRange.end, 200);
    CXFileHeader whole = headerFor("/b/f", kFile, 25);
    EXPECT_EQ(nameOf(whole), "/n/f");
    EXPECT_EQ(fileRange.start, 0);
    EXPECT_EQ(fileRange.end, -1);
}

}  // namespace
