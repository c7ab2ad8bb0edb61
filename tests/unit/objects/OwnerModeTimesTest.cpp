// Owners, modes and times as the common post-open and close leave them: exact, set-id and sticky bits only after
// the data and the owner, set-id bits never without the owner, and a link's target never touched.
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "clRestore/engine/RestoreIdentity.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/objects/ItemFixture.h"

namespace {

using objtest::ItemLayout;
using objtest::stateOf;

class OwnerModeTimes : public objtest::ItemFixture {
protected:
    OwnerModeTimes() { useFactory(FSR_OPT_OVERWRITE); }

    static ItemLayout plan(mode_t mode, uid_t uid = getuid(), gid_t gid = getgid()) {
        ItemLayout s;
        s.mode = mode;
        s.uid = uid;
        s.gid = gid;
        s.atime = 1400000001;
        s.mtime = 1500000002;
        return s;
    }
};

const mode_t kModes[] = {
    S_IFREG | 0644, S_IFREG | 0600, S_IFREG | 04755, S_IFREG | 02755, S_IFREG | 06711, S_IFREG | 01644,
    S_IFDIR | 0755, S_IFDIR | 0700, S_IFDIR | 01777, S_IFDIR | 02755, S_IFDIR | 02775,
};

// The first mode never carries set-id or sticky bits, and a directory's none for group and others; the close gives
// the item its whole mode and its times.
TEST_F(OwnerModeTimes, ModesAndTimesAreExactAndSpecialBitsComeLast) {
    int index = 0;
    for (mode_t mode : kModes) {
        SCOPED_TRACE(std::to_string(index) + ": mode 0" + std::to_string(mode & 07777));
        const std::string path = dest_ + "/item" + std::to_string(index++);
        const ItemLayout s = plan(mode);
        factory_->setErrCode(0);
        auto item = makeItem(path, s);
        ASSERT_EQ(item->openObject(), 1);
        EXPECT_EQ(stateOf(path).mode, S_ISDIR(mode) ? mode & ~07077 : mode & ~07000);
        EXPECT_EQ(item->closeObject(), 1);
        EXPECT_EQ(factory_->getErrCode(), 0u);
        const auto after = stateOf(path);
        EXPECT_EQ(after.mode, mode);
        EXPECT_EQ(after.mtime, static_cast<time_t>(s.mtime));
        EXPECT_EQ(after.atime, static_cast<time_t>(s.atime));
        EXPECT_EQ(after.uid, s.uid);
        EXPECT_EQ(after.gid, s.gid);
    }
}

TEST_F(OwnerModeTimes, OwnersOfOtherUsersAreSet) {
    if (!fcltest::isRoot()) {
        GTEST_SKIP() << "giving items another user's owner and group needs root";
    }
    int index = 0;
    for (mode_t mode : kModes) {
        SCOPED_TRACE(std::to_string(mode & 07777));
        const std::string path = dest_ + "/owned" + std::to_string(index++);
        const ItemLayout s = plan(mode, 1234, 5678);
        EXPECT_EQ(restore(path, s), 0u);
        const auto after = stateOf(path);
        EXPECT_EQ(after.uid, 1234u);
        EXPECT_EQ(after.gid, 5678u);
        EXPECT_EQ(after.mode, mode);
    }
}

// An owner that could not be set, with the error ignored by the setting: the mode is set, but set-id bits would
// hand the restoring user's rights to whoever runs the item, so they are left off. The sticky bit stays.
TEST_F(OwnerModeTimes, WithoutItsOwnerAnItemGetsNoSetIdBits) {
    writeSettings("[FileSystemAgent]\nignoreChownErrors = 2\n");
    const struct {
        mode_t mode;
        mode_t expected;
    } cases[] = {
        {S_IFREG | 04755, S_IFREG | 0755},
        {S_IFREG | 06751, S_IFREG | 0751},
        {S_IFDIR | 02775, S_IFDIR | 0775},
        {S_IFDIR | 01777, S_IFDIR | 01777},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode & 07777));
        const std::string path = dest_ + "/unowned" + std::to_string(index++);
        wzfiles::failNextCalls(wzfiles::FileCall::kLchown, EPERM, 1, path);
        auto item = makeItem(path, plan(c.mode, 1234, 5678));
        item->ownerByPath = true;
        factory_->setErrCode(0);
        ASSERT_EQ(item->openObject(), 1);
        EXPECT_EQ(item->closeObject(), 1);
        EXPECT_EQ(stateOf(path).mode, c.expected);
    }
}

