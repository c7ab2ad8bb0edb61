// The IBM i path rules the host asks the job: IASP library paths, acceptable QSYS.LIB object paths, and leading
// levels cut off a path. A path with a ".." element is never accepted and never cut.
#include <string>

#include "clRestore/engine/FclRestore.h"
#include "tests/unit/options/CompanionFixture.h"

namespace {

struct LibraryPathCase {
    const char* name;
    const char* path;
    bool iasp;  // names the library file system of an auxiliary storage pool
    bool qsys;  // an acceptable object path in QSYS.LIB
};

class LibraryPath : public fcltest::CompanionTest, public ::testing::WithParamInterface<LibraryPathCase> {};

TEST_P(LibraryPath, IsJudgedByItsElements) {
    const LibraryPathCase& c = GetParam();
    FclRestoreUNIX& companion = makeCompanion();
    EXPECT_EQ(companion.isValidIASPPath(c.path), c.iasp) << c.path;
    EXPECT_EQ(companion.isValidQSYSPath(c.path), c.qsys) << c.path;
}

INSTANTIATE_TEST_SUITE_P(
    Table, LibraryPath,
    ::testing::Values(LibraryPathCase{"LibraryFileSystemItself", "/QSYS.LIB", false, true},
                      LibraryPathCase{"PoolLibraryFileSystem", "/IASP1/QSYS.LIB", true, true},
                      LibraryPathCase{"LowerCaseIsNoLibraryPath", "/qsys.lib/A.LIB", false, false},
                      LibraryPathCase{"NotUnderQsys", "/home/user/A.LIB", false, false},
                      LibraryPathCase{"RelativeQsysIsElementZero", "QSYS.LIB/A.LIB", false, false},
                      LibraryPathCase{"Library", "/QSYS.LIB/A.LIB", false, true},
                      LibraryPathCase{"MemberOfAFileInALibrary", "/QSYS.LIB/A.LIB/B.FILE/M.MBR", false, true},
                      LibraryPathCase{"OneLevelBelowAMember", "/QSYS.LIB/A.LIB/B.FILE/M.MBR/D", false, false},
                      LibraryPathCase{"ObjectDirectlyInQsys", "/QSYS.LIB/B.FILE/M.MBR", false, true},
                      LibraryPathCase{"OneLevelBelowADirectObject", "/QSYS.LIB/B.FILE/M.MBR/D", false, false},
                      LibraryPathCase{"TwoLibraryLevelsInAnyCase", "/QSYS.LIB/A.LIB/B.lib", false, false},
                      LibraryPathCase{"QsysInQsys", "/QSYS.LIB/QSYS.LIB", true, false},
                      LibraryPathCase{"PoolInsideQsys", "/QSYS.LIB/IASP/QSYS.LIB", false, false},
                      LibraryPathCase{"PoolQsysInPoolQsys", "/IASP1/QSYS.LIB/QSYS.LIB", true, false},
                      LibraryPathCase{"MemberInAPoolLibrary", "/IASP1/QSYS.LIB/A.LIB/B.FILE/M.MBR", true, true},
                      LibraryPathCase{"OneLevelBelowAPoolMember", "/IASP1/QSYS.LIB/A.LIB/B.FILE/M.MBR/D", true, false},
                      LibraryPathCase{"PoolPathOfAnotherFileSystem", "/IASP1/QOpenSys/x", false, false},
                      // A path that climbs would pass the element counts and point anywhere.
                      LibraryPathCase{"ClimbsOutOfQsys", "/QSYS.LIB/../etc", false, false},
                      LibraryPathCase{"ClimbsOutOfALibrary", "/IASP1/QSYS.LIB/A.LIB/../../x", true, false},
                      LibraryPathCase{"Empty", "", false, false}),
    [](const ::testing::TestParamInfo<LibraryPathCase>& info) { return std::string(info.param.name); });

struct StripCase {
    const char* name;
    const char* path;
    int levels;
    const char* result;
};

class StripLevels : public fcltest::CompanionTest, public ::testing::WithParamInterface<StripCase> {};

TEST_P(StripLevels, KeepsTheElementsAfterTheCount) {
    const StripCase& c = GetParam();
    EXPECT_EQ(makeCompanion().stripPathLevlel(c.path, c.levels), c.result);
}

INSTANTIATE_TEST_SUITE_P(Table, StripLevels,
                         ::testing::Values(StripCase{"NoneOfAnAbsolutePath", "/a/b/c", 0, "a/b/c"},
                                           StripCase{"One", "/a/b/c", 1, "b/c"},
                                           StripCase{"AllButOne", "/a/b/c", 2, "c"}, StripCase{"All", "/a/b/c", 3, ""},
                                           StripCase{"MoreThanThereAre", "/a/b/c", 9, ""},
                                           StripCase{"Negative", "/a/b/c", -1, ""},
                                           StripCase{"RelativePathHasNoEmptyElement", "a/b/c", 1, "c"},
                                           StripCase{"EmptyElementsAreSkipped", "/a//b/c/", 1, "b/c"},
                                           StripCase{"LibraryPath", "/IASP1/QSYS.LIB/A.LIB/B.FILE", 2, "A.LIB/B.FILE"},
                                           StripCase{"ClimbingPathIsNotCut", "/a/../../etc/passwd", 1, ""},
                                           StripCase{"ClimbInTheCutPartIsRefusedToo", "/../a/b", 2, ""}),
                         [](const ::testing::TestParamInfo<StripCase>& info) { return std::string(info.param.name); });

// The host asks through the job, which hands a copy of the path to its companion.
TEST(IbmiPathsThroughTheJob, AnswerAsTheCompanion) {
    FclRestore job;
    EXPECT_TRUE(job.isValidIASPPath("/IASP1/QSYS.LIB"));
    EXPECT_TRUE(job.isValidQSYSPath("/QSYS.LIB/A.LIB/B.FILE/M.MBR"));
    EXPECT_FALSE(job.isValidQSYSPath("/QSYS.LIB/A.LIB/B.FILE/M.MBR/D"));
    EXPECT_EQ(job.stripPathLevlel("/IASP1/QSYS.LIB/A.LIB", 1), "QSYS.LIB/A.LIB");
}

}  // namespace
