// An in-place job whose source lies on a share the job mounts itself: each item's source path is translated to the
// share's local location, restored there, reported under the path the job named, and the share is unmounted at the
// job's end, unless the job is told to leave it mounted or the share was mounted before the job.
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct ShareCase {
    const char* name;
    const char* flags;  // of the share: "" or "mounted" (by the host, before the job)
    bool doNotUnmount;  // OPT:donotunmountshares
    const char* calls;  // the mounts and unmounts performed, with SHARE for the share
};

class ShareAutoMount : public EndToEnd, public ::testing::WithParamInterface<ShareCase> {};

TEST_P(ShareAutoMount, SourceShareIsTranslatedRestoredAndUnmountedAtTheEnd) {
    const ShareCase& c = GetParam();
    build({file("top", 5000), file("sub/inner", 70000), dir("sub/empty"), symlink("sub/link", "../top")});
    pack();
    // The share's local location: the items go there instead of back to the source.
    const std::string location = beside("location");
    const std::string record = beside("share-calls");
    InPlaceChoice choice;
    choice.settings =
        "[AutoMount]\nshare = " + source() + "," + location + "," + c.flags + "\nrecord = " + record + "\n";
    choice.reservedOptions = {{"OPT:automountshare", "1"}};
    if (c.doNotUnmount) {
        choice.reservedOptions.push_back({"OPT:donotunmountshares", "1"});
    }
    InPlaceRun run = restoreInPlace(choice);
    EXPECT_TRUE(run.succeeded) << run.reason;
    EXPECT_EQ(run.restored, sourceItems());
    EXPECT_EQ(run.failed, 0u);
    EXPECT_EQ(rsyncDifferences(source(), location) + contentDifferences(source(), location, Holes::Kept), "");

    std::string calls = c.calls;
    for (size_t at = calls.find("SHARE"); at != std::string::npos; at = calls.find("SHARE")) {
        calls.replace(at, 5, source());
    }
    EXPECT_EQ(fileText(record), calls);
    // The results name the items as the job did, not by their local location.
    const std::string log = fileText(results() + "/fclrestore.log");
    EXPECT_NE(log.find("Successfully Mounted srcPath [" + source() + "]"), std::string::npos);
    EXPECT_NE(log.find("Restore " + source("sub/inner") + "("), std::string::npos);
    EXPECT_EQ(log.find("Restore " + location), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Shares, ShareAutoMount,
                         ::testing::Values(ShareCase{"MountedAndUnmounted", "", false, "mount SHARE\nunmount SHARE\n"},
                                           ShareCase{"LeftMountedWhenTold", "", true, "mount SHARE\n"},
                                           // Mounted before the job: used, and left as the job found it.
                                           ShareCase{"MountedByTheHostIsLeftAlone", "mounted", false, ""}),
                         [](const ::testing::TestParamInfo<ShareCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
