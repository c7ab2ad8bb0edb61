// The file-system kind of a destination, from a mount table the tests write: Lustre and NFS by job shape (mapped,
// out of place, in place with its per-job scope), NFS under share auto-mount, the GlusterFS destination, the order
// of the mount list and the laptop ownership rule.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/factory/JobFactoryFixture.h"

namespace {

class DestinationChecks : public fcltest::JobFactoryFixture {
protected:
    // One line per mount: "<dir> <type>".
    void mounts(const std::vector<std::pair<std::string, std::string>>& entries) {
        std::string table;
        for (const auto& entry : entries) {
            table += "dev" + std::to_string(table.size()) + " " + entry.first + " " + entry.second + " rw 0 0\n";
        }
        const std::string path = scratch_ / "mounts";
        fcltest::writeFile(path, table);
        wzmounts::setMountTablePath(path);
    }
};

TEST_F(DestinationChecks, HostWithoutTheKindAnswersNoForEveryPath) {
    mounts({{"/", "ext4"}, {"/data", "xfs"}});
    for (unsigned long options : {0ul, static_cast<unsigned long>(FSR_OPT_OUT_OF_PLACE)}) {
        addSource("/data/a", 2);
        auto factory = make(options, "", false);
        EXPECT_FALSE(factory->CheckIfDestinationPathIsInLustre("/data/a/f"));
        EXPECT_FALSE(factory->CheckIfDestinationPathIsNFS("/data/a/f"));
        EXPECT_FALSE(factory->CheckIfDestinationPathIsInLustre("/"));
    }
}

TEST_F(DestinationChecks, KindIsTakenFromTheTypeText) {
    const struct {
        const char* type;
        bool lustre;
        bool nfs;
    } cases[] = {{"lustre", true, false}, {"lustre2", false, false}, {"Lustre", false, false}, {"nfs", false, true},
                 {"nfs4", false, true},   {"nf", false, false},      {"nfsd", false, true},    {"ext4", false, false}};
    addSource("/data", 1);
    for (const auto& c : cases) {
        mounts({{"/data", c.type}});
        auto factory = make(0, "", false);
        EXPECT_EQ(factory->CheckIfDestinationPathIsInLustre("/data/f"), c.lustre) << c.type;
        EXPECT_EQ(factory->CheckIfDestinationPathIsNFS("/data/f"), c.nfs) << c.type;
    }
}

// Out of place every item gets the answer for the job's destination, whatever path is asked.
TEST_F(DestinationChecks, OutOfPlaceAnswersForTheJobsDestination) {
    mounts({{"/", "ext4"}, {"/lus", "lustre"}, {"/net", "nfs4"}});
    setJobDestination("/lus/restore");
    addSource("/a", 0);
    auto factory = make(FSR_OPT_OUT_OF_PLACE | FSR_OPT_DEST_IS_FILE, "/lus/restore");
    wzlog::ScopedCapture capture;
    EXPECT_TRUE(factory->CheckIfDestinationPathIsInLustre("/elsewhere/f"));
    EXPECT_TRUE(factory->CheckIfDestinationPathIsInLustre("/net/f"));
    EXPECT_FALSE(factory->CheckIfDestinationPathIsNFS("/net/f"));
    EXPECT_TRUE(capture->contains("The Destination Path /lus/restore belongs to Lustre Filesystem"));
    EXPECT_TRUE(capture->contains("The Destination Path /lus/restore does not belongs to NFS Filesystem"));
}

// With a mapping each path is tested by itself, also out of place.
TEST_F(DestinationChecks, MappedRestoreTestsEachPath) {
    mounts({{"/lus", "lustre"}, {"/net", "nfs"}});
    setJobDestination("/plain");
    addSource("/a", 0);
    auto factory = make(FSR_OPT_OUT_OF_PLACE | FSR_OPT_DEST_IS_FILE, "/plain");
    factory->addMapping("/a", "/lus/a");
    wzlog::ScopedCapture capture(10);
    EXPECT_TRUE(factory->CheckIfDestinationPathIsInLustre("/lus/a/f"));
    EXPECT_FALSE(factory->CheckIfDestinationPathIsInLustre("/plain/f"));
    EXPECT_TRUE(factory->CheckIfDestinationPathIsNFS("/net/x"));
    EXPECT_TRUE(capture->contains("The Destination path /lus/a/f belongs to the Lustre Filesystem"));
    EXPECT_TRUE(capture->contains("The Destination path /net/x belongs to NFS Filesystem"));
}

struct ScopeCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> mounts;
    std::vector<std::string> sources;  // each with strip level 9: its top-level path is "/" in place
    uint64_t strip;
    std::vector<std::pair<std::string, bool>> answers;
    const char* line;
};

