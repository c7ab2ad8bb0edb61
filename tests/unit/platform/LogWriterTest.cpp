// The file log writer: buffered lines reach the file at an error, a flush and the writer's end, whole and in order;
// the file is bounded by rotation.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/log/LogWriter.h"
#include "tests/common/TestSupport.h"

namespace {

size_t countOf(const std::string& text, const std::string& needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++n;
    }
    return n;
}

TEST(FileLogWriter, LinesReachTheFileAtAnErrorAFlushAndTheEnd) {
    fcltest::ScratchDir dir("log");
    const std::string path = dir / "job.log";
    {
        wzlog::FileLogWriter writer(path, 5);
        writer.write(1, "f", 1, "first %d", 1);
        writer.write(1, "f", 2, "second");
        writer.write(-1, "f", 3, "an error");
        std::string text = fcltest::readFile(path);
        EXPECT_NE(text.find("first 1"), std::string::npos) << "an error line takes the lines before it along";
        EXPECT_LT(text.find("first 1"), text.find("second"));
        EXPECT_LT(text.find("second"), text.find("an error"));

        writer.write(2, "f", 4, "after the error");
        writer.flush();
        EXPECT_NE(fcltest::readFile(path).find("after the error"), std::string::npos);
        writer.write(2, "f", 5, "at the end");
    }
    const std::string text = fcltest::readFile(path);
    EXPECT_NE(text.find("at the end"), std::string::npos);
    EXPECT_EQ(countOf(text, "\n"), 5u) << "every line whole, once";
}

TEST(FileLogWriter, AFullFileIsRotatedKeepingTheStartAndTheLogStaysBounded) {
    fcltest::ScratchDir dir("log");
    const std::string path = dir / "job.log";
    const uint64_t kMax = 32 << 10;
    {
        wzlog::FileLogWriter writer(path, 5, kMax);
        for (int n = 0; n < 5000; ++n) {
            writer.write(-1, "f", n, "line %05d %s", n, std::string(40, 'x').c_str());
        }
    }
    struct stat current;
    struct stat start;
    struct stat older;
    ASSERT_EQ(stat(path.c_str(), &current), 0);
    ASSERT_EQ(stat((path + ".1").c_str(), &start), 0);
    ASSERT_EQ(stat((path + ".2").c_str(), &older), 0);
    EXPECT_LE(uint64_t(current.st_size), kMax);
    EXPECT_LE(uint64_t(start.st_size), kMax);
    EXPECT_LE(uint64_t(older.st_size), kMax);
    EXPECT_NE(fcltest::readFile(path).find("line 04999"), std::string::npos) << "the newest lines are kept";
    EXPECT_NE(fcltest::readFile(path + ".1").find("f:0 line 00000"), std::string::npos) << "the job's start is kept";
}

}  // namespace
