// What a link object does before its close: the target is built from the data, a device prefix is cut from each
// chunk, a target longer than the system takes is never kept whole; the optional header is kept for the close; and
// the calls on the link's path act on the link itself, never on what it points at.
#include <gtest/gtest.h>

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "clRestore/objects/FsRestoreSymlink.h"
#include "clRestore/support/ItemErrorIds.h"
#include "tests/unit/objects/ObjectFixture.h"

namespace {

class SymlinkSteps : public fcltest::ObjectFixture {
protected:
    SymlinkSteps() { header_.mode = 0120777; }
    std::unique_ptr<FsRestoreSymlink> link() {
        return std::unique_ptr<FsRestoreSymlink>(new FsRestoreSymlink(&header_, factory_.get()));
    }
};

TEST_F(SymlinkSteps, TargetIsTheDataWithoutTheDevicePrefix) {
    const struct {
        const char* name;
        std::vector<std::string> chunks;
        std::string target;
    } cases[] = {
        {"device prefix", {"///device/dev/sda1"}, "dev/sda1"},
        {"relative target taken whole", {"../lib/libx.so.1"}, "../lib/libx.so.1"},
        {"two chunks joined in order", {"/usr/", "lib/a"}, "/usr/lib/a"},
        {"prefix cut from every chunk", {"///device/a", "///device/b"}, "ab"},
        {"prefix alone", {"///device/"}, ""},
        {"shorter than the prefix", {"///dev"}, "///dev"},
        {"prefix not at the start", {"x///device/y"}, "x///device/y"},
    };
    for (const auto& c : cases) {
        auto object = link();
        for (std::string chunk : c.chunks) {
            EXPECT_EQ(object->writeData(&chunk[0], static_cast<int>(chunk.size())), 1) << c.name;
        }
        EXPECT_EQ(object->_linkTarget, c.target) << c.name;
    }
}

TEST_F(SymlinkSteps, EndlessTargetIsNeverKeptWhole) {
    auto object = link();
    std::string chunk(1 << 20, 'a');
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(object->writeData(&chunk[0], static_cast<int>(chunk.size())), 1);
    }
    EXPECT_EQ(object->_linkTarget.size(), static_cast<size_t>(PATH_MAX));
}

TEST_F(SymlinkSteps, OptionalHeaderIsKeptForTheClose) {
    auto object = link();
    std::string header(200, 'h');
    EXPECT_EQ(object->writeOptHeader(&header[0], 200), 1);
    ASSERT_EQ(object->_savedOptHeaderLen, 200);
    EXPECT_EQ(std::string(object->_savedOptHeader.get(), 200), header);
    // A later header replaces the kept one; an empty one keeps nothing new.
    std::string second(50, 's');
    EXPECT_EQ(object->writeOptHeader(&second[0], 50), 1);
    EXPECT_EQ(object->_savedOptHeaderLen, 50);
    EXPECT_EQ(std::string(object->_savedOptHeader.get(), 50), second);
    EXPECT_EQ(object->writeOptHeader(&second[0], 0), 1);
    EXPECT_EQ(object->_savedOptHeaderLen, 50);
    EXPECT_EQ(factory_->getErrCode(), 0u);
}

// The link's own times change; its target's do not. A mode call changes nothing at all, and the owner call is
// lchown whichever form is asked for.
TEST_F(SymlinkSteps, CallsOnTheLinkPathNeverReachTheTarget) {
    const std::string target = scratch_ / "target";
    fcltest::writeFile(target, "t");
    ASSERT_EQ(chmod(target.c_str(), 0600), 0);
    utimbuf old = {1000, 2000};
    ASSERT_EQ(utime(target.c_str(), &old), 0);
    for (const std::string& name : {std::string("absolute"), std::string("relative")}) {
        SCOPED_TRACE(name);
        const std::string path = scratch_ / name;
        ASSERT_EQ(symlink(name == "absolute" ? target.c_str() : "target", path.c_str()), 0);
        auto object = link();
        utimbuf times = {300000, 400000};
        EXPECT_EQ(object->Utime(path, &times), 0);
        EXPECT_EQ(object->ChmodFile(path, 0777), 0);
        const uid_t uid = fcltest::isRoot() ? 4321 : getuid();
        const gid_t gid = fcltest::isRoot() ? 4321 : getgid();
        EXPECT_EQ(object->ChownFile(path, static_cast<unsigned>(uid), static_cast<unsigned>(gid)), 0);

        struct stat linkStat, targetStat;
        ASSERT_EQ(lstat(path.c_str(), &linkStat), 0);
        ASSERT_EQ(stat(target.c_str(), &targetStat), 0);
        EXPECT_EQ(linkStat.st_mtime, 400000);
        EXPECT_EQ(linkStat.st_atime, 300000);
        EXPECT_EQ(linkStat.st_uid, uid);
        EXPECT_EQ(linkStat.st_gid, gid);
        EXPECT_EQ(targetStat.st_mtime, 2000);
        EXPECT_EQ(targetStat.st_atime, 1000);
        EXPECT_EQ(targetStat.st_mode & 07777, 0600u);
        EXPECT_EQ(targetStat.st_uid, getuid());
    }
}

}  // namespace