void PrintTo(const ScopeCase& c, std::ostream* os) {
    *os << c.name;
}

const ScopeCase kScopeCases[] = {
    {"SomeSourcesOnTheKind",
     {{"/", "ext4"}, {"/data/a", "lustre"}},
     {"/data/a", "/data/b"},
     2,
     {{"/data/b/f", false}, {"/data/a/f", true}, {"/data/a", true}},
     "Some destination paths are in Lustre Filesystem"},
    {"AllSourcesOnTheKind",
     {{"/data", "lustre"}},
     {"/data/a", "/data/b"},
     2,
     {{"/elsewhere", true}, {"/data/b/f", true}},
     "All Destination Paths are in Lustre Filesystem"},
    {"NoSourceOnTheKind",
     {{"/scratch", "lustre"}},
     {"/data/a"},
     2,
     {{"/scratch/f", false}, {"/data/a/f", false}},
     "All Destination paths are not in Lustre Filesystem"},
    {"RootTopLevelHoldsAMount",
     {{"/scratch", "lustre"}},
     {"/data"},
     9,
     {{"/scratch/x", true}, {"/home/x", false}},
     "srcIdx : 0 destPath : / contain Lustre Filesystem mount point"},
};

class InPlaceScope : public DestinationChecks, public ::testing::WithParamInterface<ScopeCase> {};

TEST_P(InPlaceScope, IsDecidedOnceForTheJob) {
    const ScopeCase& c = GetParam();
    mounts(c.mounts);
    for (const std::string& source : c.sources) {
        addSource(source, c.strip);
    }
    auto factory = make(0, "", false);
    wzlog::ScopedCapture capture;
    for (const auto& answer : c.answers) {
        EXPECT_EQ(factory->CheckIfDestinationPathIsInLustre(answer.first), answer.second) << answer.first;
    }
    EXPECT_TRUE(capture->contains(c.line));
    // Decided: a changed table and a second round give the same answers without a further line.
    mounts({});
    const size_t lines = capture->lines().size();
    for (const auto& answer : c.answers) {
        EXPECT_EQ(factory->CheckIfDestinationPathIsInLustre(answer.first), answer.second) << answer.first;
    }
    EXPECT_EQ(capture->lines().size(), lines);
}

INSTANTIATE_TEST_SUITE_P(Table, InPlaceScope, ::testing::ValuesIn(kScopeCases),
                         [](const ::testing::TestParamInfo<ScopeCase>& info) { return info.param.name; });

TEST_F(DestinationChecks, NfsScopeNamesItsOwnLines) {
    mounts({{"/net/home", "nfs4"}});
    addSource("/net/home/u", 2);
    addSource("/local/v", 2);
    auto factory = make(0, "", false);
    wzlog::ScopedCapture capture;
    EXPECT_TRUE(factory->CheckIfDestinationPathIsNFS("/net/home/u/f"));
    EXPECT_FALSE(factory->CheckIfDestinationPathIsNFS("/local/v/f"));
    EXPECT_TRUE(capture->contains("NFS mount: device [dev0] dir [/net/home] fstype [nfs4]"));
    EXPECT_TRUE(capture->contains("srcIdx : 0 destPath : /net/home/ belongs to NFS Filesystem"));
    EXPECT_TRUE(capture->contains("srcIdx : 1 destPath : /local/v/ does not belongs to NFS Filesystem"));
    EXPECT_TRUE(capture->contains("Some destination paths are in NFS Filesystem, need to check each file"));
}

TEST_F(DestinationChecks, NfsSourceThatHoldsAMountChecksEachFile) {
    mounts({{"/srv/share", "nfs"}});
    addSource("/srv", 1);
    auto factory = make(0, "", false);
    wzlog::ScopedCapture capture;
    EXPECT_TRUE(factory->CheckIfDestinationPathIsNFS("/srv/share/f"));
    EXPECT_FALSE(factory->CheckIfDestinationPathIsNFS("/srv/other"));
    EXPECT_TRUE(capture->contains("Source path is ancestor of NFS, need to check each file"));
}

