// A job that restores as another user: run as root, it makes every item as that user, reaches nothing that user
// could not read, and leaves the process with the ids, groups and file-creation mask it had.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/users/WZPassword.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

const char kUser[] = "nobody";
const char kPassword[] = "restore-as-nobody";

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every entry of `root` (itself included) not owned by `uid`, one per line.
std::string notOwnedBy(const std::string& root, uid_t uid) {
    const fcltest::ProgramRun run = fcltest::runProgram({"find", root, "-not", "-uid", std::to_string(uid)});
    return run.status == 0 ? run.out : "find failed: " + run.describe();
}

class AsUser : public EndToEnd {
protected:
    void SetUp() override {
        if (!fcltest::isRoot()) {
            GTEST_SKIP() << "restoring as another user needs root";
        }
        const struct passwd* entry = getpwnam(kUser);
        if (entry == nullptr) {
            GTEST_SKIP() << "this machine has no user " << kUser;
        }
        uid_ = entry->pw_uid;
        gid_ = entry->pw_gid;
    }

    // The restore task asks for the user with its password; the password kept for the user is the same.
    std::string settings() const {
        const std::string enciphered = WZPassword::encrypt(kPassword);
        return std::string("[RestoreTask]\n3dc4af91 = 1\n4322b07d = ") + kUser + "\n646e91de = " + enciphered +
               "\n[UserPasswords]\n" + kUser + " = " + enciphered + "\n";
    }

    // The user must reach the media, write the results and make the tree where it was; false when the user cannot
    // reach the scratch directory at all.
    bool openToUser() {
        EXPECT_EQ(chmod(beside("").c_str(), 0777), 0);
        EXPECT_EQ(mkdir(results().c_str(), 0777), 0);
        EXPECT_EQ(chmod(results().c_str(), 0777), 0);
        return fcltest::runProgram({"su", "-s", "/bin/sh", kUser, "-c", "test -x " + beside("")}).status == 0;
    }

    // Packs the tree built, moves it aside to "original" and restores it in place as the user, the settings given
    // added to the user's; skipped when the user cannot reach the scratch directory.
    void restoreAsUser(const std::string& moreSettings, InPlaceRun* run) {
        pack();
        items_ = sourceItems();
        ASSERT_EQ(std::rename(source().c_str(), beside("original").c_str()), 0);
        if (!openToUser()) {
            GTEST_SKIP() << kUser << " cannot reach the scratch directory " << beside("");
        }
        InPlaceChoice choice;
        choice.settings = settings() + moreSettings;
        *run = restoreInPlace(choice);
    }

    uid_t uid_ = 0;
    gid_t gid_ = 0;
    uint64_t items_ = 0;
};

TEST_F(AsUser, ItemsAreTheUsersAndTheProcessIsItselfAfterwards) {
    build({
        file("mine", 5000).owner(uid_, gid_),
        file("everyones", 300).mode(0644),
        dir("sub").owner(uid_, gid_),
        file("sub/deeper", 10).owner(uid_, gid_).mode(0600),
        symlink("link", "mine"),
        file("secret", 20).owner(0, 0).mode(0600),
    });
    InPlaceRun run;
    restoreAsUser("", &run);
    if (HasFatalFailure() || IsSkipped()) {
        return;
    }

    // The root-only file cannot be read by the user: it is skipped, as an item the user may not have.
    EXPECT_EQ(run.skipped, 1u) << run.reason;
    EXPECT_EQ(run.failed, 0u) << run.reason;
    EXPECT_EQ(run.restored, items_ - 1);
    EXPECT_EQ(run.identityAfter, run.identityBefore);
    EXPECT_FALSE(run.identityBefore.empty());
    struct stat st;
    EXPECT_NE(lstat(source("secret").c_str(), &st), 0) << "the user reached a file it could not read";
    EXPECT_EQ(notOwnedBy(source(), uid_), "");
    for (const char* name : {"mine", "everyones", "sub/deeper"}) {
        EXPECT_EQ(fcltest::readFile(source(name)), fcltest::readFile(beside("original/") + name)) << name;
    }
    const std::string log = fileText(results() + "/fclrestore.log");
    EXPECT_NE(log.find("impersonate user=nobody"), std::string::npos);
    EXPECT_EQ(log.find(kPassword), std::string::npos) << "the password was logged";
}

