// Sources on other operating systems: which platform ids are Windows or Novell, the matching mode and the sort of
// the job's source paths that follow the items' platforms, and the job's paths rewritten in Unix form, all or none.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "clRestore/support/ClExceptError.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/log/LogWriter.h"
#include "protocol/FsrMessages.h"
#include "tests/unit/factory/JobFactoryFixture.h"

namespace {

const int kWindowsIds[] = {2,  3,  21, 24, 27, 34,  35,  39,  46,  48,  62,  63, 64,
                           65, 66, 67, 93, 94, 200, 208, 209, 210, 211, 212, 213};
const int kNovellIds[] = {8, 9, 10, 11, 12, 13, 31, 32, 41, 99};

bool contains(const int* begin, const int* end, int id) {
    return std::find(begin, end, id) != end;
}

class CrossPlatform : public fcltest::JobFactoryFixture {};

TEST_F(CrossPlatform, PlatformIdsAreClassifiedByTheirLists) {
    auto factory = make(0, "", false);
    for (int id = -2; id <= 260; ++id) {
        const bool windows = contains(std::begin(kWindowsIds), std::end(kWindowsIds), id);
        const bool novell = contains(std::begin(kNovellIds), std::end(kNovellIds), id);
        EXPECT_EQ(factory->isWindowsCrossRestore(id), windows) << id;
        EXPECT_EQ(factory->caseSensitivePaths(), !windows) << id;
        EXPECT_EQ(factory->isNovellCrossRestore(id), novell) << id;
    }
    // The edges the lists are easy to get wrong at.
    EXPECT_TRUE(factory->isNovellCrossRestore(99));
    EXPECT_TRUE(factory->isNovellCrossRestore(41));
    EXPECT_FALSE(factory->isNovellCrossRestore(14));
    EXPECT_FALSE(factory->isNovellCrossRestore(30));
    EXPECT_TRUE(factory->isWindowsCrossRestore(200));
    EXPECT_TRUE(factory->isWindowsCrossRestore(213));
    EXPECT_FALSE(factory->isWindowsCrossRestore(201));
}

// A job whose sorts are counted, as the engine's sorts set and clear its case-sensitive flag.
class CountingJob : public FclRestore {
public:
    void sortPathnames(FSRSrcPath*) override {
        ++caseSensitiveSorts;
        _caseSensitive = true;
    }
    void sortPathnamesCase(FSRSrcPath*) override {
        ++caseInsensitiveSorts;
        _caseSensitive = false;
    }
    int caseSensitiveSorts = 0;
    int caseInsensitiveSorts = 0;
};

class CrossPlatformJob : public CrossPlatform {
protected:
    std::unique_ptr<fcltest::FactoryView> makeWithCountingJob(unsigned long options = 0) {
        std::string dest;
        return std::unique_ptr<fcltest::FactoryView>(new fcltest::FactoryView(
            nullptr, sources_.data(), static_cast<int>(sources_.size()), &dest[0], options, &countingJob_));
    }
    CountingJob countingJob_;
};

TEST_F(CrossPlatformJob, SourcesAreResortedAtEveryChangeOfPlatformKind) {
    addSource("C:\\Data\\x", 0);
    addSource("/unix/y", 0);
    auto factory = makeWithCountingJob();
    const int sequence[] = {2, 2, 25, 25, 200, 8};
    const int sensitive[] = {0, 0, 1, 1, 1, 2};
    const int insensitive[] = {1, 1, 1, 1, 2, 2};
    for (size_t i = 0; i < sizeof(sequence) / sizeof(sequence[0]); ++i) {
        factory->isWindowsCrossRestore(sequence[i]);
        EXPECT_EQ(countingJob_.caseSensitiveSorts, sensitive[i]) << i;
        EXPECT_EQ(countingJob_.caseInsensitiveSorts, insensitive[i]) << i;
    }
    EXPECT_STREQ(sources_[0].path, "/C:/Data/x");
    EXPECT_STREQ(sources_[1].path, "/unix/y");
}

TEST_F(CrossPlatformJob, AutoScaleIndexRestoreIsNotResortedForUnixItems) {
    addSource("/unix/y", 0);
    countingJob_.getUnixCompanion()->_autoScaleIndexRestore = true;
    auto factory = makeWithCountingJob();
    factory->isWindowsCrossRestore(2);
    factory->isWindowsCrossRestore(25);
    EXPECT_EQ(countingJob_.caseInsensitiveSorts, 1);
    EXPECT_EQ(countingJob_.caseSensitiveSorts, 0);
}

// The restore objects ask for every item and cannot take an exception: a path that cannot be converted leaves
// every path as it was.
TEST_F(CrossPlatformJob, PathThatCannotBeConvertedLeavesAllPathsAsTheyWere) {
    addSource("D:\\first", 0);
    addSource(std::string(1024, 'w'), 0);
    auto factory = makeWithCountingJob(FSR_OPT_NDMP);  // no job that checks its paths first would get this far
    wzlog::ScopedCapture capture;
    EXPECT_TRUE(factory->isWindowsCrossRestore(2));
    EXPECT_STREQ(sources_[0].path, "D:\\first");
    EXPECT_EQ(std::string(sources_[1].path), std::string(1024, 'w'));
    EXPECT_TRUE(capture->contains("path too long at 1024 bytes"));
    try {
        factory->convertWindowsSourcePaths();
        ADD_FAILURE() << "converted a path over the limit";
    } catch (const ClExceptError& error) {
        EXPECT_EQ(static_cast<unsigned long>(error.getErrCode()), fclitem::kPathTooLong);
    }
    EXPECT_STREQ(sources_[0].path, "D:\\first");
}

TEST_F(CrossPlatform, SourcePathsWithoutTextAreLeftAlone) {
    addSource("E:\\x", 0);
    addMissingSource();
    auto factory = make(0, "", false);
    factory->convertWindowsSourcePaths();
    EXPECT_STREQ(sources_[0].path, "/E:/x");
    EXPECT_EQ(sources_[1].path, nullptr);
}

// The job's paths are checked when the factory is built: one that cannot be converted fails the job.
TEST_F(CrossPlatform, ConstructionFailsOnASourcePathOverTheLimit) {
    const struct {
        std::string path;
        bool fails;
    } cases[] = {
        {std::string(1023, 'a'), false},
        {"\\" + std::string(1023, 'b'), false},
        {std::string(1024, 'a'), true},
        {"/" + std::string(1024, 'c'), true},
    };
    for (const auto& c : cases) {
        for (FSRSrcPath& record : sources_) {
            delete[] record.path;
        }
        sources_.clear();
        addSource(c.path, 0);
        try {
            make(0, scratch_ / "dest", false);
            EXPECT_FALSE(c.fails) << c.path.size();
        } catch (const ClExceptError& error) {
            EXPECT_TRUE(c.fails) << c.path.size();
            EXPECT_EQ(static_cast<unsigned long>(error.getErrCode()), fclitem::kPathTooLong);
        }
    }
}

}  // namespace
