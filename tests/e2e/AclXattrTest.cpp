// Access ACLs, default ACLs of directories and extended attributes (several per item, binary and empty values, a
// link's own) restored exactly; a destination that cannot keep them still gets every item.
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/acl/WzAclHelper.h"
#include "tests/e2e/EndToEnd.h"
#include "tools/fir/FirJob.h"

namespace e2e {
namespace {

// The blocks a listing tool prints per item, with `root` written as ROOT, in name order: trees walked in another
// directory order compare equal.
std::string normalisedListing(std::vector<std::string> argv, const std::string& root) {
    argv.push_back(root);
    const fcltest::ProgramRun run = fcltest::runProgram(argv);
    if (run.status != 0) {
        return argv[0] + " failed: " + run.describe();
    }
    const std::string shown = root.substr(1);
    std::vector<std::string> blocks;
    std::istringstream in(run.out);
    std::string line;
    std::string block;
    while (std::getline(in, line)) {
        for (size_t at = line.find(shown); at != std::string::npos; at = line.find(shown, at)) {
            line.replace(at, shown.size(), "ROOT");
        }
        if (line.empty()) {
            if (!block.empty()) {
                blocks.push_back(block);
            }
            block.clear();
        } else {
            block += line + "\n";
        }
    }
    if (!block.empty()) {
        blocks.push_back(block);
    }
    std::sort(blocks.begin(), blocks.end());
    std::string all;
    for (const std::string& b : blocks) {
        all += b + "\n";
    }
    return all;
}

std::string aclListing(const std::string& root) {
    return normalisedListing({"getfacl", "-R", "-P", "-n"}, root);
}

std::string xattrListing(const std::string& root) {
    return normalisedListing({"getfattr", "-R", "-P", "-h", "-d", "-m", "-", "-e", "hex"}, root);
}

size_t countOf(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const char kNamedUser[] = "u::rw-,u:1000:r--,g::r--,m::r--,o::---";
const char kNamedGroup[] = "u::rw-,g::r--,g:2000:rw-,m::rw-,o::r--";
const char kDirAccess[] = "u::rwx,u:1000:rwx,g::r-x,m::rwx,o::r-x";
const char kDirDefault[] = "u::rwx,u:1001:r-x,g::r-x,g:3000:rwx,m::rwx,o::---";

TreeLayout richTree() {
    return {
        file("plain", 10),
        file("named user", 10).acl(kNamedUser),
        file("named group", 20).acl(kNamedGroup).xattr("user.first", "1").xattr("user.second", ""),
        file("binary", 3)
            .xattr("user.bytes", std::string("\0\xff\n", 3))
            .xattr("user.empty", "")
            .xattr("user.long", std::string(3000, 'v')),
        dir("shared").acl(kDirAccess).defaultAclOf(kDirDefault).xattr("user.on-dir", "yes"),
        // Made after their directory's default ACL: they inherit it, as they would on any system.
        file("shared/inherits", 5),
        dir("shared/sub"),
        file("shared/sub/deeper", 7).acl(kNamedUser).xattr("user.deep", "d"),
        dir("only default").defaultAclOf(kDirDefault),
        symlink("link", "named user"),
    };
}

class AclXattr : public EndToEnd {
protected:
    // A destination that keeps no ACLs or attributes fails their application: the job raises the event of a failed
    // application once, and not the one of a machine without ACL support.
    void expectOneFailureEvent() const {
        const std::string journal = fileText(results() + "/journal.log");
        EXPECT_EQ(countOf(journal, "0x17000060"), 1u) << journal;
        EXPECT_EQ(countOf(journal, "0x1700005f"), 0u) << journal;
    }
};

TEST_F(AclXattr, AccessAndDefaultAclsAndAttributesAreRestoredExactly) {
    build(richTree());
    packAndRestore();
    EXPECT_EQ(differences(), "");
    EXPECT_EQ(aclListing(restored()), aclListing(source()));
    EXPECT_EQ(xattrListing(restored()), xattrListing(source()));
}

// Items whose paths a file header cannot hold (1,200 bytes and more) travel with their real paths in index headers;
// their ACLs and attributes come back with them, hard-linked names included.
TEST_F(AclXattr, ItemsWithPathsLongerThanAHeaderKeepTheirAclsAndAttributes) {
    std::string deep;
    for (char level = 'a'; level < 'f'; ++level) {
        deep += std::string(250, level) + "/";
    }
    ASSERT_GE(deep.size(), 1200u);
    build({
        dir(deep.substr(0, deep.size() - 1)).acl(kDirAccess).defaultAclOf(kDirDefault).xattr("user.on-dir", "d"),
        file(deep + "named user", 5000).acl(kNamedUser).xattr("user.first", "1"),
        file(deep + "binary", 3).xattr("user.bytes", std::string("\0\xff\n", 3)).xattr("user.empty", ""),
        file(deep + "plain", 10),
        dir(deep + "sub").acl(kDirAccess).xattr("user.sub", "s"),
        file(deep + "sub/deeper", 7).acl(kNamedGroup).xattr("user.deep", std::string(3000, 'v')),
        symlink(deep + "link", "plain"),
        file(deep + "linked", 20).acl(kNamedUser).xattr("user.linked", "l"),
        hardlink(deep + "sub/linked again", deep + "linked"),
        hardlink("short name of the linked file", deep + "linked"),
        hardlink(deep + "sub/plain again", deep + "plain"),
    });
    packAndRestore();
    EXPECT_EQ(differences(), "");
    EXPECT_EQ(aclListing(restored()), aclListing(source()));
    EXPECT_EQ(xattrListing(restored()), xattrListing(source()));
}

// A link carries attributes of its own (only privileged namespaces may be set on a link): they go to the link and
// never through it to what it names.
TEST_F(AclXattr, ALinkGetsItsOwnAttributesOnly) {
    build({
        file("target", 4).xattr("user.target", "t"),
        symlink("link", "target").owner(0, 0).xattr("trusted.link-own", "mine"),
        symlink("dangling", "nowhere").owner(0, 0).xattr("trusted.dangling", ""),
    });
    packAndRestore();
    EXPECT_EQ(differences(), "");
    EXPECT_EQ(xattrListing(restored()), xattrListing(source()));
    char value[16];
    EXPECT_LT(getxattr(restored("target").c_str(), "trusted.link-own", value, sizeof value), 0);
}

// The destination cannot keep ACLs or attributes: every item is restored without them, and the job says so once.
TEST_F(AclXattr, ADestinationWithoutSupportGetsTheItemsWithoutThem) {
    build(richTree());
    pack();
    const std::string original = beside("original");
    ASSERT_EQ(std::rename(source().c_str(), original.c_str()), 0);
    WzACL::Helper::setApplyFailure(EOPNOTSUPP);
    const InPlaceRun run = restoreInPlace();
    WzACL::Helper::setApplyFailure(0);
    EXPECT_TRUE(run.succeeded) << run.reason;
    EXPECT_EQ(run.identityAfter, run.identityBefore);
    EXPECT_EQ(run.failed, 0u);
    EXPECT_EQ(run.restored, sourceItems());
    EXPECT_EQ(contentDifferences(original, source(), Holes::Kept), "");
    EXPECT_EQ(countOf(xattrListing(source()), "user."), 0u);
    EXPECT_EQ(countOf(aclListing(source()), "user:1000"), 0u);
    expectOneFailureEvent();
    EXPECT_EQ(countOf(fileText(results() + "/fclrestore.log"), "does not support access-control lists"), 1u);
}

// A destination on a file system that keeps neither ACLs nor attributes: the items come back without them, the event
// is raised once, and the summary, standard error and the exit status say that items lost them.
TEST_F(AclXattr, AFileSystemWithoutSupportGetsTheItemsWithoutThem) {
    if (!fcltest::isRoot()) {
        GTEST_SKIP() << "mounting a file system without ACL or attribute support needs root";
    }
    build(richTree());
    ASSERT_EQ(mkdir(dest().c_str(), 0755), 0);
    if (mount("fcl-noxattr", dest().c_str(), "ramfs", 0, nullptr) != 0) {
        GTEST_SKIP() << "this machine cannot mount a ramfs: " << std::strerror(errno);
    }
    struct Unmount {
        std::string at;
        ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
    } unmount{dest()};
    const std::string probe = dest() + "/probe";
    fcltest::writeFile(probe, "");
    if (setxattr(probe.c_str(), "user.probe", "1", 1, 0) == 0) {
        GTEST_SKIP() << "ramfs keeps attributes here";
    }
    ASSERT_EQ(unlink(probe.c_str()), 0);
    pack();
    const fcltest::ProgramRun run = restore();
    EXPECT_EQ(run.status, 1) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), std::to_string(sourceItems())) << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), "0") << run.out;
    EXPECT_EQ(run.out.rfind("Restore finished: ", 0), 0u) << run.out;
    const std::string lost = fcltest::summaryField(run.out, "ACLs/xattrs lost:");
    EXPECT_NE(lost.find(" item(s) (Operation not supported: the destination's file system cannot hold them)"),
              std::string::npos)
        << run.out;
    EXPECT_GT(std::stoul("0" + lost.substr(0, lost.find(' '))), 0u) << run.out;
    EXPECT_NE(run.err.find("were restored without their ACLs or extended attributes"), std::string::npos) << run.err;
    EXPECT_EQ(contentDifferences(source(), restored(), Holes::Kept), "");
    EXPECT_EQ(countOf(xattrListing(restored()), "user."), 0u);
    expectOneFailureEvent();
}

// A job whose options word does not ask for ACLs applies none, nor attributes, and says so once.
TEST_F(AclXattr, AJobThatDoesNotAskForThemGetsNone) {
    build(richTree());
    pack();
    ASSERT_EQ(std::rename(source().c_str(), beside("original").c_str()), 0);
    InPlaceChoice choice;
    choice.droppedOptions = fir::kRestoreAcls;
    const InPlaceRun run = restoreInPlace(choice);
    EXPECT_TRUE(run.succeeded) << run.reason;
    EXPECT_EQ(run.restored, sourceItems());
    EXPECT_EQ(contentDifferences(beside("original"), source(), Holes::Kept), "");
    EXPECT_EQ(countOf(xattrListing(source()), "user."), 0u);
    EXPECT_EQ(countOf(aclListing(source()), "user:1000"), 0u);
    EXPECT_EQ(countOf(aclListing(source()), "default:"), 0u);
    EXPECT_EQ(countOf(fileText(results() + "/fclrestore.log"), "ACL Restore is disabled based on job option"), 1u);
}

}  // namespace
}  // namespace e2e