// With ACL pass-through turned off, a file that carries an extended ACL is restored only for its owner; the other
// items, those without any optional header among them, are opened at their first data or end and keep their data. A
// hard-linked file goes with all its names, or none of them.
TEST_F(AsUser, WithoutAclPassThroughOnlyTheOwnersAclFilesAreRestored) {
    const char kAcl[] = "u::rw-,u:1000:r--,g::r--,m::r--,o::r--";
    build({
        file("plain", 4000).owner(uid_, gid_),
        file("empty", 0).owner(uid_, gid_),
        file("mine with acl", 10).owner(uid_, gid_).acl(kAcl),
        file("theirs with acl", 10).owner(0, 0).acl(kAcl),
        file("theirs plain", 10).owner(0, 0).mode(0644),
        file("mine linked", 30).owner(uid_, gid_).acl(kAcl),
        hardlink("mine linked again", "mine linked"),
        file("theirs linked", 30).owner(0, 0).acl(kAcl),
        hardlink("theirs linked again", "theirs linked"),
    });
    InPlaceRun run;
    restoreAsUser("[FileSystemAgent]\nbDisableACLPassthrough = 1\n", &run);
    if (HasFatalFailure() || IsSkipped()) {
        return;
    }

    EXPECT_EQ(run.skipped, 3u) << run.reason;
    EXPECT_EQ(run.failed, 0u) << run.reason;
    EXPECT_EQ(run.restored, items_ - 3);
    struct stat st;
    for (const char* name : {"theirs with acl", "theirs linked", "theirs linked again"}) {
        EXPECT_NE(lstat(source(name).c_str(), &st), 0) << name;
    }
    for (const char* name : {"plain", "empty", "mine with acl", "theirs plain", "mine linked", "mine linked again"}) {
        ASSERT_EQ(lstat(source(name).c_str(), &st), 0) << name;
        EXPECT_EQ(fcltest::readFile(source(name)), fcltest::readFile(beside("original/") + name)) << name;
    }
    struct stat again;
    ASSERT_EQ(lstat(source("mine linked again").c_str(), &again), 0);
    ASSERT_EQ(lstat(source("mine linked").c_str(), &st), 0);
    EXPECT_EQ(again.st_ino, st.st_ino);
    EXPECT_EQ(run.identityAfter, run.identityBefore);
    // Refused by the pass-through test itself, not for want of read permission.
    EXPECT_NE(fileText(results() + "/fclrestore.log")
                  .find("Sending status [" + std::to_string(0x170000a7) + "] for [" + source("theirs with acl") + "]"),
              std::string::npos);
}

// A user id enforced by the global parameter: a user's id restores as that user, a negative one as the process
// itself, and anything that is not a whole decimal number fitting a user id refuses the job before anything is
// restored.
TEST_F(AsUser, AnEnforcedUserIdIsAUserNoUserOrARefusedJob) {
    build({file("everyones", 10).mode(0644), dir("sub").mode(0755)});
    pack();
    ASSERT_EQ(std::rename(source().c_str(), beside("original").c_str()), 0);
    if (!openToUser()) {
        GTEST_SKIP() << kUser << " cannot reach the scratch directory " << beside("");
    }
    const struct {
        std::string id;
        bool restored;
        uid_t owner;
    } cases[] = {
        {std::to_string(uid_), true, uid_},
        {std::to_string(uid_) + ":7", true, uid_},
        {"-1", true, 0},
        {"12abc", false, 0},
        {"4294967295", false, 0},
        {"18446744073709551616", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        fcltest::removeTree(source());
        InPlaceChoice choice;
        choice.settings =
            "[GlobalParams]\nEnforceUnixUserPermissionsOnRestore = 1\n[RestoreTask]\n1d4ca = " + c.id + "\n";
        const InPlaceRun run = restoreInPlace(choice);
        EXPECT_EQ(run.identityAfter, run.identityBefore);
        if (!c.restored) {
            EXPECT_FALSE(run.succeeded);
            EXPECT_EQ(run.restored, 0u);
            struct stat st;
            EXPECT_NE(lstat(source().c_str(), &st), 0);
            continue;
        }
        EXPECT_TRUE(run.succeeded) << run.reason;
        EXPECT_EQ(run.failed, 0u);
        EXPECT_EQ(notOwnedBy(source(), c.owner), "");
    }
}

// A password that is not the user's refuses the job before anything is restored, as root still.
TEST_F(AsUser, AWrongPasswordRestoresNothing) {
    build({file("mine", 10).owner(uid_, gid_)});
    pack();
    ASSERT_EQ(std::rename(source().c_str(), beside("original").c_str()), 0);
    InPlaceChoice choice;
    choice.settings = std::string("[RestoreTask]\n3dc4af91 = 1\n4322b07d = ") + kUser +
                      "\n646e91de = " + WZPassword::encrypt("not the password") + "\n[UserPasswords]\n" + kUser +
                      " = " + WZPassword::encrypt(kPassword) + "\n";
    const InPlaceRun run = restoreInPlace(choice);
    EXPECT_FALSE(run.succeeded);
    EXPECT_EQ(run.restored, 0u);
    EXPECT_EQ(run.identityAfter, run.identityBefore);
    struct stat st;
    EXPECT_NE(lstat(source().c_str(), &st), 0);
    EXPECT_EQ(fileText(results() + "/fclrestore.log").find("not the password"), std::string::npos);
}

}  // namespace
}  // namespace e2e
