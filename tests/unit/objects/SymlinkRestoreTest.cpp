// Symbolic links restored as the stream drives them: made at close with their target, their owner set on the link
// itself (lchown), their own times set, and nothing done to what they point at; made after their missing parents;
// replacing a file or, with unconditional overwrite, a directory in their way.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <iostream>
#include <string>

#include "clRestore/objects/FsRestoreSymlink.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/objects/ObjectFixture.h"

namespace {

const time_t kLinkMtime = 1100000000;
const time_t kLinkAtime = 1000000000;

class SymlinkRestore : public fcltest::ObjectFixture {
protected:
    SymlinkRestore() {
        header_.mode = 0120777;
        header_.mtime = static_cast<uint64_t>(kLinkMtime);
        header_.atime = static_cast<uint32_t>(kLinkAtime);
        header_.uid = owner();
        header_.gid = group();
    }

    static uid_t owner() { return fcltest::isRoot() ? 4321 : getuid(); }
    static gid_t group() { return fcltest::isRoot() ? 4322 : getgid(); }

    // Drives one link item: open, the target as data (in two chunks), close. The close's result. `afterOpen` runs
    // between the open and the data.
    int restore(const std::string& path, const std::string& target, const std::function<void()>& afterOpen = {}) {
        FsRestoreSymlink link(&header_, factory_.get());
        link._filename = path;
        if (link.openObject() == 0) {
            return 0;
        }
        if (afterOpen) {
            afterOpen();
        }
        std::string head = target.substr(0, target.size() / 2);
        std::string tail = target.substr(target.size() / 2);
        EXPECT_EQ(link.writeData(&head[0], static_cast<int>(head.size())), 1);
        EXPECT_EQ(link.writeData(&tail[0], static_cast<int>(tail.size())), 1);
        return link.closeObject();
    }

    void expectLink(const std::string& path, const std::string& target) {
        struct stat st;
        ASSERT_EQ(lstat(path.c_str(), &st), 0) << path;
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << path;
        EXPECT_EQ(fcltest::readLinkTarget(path), target);
        EXPECT_EQ(st.st_uid, owner()) << path;
        EXPECT_EQ(st.st_gid, group()) << path;
        EXPECT_EQ(st.st_mtime, kLinkMtime) << path;
        EXPECT_EQ(st.st_atime, kLinkAtime) << path;
    }
};

TEST_F(SymlinkRestore, LinksOfEveryKindWithTheirTargetsOwnersAndTimes) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    if (!fcltest::isRoot()) {
        std::cout << "Not root: links keep this user as owner; targets and times are still checked.\n";
    }
    const std::string file = scratch_ / "file";
    fcltest::writeFile(file, "content");
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    ASSERT_EQ(mkdir((scratch_ / "dir").c_str(), 0750), 0);
    struct stat fileBefore, dirBefore;
    ASSERT_EQ(stat(file.c_str(), &fileBefore), 0);
    ASSERT_EQ(stat((scratch_ / "dir").c_str(), &dirBefore), 0);

