// The static file utilities never write a file through a symbolic link in its final component, take a link to a
// directory for the directory it reaches, and reach every component through the file-call layer, so the destination
// gate holds for them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/unit/objects/StaticUtilsFixture.h"

namespace statictest {
namespace {

bool isLink(const std::string& path) {
    return S_ISLNK(modeOf(path));
}

bool isRegular(const std::string& path) {
    return S_ISREG(modeOf(path));
}

// scratch/outside/sentinel ("precious"), scratch/outside/dir/
// scratch/dest/inside/
//   fileabs -> <scratch>/outside/sentinel     filerel -> ../outside/sentinel     dangling -> ../outside/nothing
//   dirlink -> <scratch>/outside/dir           innerlink -> inside      dirclimb -> ../outside/dir
class StaticUtilsLinksTest : public StaticUtilsFixture {
protected:
    StaticUtilsLinksTest() : StaticUtilsFixture("fcllinks") {
        outside_ = scratch_ / "outside";
        dest_ = scratch_ / "dest";
        EXPECT_EQ(::mkdir(outside_.c_str(), 0755), 0);
        EXPECT_EQ(::mkdir((outside_ + "/dir").c_str(), 0755), 0);
        fcltest::writeFile(outside_ + "/sentinel", "precious");
        EXPECT_EQ(::mkdir(dest_.c_str(), 0755), 0);
        EXPECT_EQ(::mkdir((dest_ + "/inside").c_str(), 0755), 0);
        links_ = {
            {"fileabs", outside_ + "/sentinel"},
            {"filerel", "../outside/sentinel"},
            {"dangling", "../outside/nothing"},
            {"dirlink", outside_ + "/dir"},
            {"innerlink", "inside"},
            {"dirclimb", "../outside/dir"},
        };
        for (const auto& link : links_) {
            plant(link.first);
        }
    }
    // (Re)makes the link `name` of the layout.
    void plant(const std::string& name) {
        const std::string path = dest_ + "/" + name;
        ::unlink(path.c_str());
        EXPECT_EQ(::symlink(links_.at(name).c_str(), path.c_str()), 0);
    }
    void expectOutsideUntouched() {
        EXPECT_EQ(fcltest::readFile(outside_ + "/sentinel"), "precious");
        EXPECT_FALSE(exists(outside_ + "/nothing"));
        const int dir = ::open((outside_ + "/dir").c_str(), O_RDONLY | O_DIRECTORY);
        EXPECT_TRUE(fcltest::entryNames(dir).empty());
        ::close(dir);
    }

