// What an external FIR may ask of the host: an out-of-place restore into DEST_DIR or beneath it, however the name
// it gives is written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "protocol/FsrMessages.h"
#include "protocol/FsrRecords.h"
#include "tests/common/TestSupport.h"
#include "tools/fcl-restore/HostPaths.h"
#include "tools/fcl-restore/PeerRelay.h"

namespace {

constexpr unsigned long kOutOfPlace = FSR_OPT_OUT_OF_PLACE | FSR_OPT_KEEP_DIR_STRUCTURE;

TEST(PeerDestination, OnlyAnOutOfPlaceRestoreUnderTheHostsDestinationPasses) {
    fcltest::ScratchDir scratch("peerdest");
    const std::string root = fclhost::resolvedPath(scratch.path());
    const std::string dest = root + "/dest";
    ASSERT_EQ(mkdir(dest.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((root + "/other").c_str(), 0755), 0);
    ASSERT_EQ(symlink((root + "/other").c_str(), (dest + "/out").c_str()), 0);
    ASSERT_EQ(symlink(dest.c_str(), (root + "/into-dest").c_str()), 0);

    struct Case {
        std::string destDir;
        unsigned long options;
        std::string refusal;  // "" when the parameters pass
    };
    const Case cases[] = {
        {dest, kOutOfPlace, ""},
        {dest + "/", kOutOfPlace, ""},
        {dest + "/new/deeper", kOutOfPlace, ""},
        {"  " + dest + "/x", kOutOfPlace, ""},
        {root + "/into-dest/x", kOutOfPlace, ""},
        {dest + "/a/../b", kOutOfPlace, ""},
        {root + "/other", kOutOfPlace, "which lies outside the destination " + dest},
        {dest + "/../other", kOutOfPlace, "which lies outside"},
        {dest + "/out/x", kOutOfPlace, "which lies outside"},
        {dest + "x", kOutOfPlace, "which lies outside"},
        {"/", kOutOfPlace, "which lies outside"},
        // One name as written, but three levels up where '\' reads as '/'.
        {dest + "/sub\\..\\..\\..\\other", kOutOfPlace, "which lies outside"},
        {"dest", kOutOfPlace, "not an absolute path"},
        {"", kOutOfPlace, "not an absolute path"},
        {dest, FSR_OPT_KEEP_DIR_STRUCTURE, "a restore in place"},
    };
    for (const Case& c : cases) {
        std::string destDir = c.destDir;
        FSRSetParams params;
        params.destDir = &destDir[0];
        params.options = c.options;
        std::string refused = fclhost::checkPeerDestination(FSR_MSG_SET_PARAMS, reinterpret_cast<const char*>(&params),
                                                            sizeof params, dest);
        if (c.refusal.empty()) {
            EXPECT_EQ(refused, "") << "\"" << c.destDir << "\"";
        } else {
            EXPECT_NE(refused.find(c.refusal), std::string::npos) << "\"" << c.destDir << "\": " << refused;
        }
    }

    FSRSetParams none;
    EXPECT_NE(
        fclhost::checkPeerDestination(FSR_MSG_SET_PARAMS, reinterpret_cast<const char*>(&none), sizeof none, dest), "")
        << "parameters without a destination";
    EXPECT_NE(fclhost::checkPeerDestination(FSR_MSG_SET_PARAMS, nullptr, 0, dest), "");
    EXPECT_EQ(fclhost::checkPeerDestination(FSR_MSG_RESTORE_END, nullptr, 0, dest), "") << "other messages pass";
}

}  // namespace
