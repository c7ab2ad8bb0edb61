// A user's symbolic links to directories at the destination: an item's directory reached through one, and a
// directory item whose name is one. In place the links are the user's layout and are used; out of place the gate
// lets only links that stay beneath the destination through. A directory item keeps the link and restores into the
// directory it reaches; a link to anything else fails the item and stays as it was.
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>

#include "clRestore/objects/FsRestoreDirectory.h"
#include "platform/timestamps/CRestoreTimestampHandler.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/objects/ItemFixture.h"

namespace {

using objtest::ItemLayout;
using objtest::PathState;
using objtest::stateOf;

constexpr unsigned long kRestored = 0;

// dest/real/ (0750, file "inner")     dest/sub -> real      dest/tofile -> real/file      dest/dangling -> nothing
// dest/abs -> <outside>/dir           dest/climb -> ../outside/dir
// outside/dir/ (0750, file "outer")
class UserDirectoryLink : public objtest::ItemFixture {
protected:
    void SetUp() override {
        job_.getUnixCompanion()->SetTimestampRestoreEnabled(true);
        for (const std::string& dir : {real_, outerDir_}) {
            ASSERT_EQ(mkdir(dir.c_str(), 0750), 0);
            fcltest::writeFile(dir + "/file", "kept");
            objtest::setTimes(dir + "/file", 1000, 2000);
            objtest::setTimes(dir, 1000, 2000);
        }
        const std::pair<std::string, std::string> links[] = {
            {"real", "sub"},    {"real/file", "tofile"},     {"nothing", "dangling"},
            {outerDir_, "abs"}, {"../outside/dir", "climb"},
        };
        for (const auto& link : links) {
            ASSERT_EQ(symlink(link.first.c_str(), (dest_ + "/" + link.second).c_str()), 0);
        }
    }

    void outOfPlace(unsigned long options = FSR_OPT_OVERWRITE) {
        ASSERT_EQ(wzfiles::setDestinationRoot(dest_), 0);
        useFactory(FSR_OPT_OUT_OF_PLACE | options);
    }

    // Every entry of a tree as it stands, links not followed. Listing a directory moves its access time: that one is
    // not compared.
    static std::map<std::string, PathState> tree(const std::string& top) {
        std::map<std::string, PathState> states{{top, stateOf(top)}};
        states[top].atime = 0;
        const int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        for (const std::string& name : fcltest::entryNames(fd)) {
            const std::string path = top + "/" + name;
            states[path] = stateOf(path);
            if (S_ISDIR(states[path].mode)) {
                states[path].atime = 0;
                const auto below = tree(path);
                states.insert(below.begin(), below.end());
            }
        }
        close(fd);
        return states;
    }

    static ItemLayout directory(mode_t permissions = 0755) {
        ItemLayout plan;
        plan.mode = S_IFDIR | permissions;
        plan.data.clear();
        return plan;
    }

    CRestoreTimestampHandler* folderTimes() { return job_.GetRestoreTimestampHandler()->get(); }

    // The restore end; no handler exists before a folder was queued.
    void applyFolderTimes() {
        if (folderTimes() != nullptr) {
            folderTimes()->Apply();
        }
    }

