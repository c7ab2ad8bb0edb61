// FIFOs, sockets and device nodes come back with their type, mode, owner, times and device numbers, and a node is
// put in place of what stands at its name only as the overwrite rules allow: a node of the same kind is reused, any
// other entry but a directory is replaced, and a FIFO found at a regular file's name is replaced, never written to.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "protocol/FsrMessages.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

const char kNodesAllowed[] = "[FileSystemAgent]\nnCreateRawDeviceOnRestore = 1\nnRestoreSockets = 1\n";

// Type, permissions, owner, modification time and device numbers of the entry at `path`, not following a link.
std::string nodeFacts(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        return "missing";
    }
    char text[160];
    std::snprintf(text, sizeof text, "type 0%o mode 0%o owner %u:%u mtime %lld rdev %u:%u",
                  static_cast<unsigned>(st.st_mode & S_IFMT), static_cast<unsigned>(st.st_mode & 07777),
                  static_cast<unsigned>(st.st_uid), static_cast<unsigned>(st.st_gid),
                  static_cast<long long>(st.st_mtime), major(st.st_rdev), minor(st.st_rdev));
    return text;
}

class SpecialFiles : public EndToEnd {
protected:
    std::string settingsFile() {
        const std::string path = beside("nodes.ini");
        fcltest::writeFile(path, kNodesAllowed);
        return path;
    }
};

TEST_F(SpecialFiles, EveryKindComesBackExactly) {
    TreeLayout plan = {
        fifo("pipe").mode(0640),
        fifo("deeper/other pipe").mode(0604),
        socketNode("socket").mode(0755),
        file("plain", 100),
    };
    if (fcltest::isRoot()) {
        plan.push_back(fifo("owned pipe").owner(1234, 5678));
        plan.push_back(charDevice("null", 1, 3).mode(0666).owner(12, 34));
        plan.push_back(charDevice("big numbers", 4095, 1048575).mode(0620));
        plan.push_back(blockDevice("disk", 7, 200).mode(0660).owner(0, 6));
    }
    build(plan);
    if (HasFatalFailure() || IsSkipped()) {
        return;
    }
    packAndRestore({"--settings", settingsFile()});
    EXPECT_EQ(differences(), "");
    for (const Item& item : plan) {
        EXPECT_EQ(nodeFacts(restored(item.name)), nodeFacts(source(item.name))) << item.name;
    }
}

// With the setting that allows nodes turned off, a FIFO that is not at its destination yet fails; nothing stands in
// for it. (The host turns it on by default.)
TEST_F(SpecialFiles, WithTheSettingOffNoNodeIsMade) {
    build({fifo("pipe"), file("plain", 10)});
    pack();
    fcltest::writeFile(beside("off.ini"), "[FileSystemAgent]\nnCreateRawDeviceOnRestore = 0\n");
    const fcltest::ProgramRun run = restore({"--settings", beside("off.ini")});
    EXPECT_NE(run.status, 0) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), "1") << run.out;
    EXPECT_EQ(nodeFacts(restored("pipe")), "missing");
    EXPECT_EQ(fcltest::readFile(restored("plain")), fcltest::readFile(source("plain")));
}

// In place, over what the job finds at the items' names.
TEST_F(SpecialFiles, WhatStandsAtTheNameIsReusedOrReplaced) {
    build({
        fifo("file became pipe"),
        fifo("pipe kept").mode(0640),
        socketNode("file became socket"),
        file("pipe became file", 5000),
        file("socket became file", 10),
    });
    pack();
    const std::string original = beside("original");
    ASSERT_EQ(fcltest::runProgram({"cp", "-a", source(), original}).status, 0);
    struct stat kept;
    ASSERT_EQ(lstat(source("pipe kept").c_str(), &kept), 0);
    ASSERT_EQ(chmod(source("pipe kept").c_str(), 0600), 0);
    for (const char* name : {"file became pipe", "file became socket"}) {
        ASSERT_EQ(unlink(source(name).c_str()), 0);
        fcltest::writeFile(source(name), "a regular file that must go");
    }
    ASSERT_EQ(unlink(source("pipe became file").c_str()), 0);
    ASSERT_EQ(mkfifo(source("pipe became file").c_str(), 0666), 0);
    ASSERT_EQ(unlink(source("socket became file").c_str()), 0);
    ASSERT_EQ(mknod(source("socket became file").c_str(), S_IFSOCK | 0666, 0), 0);

    InPlaceChoice choice;
    choice.settings = kNodesAllowed;
    const auto start = std::chrono::steady_clock::now();
    const InPlaceRun run = restoreInPlace(choice);
    // A FIFO opened for writing without a reader would have held the job until the harness gave up.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::minutes(2));
    EXPECT_TRUE(run.succeeded) << run.reason;
    EXPECT_EQ(run.failed, 0u);
    EXPECT_EQ(rsyncDifferences(original, source()), "");
    EXPECT_EQ(contentDifferences(original, source(), Holes::Kept), "");
    struct stat now;
    ASSERT_EQ(lstat(source("pipe kept").c_str(), &now), 0);
    EXPECT_EQ(now.st_ino, kept.st_ino) << "a FIFO of the item's own kind is reused";
    EXPECT_EQ(now.st_mode & 07777, 0640u);
}

// What the rules keep stays as it was: any entry when the job does not overwrite (the item is skipped, as any item
// that would overwrite is), and a directory even when it does (the node's item fails).
TEST_F(SpecialFiles, WhatTheRulesKeepStaysAsItWas) {
    const struct {
        const char* what;
        bool overwrite;
        bool directory;
        uint64_t failed;
        uint64_t skipped;
    } cases[] = {
        {"a file, without overwrite", false, false, 0, 1},
        {"a directory, with overwrite", true, true, 1, 0},
    };
    build({fifo("pipe"), file("plain", 10)});
    pack();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fcltest::removeTree(source());
        ASSERT_EQ(mkdir(source().c_str(), 0755), 0);
        if (c.directory) {
            ASSERT_EQ(mkdir(source("pipe").c_str(), 0755), 0);
            fcltest::writeFile(source("pipe/inside"), "kept");
        } else {
            fcltest::writeFile(source("pipe"), "kept");
        }
        InPlaceChoice choice;
        choice.settings = kNodesAllowed;
        choice.droppedOptions = c.overwrite ? 0ul : static_cast<unsigned long>(FSR_OPT_OVERWRITE);
        const InPlaceRun run = restoreInPlace(choice);
        EXPECT_EQ(run.failed, c.failed) << run.reason;
        EXPECT_EQ(run.skipped, c.skipped) << run.reason;
        EXPECT_EQ(fcltest::readFile(c.directory ? source("pipe/inside") : source("pipe")), "kept");
        EXPECT_EQ(fcltest::readFile(source("plain")).size(), 10u);
    }
}

}  // namespace
}  // namespace e2e
