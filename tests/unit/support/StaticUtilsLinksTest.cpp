// The static file utilities never act through a symbolic link in the final component, and reach every other component
// through the file-call layer, so the destination gate holds for them.
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

#include "tests/unit/support/StaticUtilsFixture.h"

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
//   dirlink -> <scratch>/outside/dir           innerlink -> inside
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

TEST_F(StaticUtilsLinksTest, ADirectoryPathEndingInALinkIsNotADirectory) {
    for (const char* path : {"dirlink", "dirlink/", "innerlink"}) {
        SCOPED_TRACE(path);
        std::vector<char> text = mutableText(dest_ + "/" + path);
        errno = 0;
        EXPECT_EQ(StaticUtils::createDirsIteratively(text.data()), 0);
        EXPECT_EQ(errno, ELOOP);
        EXPECT_EQ(std::string(text.data()), dest_ + "/" + path);
    }
    EXPECT_TRUE(isLink(dest_ + "/dirlink"));
    expectOutsideUntouched();
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

TEST_F(StaticUtilsLinksTest, AnExistingFifoFailsTheOpenInsteadOfHoldingTheThread) {
    const std::string fifo = dest_ + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int fd = -1;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(StaticUtils::openRestoreFile(fifo.c_str(), &fd), 0);
    EXPECT_EQ(errno, ENXIO);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_LT(fd, 0);
}

TEST_F(StaticUtilsLinksTest, AnOpenedFileBlocksAsUsual) {
    int fd = -1;
    ASSERT_EQ(StaticUtils::openRestoreFile((dest_ + "/plain").c_str(), &fd), 1);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    ::close(fd);
}

}  // namespace
}  // namespace statictest