TEST_F(OwnerModeTimes, AnOwnerErrorNotIgnoredFailsTheItemWithItsModeSet) {
    const std::string path = dest_ + "/unowned";
    wzfiles::failNextCalls(wzfiles::FileCall::kLchown, EPERM, 1, path);
    auto item = makeItem(path, plan(S_IFREG | 04755, 1234, 5678));
    item->ownerByPath = true;
    EXPECT_EQ(item->openObject(), 0);
    EXPECT_EQ(factory_->getErrCode(), fclitem::kCloseStepFailed);
    EXPECT_EQ(stateOf(path).mode, static_cast<mode_t>(S_IFREG | 0755));
}

// Times that cannot be set fail the item with the close's id: it is not reported restored.
TEST_F(OwnerModeTimes, TimesThatCannotBeSetFailTheItemWithTheClosesId) {
    const std::string path = dest_ + "/untimed";
    auto item = makeItem(path, plan(S_IFDIR | 0755));
    ASSERT_EQ(item->openObject(), 1);
    wzfiles::failNextCalls(wzfiles::FileCall::kOpen, EACCES, 1, path);
    EXPECT_EQ(item->closeObject(), 0);
    EXPECT_EQ(factory_->getErrCode(), fclitem::kCloseStepFailed);
    EXPECT_TRUE(log_->contains("while updating file times for [" + path + "]"));
}

// IBRIX mode opens every item with 0600 and gives it its mode at close.
TEST_F(OwnerModeTimes, IbrixModeOpensWithOwnerReadWriteOnly) {
    writeSettings("[FileSystemAgent]\nnIbrixEnabled = 1\n");
    const std::string path = dest_ + "/ibrix";
    auto item = makeItem(path, plan(S_IFREG | 04755));
    ASSERT_EQ(item->openObject(), 1);
    EXPECT_TRUE(item->_ibrixRestore);
    EXPECT_EQ(stateOf(path).mode, static_cast<mode_t>(S_IFREG | 0600));
    EXPECT_EQ(item->closeObject(), 1);
    EXPECT_EQ(stateOf(path).mode, static_cast<mode_t>(S_IFREG | 04755));
}

// A link has no mode of its own and its target is never changed: not its mode, not its owner, not its times.
TEST_F(OwnerModeTimes, ALinkItemNeverReachesItsTarget) {
    const std::string target = outside_ + "/target";
    fcltest::writeFile(target, "target");
    ASSERT_EQ(chmod(target.c_str(), 0600), 0);
    objtest::setTimes(target, 1000, 2000);
    const auto targetBefore = stateOf(target);
    const std::string link = dest_ + "/link";
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);

    const uid_t uid = fcltest::isRoot() ? 1234 : getuid();
    auto item = makeItem(link, plan(S_IFLNK | 0777, uid, getgid()));
    EXPECT_EQ(item->_postOpenObject(-1, link.c_str(), IMPERSONATION_NONE), 1);
    EXPECT_EQ(item->closeObject(), 1);
    EXPECT_EQ(factory_->getErrCode(), 0u);
    EXPECT_EQ(stateOf(target), targetBefore);
    EXPECT_EQ(stateOf(link).uid, uid);
}

// The user a restore runs as must be able to read what it restores; a directory is not refused.
TEST_F(OwnerModeTimes, RestoreUserMayNotReadAnotherUsersPrivateFile) {
    struct Impersonation {
        Impersonation() : saved(uPwd) {
            g_impersonated = true;
            uPwd.pw_uid = 4321;
            uPwd.pw_gid = 4321;
        }
        ~Impersonation() {
            g_impersonated = false;
            uPwd = saved;
        }
        struct passwd saved;
    } asUser;
    // Someone else than the restore user, and an owner this process can give.
    const uid_t owner = fcltest::isRoot() ? 1234 : getuid();
    const gid_t group = fcltest::isRoot() ? 5678 : getgid();
    auto file = makeItem(dest_ + "/private", plan(S_IFREG | 0600, owner, group));
    EXPECT_EQ(file->openObject(), 0);
    EXPECT_EQ(factory_->getErrCode(), fclitem::kUserMayNotRead);

    factory_->setErrCode(0);
    auto dir = makeItem(dest_ + "/privatedir", plan(S_IFDIR | 0700, owner, group));
    EXPECT_EQ(dir->openObject(), 1);
    EXPECT_NE(factory_->getErrCode(), fclitem::kUserMayNotRead);
}

}  // namespace