TEST_F(DestinationChecks, AutoMountedSharesCountAsNfsEverywhere) {
    mounts({{"/", "ext4"}});
    companion()._autoMountShare = true;
    addSource("/a", 0);
    auto factory = make(0, "");
    wzlog::ScopedCapture capture;
    EXPECT_TRUE(factory->CheckIfDestinationPathIsNFS("/any/path"));
    EXPECT_TRUE(factory->CheckIfDestinationPathIsNFS("/other"));
    EXPECT_FALSE(factory->CheckIfDestinationPathIsInLustre("/any/path"));
    EXPECT_TRUE(capture->contains("ignoreChownErrors because restoring to automounted NFS directories"));
}

TEST_F(DestinationChecks, UnreadableTableMeansNoSpecialFileSystem) {
    wzmounts::setMountTablePath(scratch_ / "no-such-table");
    addSource("/a", 0);
    auto factory = make(0, "", false);
    EXPECT_FALSE(factory->CheckIfDestinationPathIsInLustre("/a/f"));
    EXPECT_FALSE(factory->CheckIfDestinationPathIsNFS("/a/f"));
}

// A deeper mount comes before the mount that holds it, whatever order the table gives.
TEST_F(DestinationChecks, MountListIsReadOnceDeepestFirst) {
    mounts({{"/", "ext4"}, {"/a", "xfs"}, {"/ab", "xfs"}, {"/a/b", "nfs"}, {"/a\\040b", "xfs"}});
    auto factory = make(0, "", false);
    factory->getLogicalVolumeList();
    std::vector<std::string> dirs;
    for (const WzMntTab::Entry& entry : factory->mountList()) {
        dirs.push_back(entry.mountDir);
    }
    const std::vector<std::string> expected = {"/ab", "/a/b", "/a b", "/a", "/"};
    EXPECT_EQ(dirs, expected);
    mounts({});
    factory->getLogicalVolumeList();
    EXPECT_EQ(factory->mountList().size(), expected.size()) << "read once per job";
}

TEST_F(DestinationChecks, GlusterDestinationIsRecorded) {
    const struct {
        const char* name;
        const char* type;
        const char* dest;
        bool gluster;
    } cases[] = {
        {"BelowTheMount", "fuse.glusterfs", "/gv/restore", true},
        {"TheMountItself", "fuse.glusterfs", "/gv", true},
        {"BesideTheMount", "fuse.glusterfs", "/gvx/restore", false},
        {"OtherFuseType", "fuse.sshfs", "/gv/restore", false},
        {"PlainGlusterType", "glusterfs", "/gv/restore", false},
    };
    for (const auto& c : cases) {
        mounts({{"/", "ext4"}, {"/gv", c.type}});
        FclRestore job;
        wzlog::ScopedCapture capture;
        job.getUnixCompanion()->CheckIfDestinationIsGluster(c.dest);
        EXPECT_EQ(job.IsDestinationGluster(), c.gluster) << c.name;
        EXPECT_EQ(capture->contains(std::string("Destination path [") + c.dest + "] is glusterfs"), c.gluster)
            << c.name;
    }
}

TEST_F(DestinationChecks, GlusterFlagIsOnlyEverSet) {
    mounts({{"/gv", "fuse.glusterfs"}});
    companion().CheckIfDestinationIsGluster("/gv/a");
    mounts({{"/", "ext4"}});
    companion().CheckIfDestinationIsGluster("/gv/a");
    EXPECT_TRUE(job_.IsDestinationGluster());
}

TEST_F(DestinationChecks, LaptopRuleHoldsOnlyForPlainRestoresOnPersonalWorkstations) {
    const struct {
        bool personal;
        bool ruvo;
        bool sync;
        bool ruvoSync;
        bool rule;
    } cases[] = {
        {true, false, false, false, true}, {false, false, false, false, false}, {true, true, false, false, false},
        {true, false, true, false, false}, {true, false, false, true, false},
    };
    for (const auto& c : cases) {
        job_._personalWorkstation = c.personal;
        companion()._ruvoRestore = c.ruvo;
        companion()._syncRestore = c.sync;
        companion()._ruvoSyncRestore = c.ruvoSync;
        auto factory = make(0, "");
        EXPECT_EQ(factory->ShouldResetOwnershipForLaptop(), c.rule) << c.personal << c.ruvo << c.sync << c.ruvoSync;
    }
    job_._personalWorkstation = true;
    companion()._syncRestore = false;
    companion()._ruvoRestore = false;
    companion()._ruvoSyncRestore = false;
    EXPECT_FALSE(make(0, "", false)->ShouldResetOwnershipForLaptop()) << "no job, no rule";
}

}  // namespace
