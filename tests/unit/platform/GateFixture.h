#pragma once
// A destination with hostile links beside a directory it must never touch.
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/files/DestinationGate.h"
#include "platform/files/FileCallHooks.h"
#include "platform/files/LongPathHandler.h"
#include "tests/common/TestSupport.h"
#include "tests/unit/platform/FileTestSupport.h"

namespace gatetest {

// scratch/
//   outside/sentinel ("precious", 0640, fixed times), outside/sub/
//   dest/                       the root
//     abslink -> <scratch>/outside      rellink -> ../outside
//     fileabs -> <scratch>/outside/sentinel      filerel -> ../outside/sentinel
//     inside/file ("inner"), inside/climb -> ../../outside
//     innerlink -> inside       innerfile -> inside/file
//   destalias -> dest           outlink -> outside/sentinel
struct Layout {
    std::string scratch;
    std::string outside;
    std::string dest;
};

class GateFixture {
protected:
    void build() {
        layout_.scratch = scratch_.path();
        layout_.outside = scratch_ / "outside";
        layout_.dest = scratch_ / "dest";
        const std::string& s = layout_.scratch;
        ASSERT_EQ(::mkdir(layout_.outside.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((layout_.outside + "/sub").c_str(), 0755), 0);
        fcltest::writeFile(layout_.outside + "/sentinel", "precious");
        ASSERT_EQ(::chmod((layout_.outside + "/sentinel").c_str(), 0640), 0);
        const struct timespec times[2] = {{1000, 0}, {2000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (layout_.outside + "/sentinel").c_str(), times, 0), 0);
        ASSERT_EQ(::mkdir(layout_.dest.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((layout_.dest + "/inside").c_str(), 0755), 0);
        fcltest::writeFile(layout_.dest + "/inside/file", "inner");
        const std::pair<std::string, std::string> links[] = {
            {s + "/outside", "dest/abslink"},          {"../outside", "dest/rellink"},
            {s + "/outside/sentinel", "dest/fileabs"}, {"../outside/sentinel", "dest/filerel"},
            {"../../outside", "dest/inside/climb"},    {"inside", "dest/innerlink"},
            {"inside/file", "dest/innerfile"},         {"dest", "destalias"},
            {"outside/sentinel", "outlink"},
        };
        for (const auto& link : links) {
            ASSERT_EQ(::symlink(link.first.c_str(), (s + "/" + link.second).c_str()), 0);
        }
    }
    // The layout, with the root set on dest and openat2 as asked.
    void buildGated(bool withOpenat2) {
        build();
        ASSERT_EQ(wzfiles::setDestinationRoot(layout_.dest), 0);
        wzfiles::setOpenat2Disabled(!withOpenat2);
    }
    void tearDown() {
        WzLongPathHandler::resetCurrentDirectory();
        wzfiles::clearDestinationRoot();
        wzfiles::setOpenat2Disabled(false);
    }
    std::string outsideSnapshot() const { return filetest::snapshot(layout_.outside); }

    fcltest::ScratchDir scratch_{"fcl-gate"};
    Layout layout_;
};

}  // namespace gatetest
