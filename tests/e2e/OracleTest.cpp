// The oracles must see every kind of difference a restore can make, or a passing end-to-end test means nothing:
// an exact copy of a tree compares equal, and each single change to it is reported, naming the item.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <functional>

#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

const TreeLayout kTree = {
    file("empty", 0),
    file("page", 4096),
    file("big", 3 * kMiB + 17),
    sparse("sparse", 2 * kMiB, {{0, 256 * kKiB}, {kMiB, 256 * kKiB}}),
    file("setuid", 10).mode(04755),
    file("with xattr", 5).xattr("user.colour", "blue"),
    dir("sticky").mode(01777),
    file("sticky/inner", 1),
    symlink("link", "page"),
    hardlink("second name", "page"),
    fifo("pipe"),
};

class Oracle : public EndToEnd {
protected:
    void copyTree() {
        fcltest::removeTree(dest());
        std::string parent = restored().substr(0, restored().rfind('/'));
        ASSERT_EQ(fcltest::runProgram({"mkdir", "-p", parent}).status, 0);
        fcltest::ProgramRun cp = fcltest::runProgram({"cp", "-a", "--sparse=always", source(), restored()});
        ASSERT_EQ(cp.status, 0) << cp.describe();
    }
};

TEST_F(Oracle, AnExactCopyIsEqual) {
    build(kTree);
    copyTree();
    EXPECT_EQ(differences(), "");
}

struct Change {
    const char* what;
    const char* names;  // the item the report must name
    std::function<void(const std::string& copy)> make;
};

void rewrite(const std::string& path, off_t at, const char* bytes, size_t n) {
    int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(pwrite(fd, bytes, n, at), static_cast<ssize_t>(n));
    close(fd);
}

TEST_F(Oracle, EachChangeOfTheCopyIsReported) {
    build(kTree);
    const std::vector<Change> changes = {
        {"one byte", "big", [](const std::string& c) { rewrite(c + "/big", 2 * kMiB, "x", 1); }},
        {"shorter", "big", [](const std::string& c) { ASSERT_EQ(truncate((c + "/big").c_str(), kMiB), 0); }},
        {"a hole filled with zeros", "sparse",
         [](const std::string& c) {
             std::string zeros(4096, '\0');
             rewrite(c + "/sparse", 0, zeros.data(), zeros.size());
         }},
        {"set-id bit lost", "setuid", [](const std::string& c) { ASSERT_EQ(chmod((c + "/setuid").c_str(), 0755), 0); }},
        {"sticky bit lost", "sticky", [](const std::string& c) { ASSERT_EQ(chmod((c + "/sticky").c_str(), 0777), 0); }},
        {"time", "page",
         [](const std::string& c) {
             const timespec times[2] = {{1, 0}, {1, 0}};
             ASSERT_EQ(utimensat(AT_FDCWD, (c + "/page").c_str(), times, 0), 0);
         }},
        {"link text", "link",
         [](const std::string& c) {
             ASSERT_EQ(unlink((c + "/link").c_str()), 0);
             ASSERT_EQ(::symlink("big", (c + "/link").c_str()), 0);
         }},
        {"xattr value", "with xattr",
         [](const std::string& c) { ASSERT_EQ(setxattr((c + "/with xattr").c_str(), "user.colour", "red", 3, 0), 0); }},
        {"hard link split", "second name",
         [](const std::string& c) {
             ASSERT_EQ(unlink((c + "/second name").c_str()), 0);
             ASSERT_EQ(fcltest::runProgram({"cp", "-p", c + "/page", c + "/second name"}).status, 0);
         }},
        {"missing item", "sticky/inner",
         [](const std::string& c) { ASSERT_EQ(unlink((c + "/sticky/inner").c_str()), 0); }},
        {"extra item", "left-over", [](const std::string& c) { fcltest::writeFile(c + "/left-over", "x"); }},
        {"fifo made a file", "pipe",
         [](const std::string& c) {
             ASSERT_EQ(unlink((c + "/pipe").c_str()), 0);
             fcltest::writeFile(c + "/pipe", "");
         }},
    };
    for (const Change& change : changes) {
        copyTree();
        change.make(restored());
        if (HasFatalFailure()) {
            return;
        }
        std::string seen = differences();
        EXPECT_NE(seen.find(change.names), std::string::npos) << change.what << ":\n" << seen;
    }
}

TEST_F(Oracle, AnOwnerChangeIsReported) {
    if (!fcltest::isRoot()) {
        GTEST_SKIP() << "changing an owner needs root";
    }
    build({file("owned", 3).owner(1234, 5678), symlink("owned link", "owned").owner(4321, 8765)});
    for (const char* name : {"owned", "owned link"}) {
        copyTree();
        ASSERT_EQ(lchown((restored() + "/" + name).c_str(), 1, 1), 0);
        EXPECT_NE(differences().find(name), std::string::npos) << name;
    }
}

TEST_F(Oracle, HolesWrittenAsZerosAreWhatNoSparseAsksFor) {
    build({sparse("sparse", kMiB, {{0, 64 * kKiB}, {512 * kKiB, 512 * kKiB}}), file("dense", 3)});
    copyTree();
    EXPECT_NE(differences(Holes::Written).find("sparse: data runs"), std::string::npos);
    ASSERT_EQ(fcltest::runProgram({"cp", "--sparse=never", source("sparse"), restored("sparse")}).status, 0);
    ASSERT_EQ(fcltest::runProgram({"touch", "-r", source("sparse"), restored("sparse")}).status, 0);
    EXPECT_EQ(differences(Holes::Written), "");
    EXPECT_NE(differences(Holes::Kept).find("sparse: data runs"), std::string::npos);
}

}  // namespace
}  // namespace e2e
