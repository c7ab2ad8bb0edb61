#include <gtest/gtest.h>

#include <string>

#include "platform/support/FXErrorUtil.h"
#include "platform/support/FXPath.h"

namespace {

struct JoinCase {
    const char* name;
    std::string path;
    std::string part;
    std::string joined;
};

class JoinCases : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinCases, AppendJoinsWithOneSeparator) {
    const JoinCase& c = GetParam();
    std::string path = c.path;
    EXPECT_FALSE(FXPath::Append(path, c.part, 0).IsError());
    EXPECT_EQ(path, c.joined);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, JoinCases,
    ::testing::Values(JoinCase{"plain", "/dest", "a", "/dest/a"}, JoinCase{"bothSeparators", "/dest/", "/a", "/dest/a"},
                      JoinCase{"manySeparators", "/dest//", "//a", "/dest/a"},
                      JoinCase{"partTrailingSlashKept", "/dest", "/%Photo%/", "/dest/%Photo%/"},
                      JoinCase{"root", "/", "a", "/a"}, JoinCase{"rootAndAbsolutePart", "/", "/a", "/a"},
                      JoinCase{"emptyPathTakesPart", "", "b", "b"}, JoinCase{"emptyPart", "/dest/", "", "/dest/"},
                      JoinCase{"relative", "a/b", "c", "a/b/c"}),
    [](const auto& info) { return std::string(info.param.name); });

struct PathSplitCase {
    const char* name;
    std::string path;
    std::string parent;
    std::string last;
};

class PathSplitCases : public ::testing::TestWithParam<PathSplitCase> {};

TEST_P(PathSplitCases, SplitParentPathIgnoresTrailingSeparators) {
    const PathSplitCase& c = GetParam();
    std::string parent = "x";
    std::string name = "y";
    ASSERT_FALSE(FXPath::SplitParentPath(c.path, parent, name).IsError());
    EXPECT_EQ(parent, c.parent);
    EXPECT_EQ(name, c.last);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathSplitCases,
    ::testing::Values(PathSplitCase{"plain", "/a/b", "/a", "b"}, PathSplitCase{"trailingSlash", "/a/b/", "/a", "b"},
                      PathSplitCase{"trailingSlashes", "/a/b///", "/a", "b"},
                      PathSplitCase{"underRoot", "/a", "/", "a"}, PathSplitCase{"underRootTrailing", "/a/", "/", "a"},
                      PathSplitCase{"doubledSeparator", "/a//b", "/a", "b"},
                      PathSplitCase{"doubledAtRoot", "//a", "/", "a"}, PathSplitCase{"relative", "a/b", "a", "b"},
                      PathSplitCase{"bareName", "a", "", "a"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Paths, SplitOfRootOrEmptyIsAnErrorAndLeavesTheOutputs) {
    for (const char* path : {"", "/", "///"}) {
        std::string parent = "p";
        std::string name = "n";
        CQiError e = FXPath::SplitParentPath(path, parent, name);
        EXPECT_TRUE(e.IsError()) << path;
        EXPECT_FALSE(e.AsString().empty());
        EXPECT_EQ(parent, "p");
        EXPECT_EQ(name, "n");
    }
}

TEST(Paths, SplitIntoTheSameStringItReads) {
    std::string path = "/a/b/c";
    std::string name;
    ASSERT_FALSE(FXPath::SplitParentPath(path, path, name).IsError());
    EXPECT_EQ(path, "/a/b");
    EXPECT_EQ(name, "c");
}

struct RelationCase {
    const char* name;
    std::string a;
    std::string b;
    bool ancestor;        // IsAncestorOf(a, b, false)
    bool ancestorOrSelf;  // IsAncestorOf(a, b, true)
    bool same;            // IsSamePathAs(a, b)
};

class RelationCases : public ::testing::TestWithParam<RelationCase> {};

TEST_P(RelationCases, AncestryAndSamenessAreByComponent) {
    const RelationCase& c = GetParam();
    EXPECT_EQ(FXPath::IsAncestorOf(c.a, c.b, false), c.ancestor);
    EXPECT_EQ(FXPath::IsAncestorOf(c.a, c.b, true), c.ancestorOrSelf);
    EXPECT_EQ(FXPath::IsSamePathAs(c.a, c.b), c.same);
    EXPECT_EQ(FXPath::IsSamePathAs(c.b, c.a), c.same);
}

INSTANTIATE_TEST_SUITE_P(Paths, RelationCases,
                         ::testing::Values(RelationCase{"parent", "/a", "/a/b", true, true, false},
                                           RelationCase{"parentTrailingSlash", "/a/", "/a/b", true, true, false},
                                           RelationCase{"childTrailingSlash", "/a", "/a/b/", true, true, false},
                                           RelationCase{"grandparent", "/a", "/a/b/c", true, true, false},
                                           RelationCase{"namePrefixIsNoAncestor", "/a", "/ab", false, false, false},
                                           RelationCase{"self", "/mnt/gluster", "/mnt/gluster", false, true, true},
                                           RelationCase{"selfTrailingSlash", "/mnt/gluster/", "/mnt/gluster", false,
                                                        true, true},
                                           RelationCase{"cacheMoniker", "/%CACHEDB%", "/%CACHEDB%/", false, true, true},
                                           RelationCase{"rootAboveAll", "/", "/x", true, true, false},
                                           RelationCase{"rootItself", "/", "//", false, true, true},
                                           RelationCase{"childIsNotAncestor", "/a/b", "/a", false, false, false},
                                           RelationCase{"doubledSeparators", "/a//b", "/a/b/c", true, true, false},
                                           RelationCase{"caseMatters", "/A", "/a/b", false, false, false},
                                           RelationCase{"relative", "a", "a/b", true, true, false},
                                           RelationCase{"relativeVersusAbsolute", "a", "/a/b", false, false, false},
                                           RelationCase{"sameRelative", "a/b/", "a/b", false, true, true},
                                           RelationCase{"emptyRelatesToNothing", "", "/a", false, false, false},
                                           RelationCase{"relativeNamePrefix", "a", "ab", false, false, false},
                                           RelationCase{"doubledAfterThePrefix", "/a", "/a//b", true, true, false},
                                           RelationCase{"selfDoubledTrailing", "/a", "/a//", false, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Paths, RemoveTrailingDelimiterRemovesEverySlash) {
    std::string path = "/a/b//";
    EXPECT_FALSE(FXPath::RemoveTrailingDelimiter(path).IsError());
    EXPECT_EQ(path, "/a/b");
    std::string root = "/";
    EXPECT_FALSE(FXPath::RemoveTrailingDelimiter(root).IsError());
    EXPECT_EQ(root, "");
}

}  // namespace
