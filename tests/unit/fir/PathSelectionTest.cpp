// Which paths named on the command line select nothing in the backup: what a host refuses before the job starts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/TestSupport.h"
#include "tools/fir/FirJob.h"

namespace {

TEST(PathSelection, NamesThePathsUnderWhichNoItemOfAnyIndexLies) {
    fcltest::ScratchDir media("paths");
    fcltest::writeFile(media / "1.afile", "");
    fcltest::writeFile(media / "1.index",
                       "0\tdir\t/src\n100\tfile\t/src/a b\n200\tdir\t/src/sub\n300\tfile\t/src/sub/x\n"
                       "400\tfile\t/src/tab\\there\n");
    fcltest::writeFile(media / "2.afile", "");
    fcltest::writeFile(media / "2.index", "0\tfile\t/src/other\n");
    const struct {
        const char* path;
        bool selects;
    } cases[] = {
        {"/src", true},           {"/", true},
        {"/src/sub", true},       {"/src/sub/", true},      // a trailing slash selects what the path does
        {"/src/sub/x", true},                               // an item itself
        {"/src/other", true},                               // in the second archive file
        {"/src/a b", true},                                 // a name with a space
        {"/src/tab\there", true},                           // a name with a tab, escaped in the index
        {"/src/su", false},                                 // a prefix of a name is not a parent
        {"/src/a", false},        {"/src/sub/x/y", false},  // beneath a file
        {"/elsewhere", false},    {"src", false},           // the index holds absolute paths
    };
    std::vector<std::string> paths;
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        paths.push_back(c.path);
        if (!c.selects) {
            expected.push_back(c.path);
        }
    }
    std::vector<std::string> unmatched = {"left over"};
    std::string why;
    ASSERT_TRUE(fir::pathsSelectingNothing(media.path(), paths, &unmatched, &why)) << why;
    EXPECT_EQ(unmatched, expected);

    ASSERT_TRUE(fir::pathsSelectingNothing(media.path(), {}, &unmatched, &why)) << why;
    EXPECT_TRUE(unmatched.empty());
}

TEST(PathSelection, MediaThatCannotBeReadIsAnErrorNotAnEmptySelection) {
    const struct {
        const char* what;
        const char* index;  // null: no archive file at all
    } cases[] = {
        {"no archive file", nullptr},
        {"a malformed index", "0 dir /src\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fcltest::ScratchDir media("paths");
        if (c.index != nullptr) {
            fcltest::writeFile(media / "1.afile", "");
            fcltest::writeFile(media / "1.index", c.index);
        }
        std::vector<std::string> unmatched;
        std::string why;
        EXPECT_FALSE(fir::pathsSelectingNothing(media.path(), {"/src"}, &unmatched, &why));
        EXPECT_FALSE(why.empty());
    }
}

}  // namespace
