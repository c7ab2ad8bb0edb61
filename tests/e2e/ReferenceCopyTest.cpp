// A reference copy: the first component of every path in the backup is the GUID of the client the data belongs to,
// and the restore puts the data under that client's name instead, or leaves it where it was when the name is unknown
// or names no single directory.
#include <dirent.h>

#include <sys/stat.h>
#include <string>

#include "tests/e2e/EndToEnd.h"
#include "tools/fir/FirJob.h"

namespace e2e {
namespace {

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

size_t entriesOf(const std::string& dir) {
    size_t count = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            count += std::string(e->d_name) != "." && std::string(e->d_name) != ".." ? 1 : 0;
        }
        closedir(d);
    }
    return count;
}

struct ClientCase {
    const char* name;
    std::string clientName;  // of the client whose GUID is the first component; "" for a GUID nobody has
    bool renamed;            // restored under the client's name, else under the GUID
};

class ReferenceCopy : public EndToEnd, public ::testing::WithParamInterface<ClientCase> {
protected:
    // The packed root keeps its absolute path; its first component stands for the GUID.
    std::string guid() const { return source().substr(1, source().find('/', 1) - 1); }
    std::string belowGuid() const { return source().substr(source().find('/', 1)); }

    // Restores as a job of this machine, a reference-copy client, with the GUID's client named `clientName`.
    fcltest::ProgramRun restoreFor(const std::string& clientName) {
        std::string settings = "[ClientDirectory]\nclient = 1," + fir::machineName() + ",,20,refcopy,\n";
        if (!clientName.empty()) {
            settings += "client = 2," + clientName + "," + guid() + ",20,,\n";
        }
        const std::string file = beside("clients.ini");
        fcltest::writeFile(file, settings);
        return restore({"--settings", file});
    }
};

TEST_P(ReferenceCopy, ItemsGoUnderTheClientNameOrStayUnderTheGuid) {
    const ClientCase& c = GetParam();
    // A hard-link group too: each of its names goes under the client's name and gets its result.
    build({file("top", 5000), file("sub/inner", 4096), dir("sub/empty"), symlink("sub/link", "../top"),
           hardlink("sub/top again", "top"), hardlink("other/top once more", "top")});
    pack();
    fcltest::ProgramRun run = restoreFor(c.clientName);
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), std::to_string(sourceItems())) << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), "0") << run.out;

    const std::string renamed = dest() + "/" + c.clientName + belowGuid();
    const std::string copy = c.renamed ? renamed : restored();
    EXPECT_EQ(rsyncDifferences(source(), copy) + contentDifferences(source(), copy, Holes::Kept), "");
    EXPECT_EQ(exists(restored()), !c.renamed);
    // A name that climbed would have put the copy at DEST/../<what lies below the GUID>.
    EXPECT_FALSE(exists(beside(belowGuid().substr(1))));
}

INSTANTIATE_TEST_SUITE_P(Clients, ReferenceCopy,
                         ::testing::Values(ClientCase{"Named", "client-a", true},
                                           ClientCase{"NameLongerThanTheGuid",
                                                      "a-client-whose-name-is-longer-than-any-guid-it-replaces", true},
                                           ClientCase{"UnknownGuid", "", false},
                                           ClientCase{"NameClimbsOut", "..", false},
                                           ClientCase{"NameIsHere", ".", false}),
                         [](const ::testing::TestParamInfo<ClientCase>& info) { return std::string(info.param.name); });

class ReferenceCopyTooLong : public ReferenceCopy {};

// The client's name is used whole: a path it makes too long for the job fails the job, reported as such, with
// nothing written under a cut name or under the GUID.
TEST_F(ReferenceCopyTooLong, FailsWithNothingRestored) {
    build({file("top", 5000), file("sub/inner", 4096)});
    pack();
    fcltest::ProgramRun run = restoreFor(std::string(1020, 'n'));
    EXPECT_NE(run.status, 0) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), "0") << run.out;
    EXPECT_EQ(entriesOf(dest()), 0u);
}

}  // namespace
}  // namespace e2e