    std::string outside_;
    std::string dest_;
    std::map<std::string, std::string> links_;
};

// The opens run with the gate on and off: a final link is the utilities' own concern either way.
TEST_F(StaticUtilsLinksTest, AFinalLinkIsReplacedByTheRestoredFileNeverWrittenThrough) {
    for (bool gated : {false, true}) {
        for (const char* name : {"fileabs", "filerel", "dangling", "dirlink"}) {
            for (bool image : {false, true}) {
                SCOPED_TRACE(std::string(name) + (gated ? " gated" : "") + (image ? " image" : ""));
                if (gated) {
                    ASSERT_EQ(wzfiles::setDestinationRoot(dest_), 0);
                }
                const std::string path = dest_ + "/" + name;
                plant(name);
                std::vector<char> text = mutableText(path);
                int fd = -1;
                const int ok = image ? StaticUtils::openImageRestoreFile(text.data(), &fd, false)
                                     : StaticUtils::openRestoreFile(path.c_str(), &fd);
                ASSERT_EQ(ok, 1) << std::strerror(errno);
                ASSERT_EQ(::write(fd, "restored", 8), 8);
                ::close(fd);
                EXPECT_TRUE(isRegular(path));
                EXPECT_EQ(fcltest::readFile(path), "restored");
                expectOutsideUntouched();
                wzfiles::clearDestinationRoot();
            }
        }
    }
}

// In place every link is the user's own layout; out of place only one that stays beneath the root is a way in. A
// link to something other than a directory is no directory either way.
TEST_F(StaticUtilsLinksTest, ADirectoryReachedThroughALinkIsADirectory) {
    const struct {
        const char* path;
        bool gated;
        int made;
        const char* creates;  // the directory made, under the scratch directory
    } cases[] = {
        {"dirlink", false, 1, nullptr},
        {"dirlink/", false, 1, nullptr},
        {"dirclimb", false, 1, nullptr},
        {"dirlink/new", false, 1, "outside/dir/new"},
        {"innerlink", true, 1, nullptr},
        {"innerlink/", true, 1, nullptr},
        {"innerlink/new", true, 1, "dest/inside/new"},
        {"dirlink", true, 0, nullptr},
        {"dirlink/new", true, 0, nullptr},
        {"dirclimb", true, 0, nullptr},
        {"dirclimb/new/deeper", true, 0, nullptr},
        {"fileabs", false, 0, nullptr},
        {"filerel", true, 0, nullptr},
        {"dangling", false, 0, nullptr},
        {"dangling", true, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + (c.gated ? " gated" : ""));
        if (c.gated) {
            ASSERT_EQ(wzfiles::setDestinationRoot(dest_), 0);
        }
        std::vector<char> text = mutableText(dest_ + "/" + c.path);
        EXPECT_EQ(StaticUtils::createDirsIteratively(text.data()), c.made) << std::strerror(errno);
        EXPECT_EQ(std::string(text.data()), dest_ + "/" + c.path);
        if (c.creates != nullptr) {
            EXPECT_TRUE(S_ISDIR(modeOf(scratch_ / c.creates)));
            EXPECT_EQ(::rmdir((scratch_ / c.creates).c_str()), 0);
        }
        wzfiles::clearDestinationRoot();
        expectOutsideUntouched();
    }
    for (const auto& link : links_) {
        EXPECT_TRUE(isLink(dest_ + "/" + link.first)) << link.first;
    }
}

TEST_F(StaticUtilsLinksTest, TheGateHoldsForEveryOtherComponent) {
    ASSERT_EQ(wzfiles::setDestinationRoot(dest_), 0);
    std::vector<char> out = mutableText(dest_ + "/dirlink/sub/deeper");
    EXPECT_EQ(StaticUtils::createDirsIteratively(out.data()), 0);
    int fd = -1;
    EXPECT_EQ(StaticUtils::openRestoreFile((dest_ + "/dirlink/sub/f").c_str(), &fd), 0);
    EXPECT_LT(fd, 0);
    EXPECT_EQ(StaticUtils::openRestoreFile((dest_ + "/../outside/dir/f").c_str(), &fd), 0);
    expectOutsideUntouched();

    // A link that stays beneath the root is an ordinary way in.
    std::vector<char> in = mutableText(dest_ + "/innerlink/new/deeper");
    EXPECT_EQ(StaticUtils::createDirsIteratively(in.data()), 1);
    EXPECT_TRUE(exists(dest_ + "/inside/new/deeper"));
    ASSERT_EQ(StaticUtils::openRestoreFile((dest_ + "/innerlink/made/f").c_str(), &fd), 1);
    ::close(fd);
    EXPECT_TRUE(isRegular(dest_ + "/inside/made/f"));
}

// A FIFO at the item's name is never written to (that would hand the data to whoever reads it, or hold the thread):
// the overwrite rules put the item there, so the FIFO is replaced by the item's file.
TEST_F(StaticUtilsLinksTest, AnExistingFifoIsReplacedNeverWrittenTo) {
    const std::string fifo = dest_ + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int fd = -1;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(StaticUtils::openRestoreFile(fifo.c_str(), &fd), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    struct stat st;
    ASSERT_EQ(::fstat(fd, &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    ::close(fd);
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
}

TEST_F(StaticUtilsLinksTest, AnOpenedFileBlocksAsUsual) {
    int fd = -1;
    ASSERT_EQ(StaticUtils::openRestoreFile((dest_ + "/plain").c_str(), &fd), 1);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    ::close(fd);
}

}  // namespace
}  // namespace statictest