    std::string real_ = dest_ + "/real";
    std::string outerDir_ = outside_ + "/dir";
};

// In place the user's links are the layout of the destination, wherever they lead.
TEST_F(UserDirectoryLink, InPlaceItemsAreRestoredThroughTheLinks) {
    EXPECT_EQ(restore(dest_ + "/sub/f"), kRestored);
    EXPECT_EQ(restore(dest_ + "/sub/new/g"), kRestored);
    EXPECT_EQ(restore(dest_ + "/abs/f"), kRestored);
    EXPECT_EQ(fcltest::readFile(real_ + "/f"), ItemLayout().data);
    EXPECT_EQ(fcltest::readFile(real_ + "/new/g"), ItemLayout().data);
    EXPECT_EQ(fcltest::readFile(outerDir_ + "/f"), ItemLayout().data);

    const bool root = fcltest::isRoot();
    ItemLayout plan = directory();
    if (root) {
        plan.uid = 4321;
        plan.gid = 4322;
    }
    const PathState realBefore = stateOf(real_);
    EXPECT_EQ(restore<FsRestoreDirectory>(dest_ + "/sub", plan), kRestored);
    EXPECT_EQ(restore<FsRestoreDirectory>(dest_ + "/sub/deeper", plan), kRestored);
    EXPECT_EQ(restore<FsRestoreDirectory>(dest_ + "/abs", plan), kRestored);
    applyFolderTimes();

    // The link stays and takes the owner; the directory behind it keeps its own owner and mode, and gets the times.
    const PathState link = stateOf(dest_ + "/sub");
    ASSERT_TRUE(S_ISLNK(link.mode));
    EXPECT_EQ(link.content, "real");
    EXPECT_EQ(link.uid, plan.uid);
    const PathState real = stateOf(real_);
    EXPECT_EQ(real.mode, realBefore.mode);
    EXPECT_EQ(real.uid, realBefore.uid);
    EXPECT_EQ(real.mtime, static_cast<time_t>(plan.mtime));
    EXPECT_EQ(real.atime, static_cast<time_t>(plan.atime));
    EXPECT_EQ(stateOf(real_ + "/deeper").mode, plan.mode);
    EXPECT_EQ(stateOf(real_ + "/file"), stateOf(outerDir_ + "/file")) << "the directories' contents stay";
    EXPECT_EQ(stateOf(outerDir_).mtime, static_cast<time_t>(plan.mtime));
}

// A held-back mode is set at the close by a call that follows the name: it reaches the directory behind the link,
// without set-id bits, since that directory's owner is not the one of the backup.
TEST_F(UserDirectoryLink, HeldBackModeReachesTheDirectoryBehindTheLink) {
    for (mode_t permissions : {01777, 03775}) {
        SCOPED_TRACE(permissions);
        EXPECT_EQ(restore<FsRestoreDirectory>(dest_ + "/sub", directory(permissions)), kRestored);
        EXPECT_TRUE(S_ISLNK(stateOf(dest_ + "/sub").mode));
        EXPECT_EQ(stateOf(real_).mode, S_IFDIR | (permissions & 01777));
    }
}

// Out of place a link that stays beneath the destination is used as in place; one that leaves it fails the item
// and every item beneath it, and nothing outside changes, folder times included.
TEST_F(UserDirectoryLink, OutOfPlaceTheDestinationDecides) {
    outOfPlace();
    const auto before = tree(outside_);
    EXPECT_EQ(restore(dest_ + "/sub/f"), kRestored);
    EXPECT_EQ(fcltest::readFile(real_ + "/f"), ItemLayout().data);
    EXPECT_EQ(restore<FsRestoreDirectory>(dest_ + "/sub", directory()), kRestored);
    EXPECT_EQ(restore<FsRestoreDirectory>(dest_ + "/sub/deeper", directory()), kRestored);
    EXPECT_TRUE(S_ISDIR(stateOf(real_ + "/deeper").mode));

    for (const char* name : {"abs", "climb"}) {
        SCOPED_TRACE(name);
        const std::string link = dest_ + "/" + name;
        EXPECT_EQ(restore<FsRestoreDirectory>(link, directory()), fclitem::kCreateFailed);
        EXPECT_EQ(restore<FsRestoreDirectory>(link + "/x", directory()), fclitem::kCreateFailed);
        EXPECT_EQ(restore(link + "/f"), fclitem::kCreateFailed);
        EXPECT_EQ(restore(link + "/new/f"), fclitem::kCreateFailed);
        EXPECT_TRUE(S_ISLNK(stateOf(link).mode));
    }
    applyFolderTimes();
    EXPECT_EQ(tree(outside_), before);
    EXPECT_EQ(stateOf(real_).mtime, static_cast<time_t>(ItemLayout().mtime));
}

// A directory item whose name is a link to a file or a dangling link fails, in place and out of place, and leaves
// the link and what it names as they were.
TEST_F(UserDirectoryLink, ALinkToNoDirectoryFailsTheDirectoryItem) {
    for (bool gated : {false, true}) {
        SCOPED_TRACE(gated ? "out of place" : "in place");
        if (gated) {
            outOfPlace();
        }
        const auto before = tree(dest_);
        for (const char* name : {"tofile", "dangling"}) {
            SCOPED_TRACE(name);
            EXPECT_EQ(restore<FsRestoreDirectory>(dest_ + "/" + name, directory()), fclitem::kCreateFailed);
        }
        applyFolderTimes();
        EXPECT_EQ(tree(dest_), before);
    }
}

// The rules that keep existing items never skip a directory, whatever stands at its name.
TEST_F(UserDirectoryLink, RulesThatKeepExistingItemsRestoreTheDirectory) {
    const struct {
        const char* name;
        bool doNotOverwrite;
        bool stubsOnly;
    } rules[] = {{"only if newer", false, false}, {"never", true, false}, {"stubs only", false, true}};
    for (const auto& rule : rules) {
        SCOPED_TRACE(rule.name);
        useFactory(0);
        factory_->setDoNotOverwrite(rule.doNotOverwrite);
        factory_->setStubsOnly(rule.stubsOnly);
        ItemLayout plan = directory();
        // The archive copy is older than the directory on disk.
        plan.mtime = plan.ctime = 1000;
        EXPECT_EQ(restore<FsRestoreDirectory>(dest_ + "/sub", plan), kRestored);
        EXPECT_EQ(restore<FsRestoreDirectory>(dest_ + "/sub/made", plan), kRestored);
        EXPECT_TRUE(S_ISDIR(stateOf(real_ + "/made").mode));
        EXPECT_TRUE(S_ISLNK(stateOf(dest_ + "/sub").mode));
    }
}

}  // namespace
