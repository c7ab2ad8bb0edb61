// The static file utilities: opening a restored file with its missing parents, creating directory paths, opening an
// extent staging file, and the access test of a destination.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "clRestore/objects/FsRestoreUnixObject.h"
#include "clRestore/objects/RestoreUserGlobals.h"
#include "tests/unit/objects/StaticUtilsFixture.h"

namespace statictest {
namespace {

bool isDirectory(const std::string& path) {
    return S_ISDIR(modeOf(path));
}

void writeAll(int fd, const std::string& text) {
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

class StaticUtilsTest : public StaticUtilsFixture {
protected:
    StaticUtilsTest() : StaticUtilsFixture("fclstatic") {}

    std::string at(const std::string& name) const { return scratch_ / name; }

    // 1 or 0 from openRestoreFile; a descriptor it gives is written with `text` and closed.
    int openAndWrite(const std::string& path, const std::string& text) {
        int fd = 12345;
        const int ok = StaticUtils::openRestoreFile(path.c_str(), &fd);
        if (ok == 1) {
            EXPECT_GE(fd, 0);
            // New, rewritten or replaced, the file is handed over for blocking writes.
            EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
            writeAll(fd, text);
            ::close(fd);
        } else {
            EXPECT_LT(fd, 0);
        }
        return ok;
    }

    int createDirs(const std::string& path) {
        std::vector<char> text = mutableText(path);
        const int ok = StaticUtils::createDirsIteratively(text.data());
        EXPECT_EQ(std::string(text.data()), path) << "the caller's text must be whole again";
        return ok;
    }
};

TEST_F(StaticUtilsTest, OpenCreatesMissingParentsWithMode0700) {
    ASSERT_EQ(::mkdir(at("d").c_str(), 0755), 0);
    ASSERT_EQ(openAndWrite(at("d/a/b/f"), "data"), 1);
    EXPECT_EQ(fcltest::readFile(at("d/a/b/f")), "data");
    EXPECT_EQ(modeOf(at("d/a")) & 07777, 0700u);
    EXPECT_EQ(modeOf(at("d/a/b")) & 07777, 0700u);
    EXPECT_EQ(modeOf(at("d/a/b/f")) & 07777, 0600u);
    EXPECT_TRUE(g_dirMap.empty()) << "directories are remembered only while owners are preserved";
}

TEST_F(StaticUtilsTest, DirectoriesMadeAreRememberedWhenOwnersArePreserved) {
    g_preserveOwnership = true;
    g_dirMap[at("d")] = false;  // an entry already there keeps its value
    ASSERT_EQ(::mkdir(at("d").c_str(), 0755), 0);
    ASSERT_EQ(openAndWrite(at("d/a/b/f"), "x"), 1);
    EXPECT_EQ(g_dirMap.size(), 3u);
    EXPECT_TRUE(g_dirMap.at(at("d/a")));
    EXPECT_TRUE(g_dirMap.at(at("d/a/b")));
    EXPECT_FALSE(g_dirMap.at(at("d")));
}

TEST_F(StaticUtilsTest, NewDirectoriesBelongToTheRestoreUser) {
    if (!fcltest::isRoot()) {
        GTEST_SKIP() << "giving a directory to another user needs root";
    }
    const std::string savedName = uName;
    const struct passwd savedPwd = uPwd;
    uName = "restoreuser";
    uPwd.pw_uid = 4321;
    uPwd.pw_gid = 4322;
    ASSERT_EQ(createDirs(at("u/v")), 1);
    uName = savedName;
    uPwd = savedPwd;
    struct stat st;
    ASSERT_EQ(::stat(at("u/v").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
    ASSERT_EQ(::stat(scratch_.path().c_str(), &st), 0);
    EXPECT_NE(st.st_uid, 4321u) << "an existing ancestor keeps its owner";
}

TEST_F(StaticUtilsTest, OpenFailsWhenTheParentCannotBeMade) {
    fcltest::writeFile(at("plain"), "a file in the way");
    errno = 0;
    EXPECT_EQ(openAndWrite(at("plain/sub/f"), "x"), 0);
    EXPECT_EQ(fcltest::readFile(at("plain")), "a file in the way");

    wzfiles::failNextCalls(wzfiles::FileCall::kMkdir, EACCES, 10);
    EXPECT_EQ(openAndWrite(at("nodir/f"), "x"), 0);
    EXPECT_FALSE(exists(at("nodir")));
}

TEST_F(StaticUtilsTest, OpenTruncatesAnExistingFile) {
    fcltest::writeFile(at("f"), "a longer old content");
    ASSERT_EQ(openAndWrite(at("f"), "new"), 1);
    EXPECT_EQ(fcltest::readFile(at("f")), "new");
}

// A file with a further name is never written through, whatever the remove-before-open setting: the other name
// (which may lie outside the destination) keeps its contents, and the item gets a file of its own.
TEST_F(StaticUtilsTest, AHardLinkElsewhereKeepsItsContents) {
    struct Case {
        const char* settings;
        int unlinkFlag;
    };
    const Case cases[] = {
        {"[FileSystemAgent]\nnRemoveBeforeOpen = 1\n", 1},
        {"[FileSystemAgent]\nnRemoveBeforeOpen = 0\n", -1},
        {"", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        unlinkFlag = 0;
        fcltest::writeFile(at("settings.ini"), c.settings);
        ::unlink(at("other").c_str());
        fcltest::writeFile(at("f"), "old");
        ASSERT_EQ(::link(at("f").c_str(), at("other").c_str()), 0);
        ASSERT_EQ(openAndWrite(at("f"), "new"), 1);
        EXPECT_EQ(fcltest::readFile(at("f")), "new");
        EXPECT_EQ(fcltest::readFile(at("other")), "old");
        EXPECT_EQ(unlinkFlag, c.unlinkFlag);
    }
}

// An existing file of the item's own is opened in place and truncated only once it is known to be that file.
TEST_F(StaticUtilsTest, ASingleFileIsTruncatedInPlace) {
    fcltest::writeFile(at("settings.ini"), "");
    unlinkFlag = 0;
    fcltest::writeFile(at("f"), "older and longer");
    struct stat before;
    ASSERT_EQ(::stat(at("f").c_str(), &before), 0);
    ASSERT_EQ(openAndWrite(at("f"), "new"), 1);
    struct stat after;
    ASSERT_EQ(::stat(at("f").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(fcltest::readFile(at("f")), "new");
}

TEST_F(StaticUtilsTest, TheSettingIsReadOncePerProcess) {
    fcltest::writeFile(at("settings.ini"), "[FileSystemAgent]\nnRemoveBeforeOpen = 1\n");
    ASSERT_EQ(openAndWrite(at("f"), "1"), 1);
    EXPECT_EQ(unlinkFlag, 1);
    fcltest::writeFile(at("settings.ini"), "");
    ASSERT_EQ(openAndWrite(at("g"), "2"), 1);
    EXPECT_EQ(unlinkFlag, 1);
}

TEST_F(StaticUtilsTest, CreateDirsIterativelyAnswersForEachShapeOfPath) {
    ASSERT_EQ(::mkdir(at("d").c_str(), 0755), 0);
    fcltest::writeFile(at("d/file"), "x");
    struct Case {
        std::string path;
        int result;
        const char* made;  // a directory that exists afterwards, or ""
    };
    const Case cases[] = {
        {at("d"), 1, ""},
        {at("d/"), 1, ""},
        {at("d/new/deeper"), 1, "d/new/deeper"},
        {at("d/trailing/"), 1, "d/trailing"},
        {at("d//double//slash"), 1, "d/double/slash"},
        {at("d/file"), 0, ""},
        {at("d/file/below"), 0, ""},
        {"", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        g_preserveOwnership = true;
        g_dirMap.clear();
        EXPECT_EQ(createDirs(c.path), c.result);
        if (*c.made != '\0') {
            EXPECT_TRUE(isDirectory(at(c.made)));
        } else {
            EXPECT_TRUE(g_dirMap.empty()) << "nothing was made, nothing is registered";
        }
    }
    EXPECT_EQ(StaticUtils::createDirsIteratively(nullptr), 0);
    std::vector<char> text = mutableText(at("d/via"));
    EXPECT_EQ(StaticUtils::openRestoreDirectory(text.data()), 1);
    EXPECT_TRUE(isDirectory(at("d/via")));
}

TEST_F(StaticUtilsTest, ImageFileKeepsItsContentAndGetsItsParents) {
    fcltest::writeFile(at("extent"), "0123456789");
    std::vector<char> path = mutableText(at("extent"));
    int fd = -1;
    ASSERT_EQ(StaticUtils::openImageRestoreFile(path.data(), &fd, false), 1);
    ASSERT_EQ(::pwrite(fd, "ab", 2, 4), 2);
    ::close(fd);
    EXPECT_EQ(fcltest::readFile(at("extent")), "0123ab6789");

    std::vector<char> deep = mutableText(at("stage/1/Extent7"));
    ASSERT_EQ(StaticUtils::openImageRestoreFile(deep.data(), &fd, true), 1);
    EXPECT_NE(::fcntl(fd, F_GETFL) & O_DSYNC, 0);
    ::close(fd);
    EXPECT_EQ(modeOf(at("stage/1")) & 07777, 0700u);
    EXPECT_EQ(modeOf(at("stage/1/Extent7")) & 07777, 0600u);
}

// isAccessDenied in a child that, when the process is root, gives up root first: access answers for the real ids.
bool deniedAsOrdinaryUser(const std::string& path) {
    pid_t pid = fork();
    if (pid == 0) {
        if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(3);
        }
        std::vector<char> text = mutableText(path);
        _exit(StaticUtils::isAccessDenied(text.data()) ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 3);
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

TEST_F(StaticUtilsTest, AccessIsTestedOnTheNearestExistingAncestor) {
    ASSERT_EQ(::mkdir(at("open").c_str(), 0777), 0);
    ASSERT_EQ(::chmod(at("open").c_str(), 0777), 0);
    ASSERT_EQ(::mkdir(at("closed").c_str(), 0555), 0);
    ASSERT_EQ(::chmod(scratch_.path().c_str(), 0755), 0);
    EXPECT_FALSE(deniedAsOrdinaryUser(at("open/new/deeper/")));
    EXPECT_TRUE(deniedAsOrdinaryUser(at("closed/new/deeper/")));
    EXPECT_TRUE(deniedAsOrdinaryUser(at("closed")));

    std::vector<char> missing = mutableText("no-such-name");
    EXPECT_TRUE(StaticUtils::isAccessDenied(missing.data()));
    std::vector<char> empty = mutableText("");
    EXPECT_TRUE(StaticUtils::isAccessDenied(empty.data()));
}

TEST(PathLustre, FormatsTheOpenByIdentifierPath) {
    const lu_fid fid = {0x200000400ULL, 1, 0};
    char buf[128];
    const std::string expected = "/mnt/lustre/.lustre/fid/0x200000400:0x1:0x0";
    EXPECT_EQ(path_lustre(buf, sizeof buf, "/mnt/lustre", &fid), static_cast<int>(expected.size()));
    EXPECT_EQ(std::string(buf), expected);
    char small[10];
    EXPECT_EQ(path_lustre(small, sizeof small, "/mnt/lustre", &fid), static_cast<int>(expected.size()));
    EXPECT_EQ(std::string(small), expected.substr(0, sizeof small - 1));
    EXPECT_EQ(path_lustre(buf, sizeof buf, nullptr, &fid), -1);
}

}  // namespace
}  // namespace statictest
