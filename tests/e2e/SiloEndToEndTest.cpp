// A silo job: every item's source path names a storage mount path by number, and the restore puts the item under the
// place the mount-path library of this machine gives for it, whatever the job's destination. Where the library is
// missing, lacks its lookup or refuses the mount path, every item fails and nothing is written.
#include <ftw.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/e2e/EndToEnd.h"
#include "tools/fir/FirJob.h"

namespace e2e {
namespace {

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

uint64_t g_items = 0;
int countItem(const char*, const struct stat*, int, struct FTW*) {
    ++g_items;
    return 0;
}

uint64_t itemsUnder(const std::string& dir) {
    g_items = 0;
    nftw(dir.c_str(), countItem, 64, FTW_PHYS);
    return g_items;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

enum class Library { Given, Missing, WithoutLookup };

struct SiloCase {
    const char* name;
    Library library;
    const char* answer;  // for mount path 12: "MOUNT" for the scratch mount directory, or the library's refusal
    bool restored;
    const char* line;  // the engine's log line of the failure; null when none is expected
};

class Silo : public EndToEnd, public ::testing::WithParamInterface<SiloCase> {
protected:
    // The selected folder: its source path names mount path 12, volume 345 and domain G1.
    std::string selected() const { return source("ZENDREL_G1/MPATHID_12/V_345"); }

    fcltest::ProgramRun restoreSilo(Library library, const std::string& answer) {
        const std::string settings = beside("silo.ini");
        fcltest::writeFile(
            settings, "[TaskOptions]\n7.63 = true\n[ClientDirectory]\nclient = 31," + fir::machineName() + ",,20,,\n");
        fcltest::writeFile(beside("mount-paths"), "12 " + answer + "\n");
        const std::string dir = library == Library::Given           ? FCL_TEST_MOUNT_PATH_DIR
                                : library == Library::WithoutLookup ? FCL_TEST_NO_LOOKUP_DIR
                                                                    : "";
        return fcltest::runTool(
            "fcl-restore", {"--results", results(), "--settings", settings, "--path", selected(), media(), dest()}, 300,
            {"LD_LIBRARY_PATH=" + dir, "FCL_TEST_MOUNT_PATHS=" + beside("mount-paths"),
             "FCL_TEST_MOUNT_PATH_CALLS=" + beside("calls")});
    }
};

TEST_P(Silo, ItemsLandUnderTheMountPathTheLibraryGives) {
    const SiloCase& c = GetParam();
    build({file("ZENDREL_G1/MPATHID_12/V_345/top", 5000), file("ZENDREL_G1/MPATHID_12/V_345/sub/inner", 70000),
           dir("ZENDREL_G1/MPATHID_12/V_345/sub/empty"), symlink("ZENDREL_G1/MPATHID_12/V_345/sub/link", "../top")});
    pack();
    const std::string mount = beside("mount");
    const std::string answer = std::string(c.answer) == "MOUNT" ? mount : c.answer;
    fcltest::ProgramRun run = restoreSilo(c.library, answer);
    const std::string items = std::to_string(itemsUnder(selected()));
    const std::string copy = mount + "/WZ_MAGNETIC/V_345";
    if (c.restored) {
        EXPECT_EQ(run.status, 0) << run.describe();
        EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), items) << run.out;
        EXPECT_EQ(rsyncDifferences(selected(), copy) + contentDifferences(selected(), copy, Holes::Kept), "");
        // One question for the one mount path, with this machine's client id and the path's volume and domain.
        EXPECT_EQ(fileText(beside("calls")), "12 31 345 [G1]\n");
    } else {
        EXPECT_NE(run.status, 0) << run.describe();
        EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), items) << run.out;
        EXPECT_FALSE(exists(mount));
        EXPECT_NE(fileText(results() + "/fclrestore.log").find(c.line), std::string::npos) << c.line;
    }
    // Nothing of a silo job goes to the job's destination.
    EXPECT_FALSE(exists(restored()));
}

INSTANTIATE_TEST_SUITE_P(Libraries, Silo,
                         ::testing::Values(SiloCase{"LibraryGivesTheMountPath", Library::Given, "MOUNT", true, nullptr},
                                           SiloCase{"LibraryRefuses", Library::Given, "!fail", false,
                                                    "getMMClientApiMountPathInfo22 failed for path"},
                                           SiloCase{"MountPathClimbs", Library::Given, "/tmp/../etc", false,
                                                    "climbs with \"..\""},
                                           SiloCase{"LibraryMissing", Library::Missing, "MOUNT", false,
                                                    "Unable to load the library libWZMMclientAPI.so"},
                                           SiloCase{"LibraryWithoutLookup", Library::WithoutLookup, "MOUNT", false,
                                                    "Unable to get address for the function"}),
                         [](const ::testing::TestParamInfo<SiloCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