    const struct {
        const char* name;
        std::string target;
    } cases[] = {
        {"absolute", file},
        {"relative", "file"},
        {"dangling", "no/such/place"},
        {"to a directory", scratch_ / "dir"},
        {"relative to a directory", "../dir"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = scratch_ / (std::string("links/") + c.name);
        ASSERT_EQ(restore(path, c.target), 1);
        EXPECT_EQ(factory_->getErrCode(), 0u);
        expectLink(path, c.target);
    }
    struct stat fileAfter, dirAfter;
    ASSERT_EQ(stat(file.c_str(), &fileAfter), 0);
    ASSERT_EQ(stat((scratch_ / "dir").c_str(), &dirAfter), 0);
    EXPECT_EQ(fileAfter.st_mode, fileBefore.st_mode);
    EXPECT_EQ(fileAfter.st_uid, fileBefore.st_uid);
    EXPECT_EQ(fileAfter.st_mtime, fileBefore.st_mtime);
    EXPECT_EQ(dirAfter.st_mode, dirBefore.st_mode);
    EXPECT_EQ(dirAfter.st_uid, dirBefore.st_uid);
    EXPECT_EQ(dirAfter.st_mtime, dirBefore.st_mtime);
    EXPECT_EQ(fcltest::readFile(file), "content");
}

// With overwrite, a file, an old link or an empty directory in the link's place makes way for it; a directory that
// holds anything stays whole and fails the item (what it holds may be what this job restored). A directory that
// appears after the open, in a job that does not overwrite, stays as it is and fails the item.
TEST_F(SymlinkRestore, EntryInTheWayIsReplacedWhereAllowed) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    enum Entry { kFile, kOldLink, kDirectory, kEmptyDirectory };
    const struct {
        const char* name;
        Entry entry;
        bool afterOpen;
        unsigned long options;
        int result;
    } cases[] = {
        {"file", kFile, false, FSR_OPT_OVERWRITE, 1},
        {"old link", kOldLink, false, FSR_OPT_OVERWRITE, 1},
        {"empty directory with overwrite", kEmptyDirectory, false, FSR_OPT_OVERWRITE, 1},
        {"full directory with overwrite", kDirectory, false, FSR_OPT_OVERWRITE, 0},
        {"directory appearing without overwrite", kDirectory, true, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        factory_ = makeFactory(c.options);
        wzlog::ScopedCapture capture;
        const std::string path = scratch_ / c.name;
        const auto place = [&] {
            if (c.entry == kDirectory || c.entry == kEmptyDirectory) {
                ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
                if (c.entry == kDirectory) {
                    fcltest::writeFile(path + "/inside", "x");
                }
            } else if (c.entry == kOldLink) {
                ASSERT_EQ(symlink("old-target", path.c_str()), 0);
            } else {
                fcltest::writeFile(path, "old");
            }
        };
        if (!c.afterOpen) {
            place();
        }
        EXPECT_EQ(restore(path, "new-target", c.afterOpen ? std::function<void()>(place) : nullptr), c.result);
        if (c.result == 1) {
            EXPECT_EQ(factory_->getErrCode(), 0u);
            expectLink(path, "new-target");
        } else {
            EXPECT_EQ(factory_->getErrCode(), fclitem::kCreateFailed);
            EXPECT_TRUE(
                capture->contains(c.options == 0 ? "and Unconditional Overwrite not selected" : "even tried rmdir"));
            EXPECT_EQ(fcltest::readFile(path + "/inside"), "x");
        }
    }
}

TEST_F(SymlinkRestore, MissingParentsAreMadeForTheSecondAttempt) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    const std::string path = scratch_ / "a/b/c/link";
    ASSERT_EQ(restore(path, "../../target"), 1);
    expectLink(path, "../../target");
}

TEST_F(SymlinkRestore, LinkThatCannotBeMadeFailsTheItem) {
    FCL_SKIP_UNLESS_COMMON_OPEN_IS_BUILT();
    fcltest::writeFile(scratch_ / "plain", "p");
    const struct {
        const char* name;
        std::string path;
        std::string target;
        const char* line;
    } cases[] = {
        {"parent is a file", scratch_ / "plain/link", "t", "while symlink"},
        {"target too long", scratch_ / "long", std::string(5000, 'x'), "while symlink"},
        {"target with a NUL inside", scratch_ / "nul", std::string("a\0b", 3), "while symlink"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        factory_->setErrCode(0);
        wzlog::ScopedCapture capture;
        EXPECT_EQ(restore(c.path, c.target), 0);
        EXPECT_EQ(factory_->getErrCode(), fclitem::kCreateFailed);
        EXPECT_TRUE(capture->contains(c.line));
        struct stat st;
        EXPECT_NE(lstat(c.path.c_str(), &st) == 0 && S_ISLNK(st.st_mode), true);
    }
}

// A relative destination without any directory whose creation fails with ENOENT cannot have parents made.
TEST_F(SymlinkRestore, BareNameWithoutParentIsABadPath) {
    FsRestoreSymlink link(&header_, factory_.get());
    link._filename = "name-without-directory";
    std::string target = "t";
    ASSERT_EQ(link.writeData(&target[0], 1), 1);
    // Run from a directory that is gone, so that the bare name cannot be made.
    const std::string gone = scratch_ / "gone";
    ASSERT_EQ(mkdir(gone.c_str(), 0700), 0);
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(gone.c_str()), 0);
    ASSERT_EQ(rmdir(gone.c_str()), 0);
    wzlog::ScopedCapture capture;
    const int result = link.closeObject();
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(factory_->getErrCode(), fclitem::kCreateFailed);
    EXPECT_TRUE(capture->contains("Bad symlink path [name-without-directory]"));
}

TEST_F(SymlinkRestore, SkippedLinkIsNotMade) {
    FsRestoreSymlink link(&header_, factory_.get());
    link._filename = scratch_ / "skipped";
    link._dontRestore = 1;
    std::string target = "t";
    ASSERT_EQ(link.writeData(&target[0], 1), 1);
    EXPECT_EQ(link.closeObject(), 1);
    struct stat st;
    EXPECT_NE(lstat(link._filename.c_str(), &st), 0);
}

}  // namespace
