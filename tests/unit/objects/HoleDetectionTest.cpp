// Zero runs inside data buffers, with hole detection on: a run becomes a hole only when it starts a step and is at
// least the smallest hole size; every written step is at least the smallest write size unless less remains; an item
// whose header says so is written flat. The steps show in the level-3 log lines; the bytes in the file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/log/LogWriter.h"
#include "tests/unit/objects/ObjectFixture.h"

namespace {

using fcltest::nonZeroData;

class HoleDetection : public fcltest::ObjectFixture {
protected:
    HoleDetection() {
        FsRestoreUnixObject::createHoles(1);
        FsRestoreUnixObject::setMinHoleSize(1024);
    }

    // The steps the writer took, in order: "w<count>" for a written step, "h<count>" for a hole.
    std::vector<std::string> steps() const {
        std::vector<std::string> out;
        for (const auto& line : capture_->lines()) {
            if (line.text.compare(0, 7, "write1 ") == 0 && line.text.find(" data data_size[") != std::string::npos) {
                out.push_back("w" + std::to_string(std::atol(line.text.c_str() + 7)));
            } else if (line.text.compare(0, 18, "creating hole of [") == 0) {
                out.push_back("h" + std::to_string(std::atol(line.text.c_str() + 18)));
            }
        }
        return out;
    }

    // Writes `buffer` (placed at an 8-byte boundary) as one data buffer of a new file; the file's bytes come back.
    std::string writeOne(const std::string& buffer, uint64_t flags = 0) {
        auto file = openedFile("holes", buffer.size());
        file->_flags = flags;
        std::unique_ptr<uint64_t[]> aligned(new uint64_t[buffer.size() / 8 + 1]);
        char* at = reinterpret_cast<char*>(aligned.get());
        buffer.copy(at, buffer.size());
        EXPECT_EQ(file->writeData(at, static_cast<int>(buffer.size())), 1);
        EXPECT_EQ(factory_->getErrCode(), 0u);
        EXPECT_EQ(position(*file), static_cast<off_t>(buffer.size()));
        pending_ = file->_holePending;
        EXPECT_EQ(ftruncate(file->_handle, static_cast<off_t>(buffer.size())), 0);
        return fcltest::readFile(file->_filename);
    }

    wzlog::ScopedCapture capture_;
    int pending_ = -1;
};

std::string zeros(size_t n) {
    return std::string(n, '\0');
}

struct StepCase {
    const char* name;
    std::string buffer;
    uint64_t flags;
    std::vector<std::string> steps;
    int pending;
};

TEST_F(HoleDetection, ZeroRunsBecomeHolesOnlyWhereTheRulesSay) {
    const StepCase cases[] = {
        {"all zeros: one seek", zeros(4096), 0, {"h4096"}, 1},
        {"short data takes its zeros along to the smallest write",
         nonZeroData(100) + zeros(3996),
         0,
         {"w1024", "h3072"},
         1},
        {"a buffer shorter than the smallest hole is written whole", zeros(1000), 0, {"w1000"}, 0},
        {"a short zero run at the start of a step is written", zeros(500) + nonZeroData(3596), 0, {"w4096"}, 0},
        {"zeros inside a written step stay written",
         nonZeroData(1500) + zeros(600) + nonZeroData(2000),
         0,
         {"w1504", "w2592", "w4"},
         0},
        {"data after a hole", zeros(2048) + nonZeroData(2048), 0, {"h2048", "w2048"}, 0},
        {"flat item: one write per buffer", zeros(4096), 0x8000000000000000ULL, {"w4096"}, 0},
    };
    for (const StepCase& c : cases) {
        SCOPED_TRACE(c.name);
        capture_->clear();
        EXPECT_EQ(writeOne(c.buffer, c.flags), c.buffer);
        EXPECT_EQ(steps(), c.steps);
        EXPECT_EQ(pending_, c.pending);
    }
}

// Many written steps between holes go out together; the file holds the buffer exactly, holes where they were made.
TEST_F(HoleDetection, MixedBufferLandsExactly) {
    std::string buffer;
    for (int i = 0; i < 16; ++i) {
        buffer += nonZeroData(100 + i * 37, static_cast<unsigned>(i)) + zeros(i % 2 == 0 ? 200 : 70000);
    }
    EXPECT_EQ(writeOne(buffer), buffer);
    const std::vector<std::string> taken = steps();
    EXPECT_EQ(std::count_if(taken.begin(), taken.end(), [](const std::string& s) { return s[0] == 'h'; }), 8);
    // Each long zero run is a hole in the file: eight islands of data remain.
    EXPECT_EQ(fcltest::dataExtents(scratch_ / "holes").size(), 8u);
}

TEST_F(HoleDetection, SmallestWriteComesFromTheSettingOncePerJob) {
    const struct {
        const char* setting;
        const char* firstStep;
    } cases[] = {{"8192", "w8192"}, {"512", "w1024"}, {nullptr, "w1024"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting != nullptr ? c.setting : "absent");
        resetProcessRestoreState();
        FsRestoreUnixObject::createHoles(1);
        FsRestoreUnixObject::setMinHoleSize(1024);
        writeSettings(c.setting != nullptr ? std::string("[Vornak]\nnBlockSize = ") + c.setting + "\n" : "");
        capture_->clear();
        const std::string buffer = nonZeroData(10) + zeros(16384);
        EXPECT_EQ(writeOne(buffer), buffer);
        ASSERT_FALSE(steps().empty());
        EXPECT_EQ(steps().front(), c.firstStep);
        EXPECT_EQ(capture_->count("Will create hole if found in PL_DATA of size >= 1024 bytes"), 1u);
        // Read once: a change within the job is not seen, nor said again.
        writeSettings("[Vornak]\nnBlockSize = 2048\n");
        capture_->clear();
        EXPECT_EQ(writeOne(buffer), buffer);
        EXPECT_EQ(steps().front(), c.firstStep);
        EXPECT_EQ(capture_->count("Will create hole if found"), 0u);
    }
}

// A smallest hole size of 0 or less (a job that gives no threshold) still ends: every zero run is a hole.
TEST_F(HoleDetection, NoSmallestHoleSizeStillEnds) {
    for (int size : {0, -1}) {
        FsRestoreUnixObject::setMinHoleSize(size);
        const std::string buffer = nonZeroData(10) + zeros(4086);
        EXPECT_EQ(writeOne(buffer), buffer) << size;
    }
}

// Without hole detection a buffer is one write, zeros and all.
TEST_F(HoleDetection, OffWritesEverything) {
    FsRestoreUnixObject::createHoles(0);
    const std::string buffer = zeros(8192);
    EXPECT_EQ(writeOne(buffer), buffer);
    EXPECT_EQ(pending_, 0);
    EXPECT_EQ(fcltest::dataExtents(scratch_ / "holes").size(), 1u);
}

}  // namespace
