// Whole reads and writes: a short file gives its count, a full device its errno, a pipe's short pieces are joined.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/files/WholeIo.h"

namespace {

TEST(WholeIo, APipeFedInPiecesIsReadWholeAndAnEndGivesTheCount) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::thread writer([&] {
        for (const char* piece : {"ab", "cde", "f"}) {
            EXPECT_EQ(wzfiles::writeFully(ends[1], piece, std::char_traits<char>::length(piece)),
                      std::char_traits<char>::length(piece));
            usleep(2000);
        }
        close(ends[1]);
    });
    char buffer[16] = {};
    EXPECT_EQ(wzfiles::readFully(ends[0], buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_EQ(wzfiles::readFully(ends[0], buffer, sizeof buffer), 2) << "the end cuts the read short";
    writer.join();
    close(ends[0]);
}

TEST(WholeIo, FailuresKeepTheirErrno) {
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    errno = 0;
    EXPECT_EQ(wzfiles::writeFully(full, "x", 1), 0u);
    EXPECT_EQ(errno, ENOSPC);
    close(full);
    char byte;
    EXPECT_EQ(wzfiles::readFully(-1, &byte, 1), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(wzfiles::preadFully(-1, &byte, 1, 0), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST(WholeIo, AReadAtAnOffsetLeavesThePositionAlone) {
    char path[] = "/tmp/wholeio.XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    unlink(path);
    ASSERT_EQ(wzfiles::writeFully(fd, "0123456789", 10), 10u);
    ASSERT_EQ(lseek(fd, 2, SEEK_SET), 2);
    char buffer[8] = {};
    EXPECT_EQ(wzfiles::preadFully(fd, buffer, sizeof buffer, 6), 4);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 2);
    close(fd);
}

}  // namespace
