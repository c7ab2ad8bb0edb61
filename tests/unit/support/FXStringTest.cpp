#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/support/FXString.h"

namespace {

using Parts = std::vector<std::string>;

struct EditCase {
    const char* name;
    std::string (*edit)(std::string);
    std::string in;
    std::string out;
};

class EditCases : public ::testing::TestWithParam<EditCase> {};

TEST_P(EditCases, Edit) {
    EXPECT_EQ(GetParam().edit(GetParam().in), GetParam().out);
}

std::string removeRightSlash(std::string s) {
    return FXString::RemoveRight(s, "/");
}
std::string removeRightPair(std::string s) {
    return FXString::RemoveRight(s, "ab");
}
std::string removeLeftSlash(std::string s) {
    return FXString::RemoveLeft(s, "/");
}
std::string trimRightSlash(std::string s) {
    return FXString::TrimRight(s, "/");
}
std::string trimRightBlank(std::string s) {
    return FXString::TrimRight(s);
}
std::string doubleSlashToOne(std::string s) {
    return FXString::CopyAndReplaceAll(s, "//", "/");
}
std::string tildeToSlash(std::string s) {
    FXString::ReplaceAll(s, "~", "/");
    return s;
}
std::string aToAa(std::string s) {
    FXString::ReplaceAll(s, "a", "aa");
    return s;
}
std::string emptyPattern(std::string s) {
    EXPECT_EQ(FXString::ReplaceAll(s, "", "x"), 0u);
    return s;
}

INSTANTIATE_TEST_SUITE_P(Strings, EditCases,
                         ::testing::Values(EditCase{"removeRightSlashes", removeRightSlash, "/a/b//", "/a/b"},
                                           EditCase{"removeRightRoot", removeRightSlash, "/", ""},
                                           EditCase{"removeRightNothing", removeRightSlash, "/a", "/a"},
                                           EditCase{"removeRightRepeatedText", removeRightPair, "xabab", "x"},
                                           EditCase{"removeLeftSlashes", removeLeftSlash, "//a/b", "a/b"},
                                           EditCase{"trimRightSlashes", trimRightSlash, "dir///", "dir"},
                                           EditCase{"trimRightBlanks", trimRightBlank, "text \t\r\n", "text"},
                                           EditCase{"trimRightAll", trimRightSlash, "//", ""},
                                           EditCase{"tildes", tildeToSlash, "~dev~rdsk~c0t1d0s4", "/dev/rdsk/c0t1d0s4"},
                                           EditCase{"doubleSlashesOnePass", doubleSlashToOne, "a//b///c", "a/b//c"},
                                           EditCase{"replacementNotRescanned", aToAa, "aba", "aabaa"},
                                           EditCase{"emptyPatternChangesNothing", emptyPattern, "abc", "abc"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct SplitCase {
    const char* name;
    std::string text;
    std::string delimiter;
    unsigned int flags;
    Parts parts;
};

class SplitCases : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCases, Split) {
    const SplitCase& c = GetParam();
    Parts parts{"stale"};
    EXPECT_EQ(FXString::Split(c.text, c.delimiter, parts, c.flags), c.parts.size());
    EXPECT_EQ(parts, c.parts);
}

INSTANTIATE_TEST_SUITE_P(Strings, SplitCases,
                         ::testing::Values(SplitCase{"absoluteKeepsEmptyFirst", "/a/b/c", "/", 1, {"", "a", "b", "c"}},
                                           SplitCase{"trailingDelimiterKept", "/a/", "/", 1, {"", "a", ""}},
                                           SplitCase{"emptiesDropped", "//a//b/", "/", 0, {"a", "b"}},
                                           SplitCase{"multiCharDelimiter", "n1:d1##n2:d2", "##", 1, {"n1:d1", "n2:d2"}},
                                           SplitCase{"noDelimiter", "abc", "##", 1, {"abc"}},
                                           SplitCase{"emptyText", "", "/", 1, {}},
                                           SplitCase{"emptyDelimiter", "a/b", "", 1, {"a/b"}},
                                           SplitCase{"adjacentBars", "g||t", "|", 1, {"g", "", "t"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Strings, SplitKeepsEmptyPiecesByDefault) {
    Parts parts;
    FXString::Split("/x/data/node/ks/table/f", "/", parts);
    ASSERT_EQ(parts.size(), 7u);
    EXPECT_EQ(parts[3], "node");
}

TEST(Strings, FormatReplacesTheContent) {
    std::string out = "old text";
    EXPECT_EQ(FXString::Format(out, "%s/restore_%lld", "/stage", 42LL), "/stage/restore_42");
    EXPECT_EQ(out, "/stage/restore_42");
    EXPECT_EQ(FXString::Format(out, "%s", ""), "");
    std::string longText(5000, 'x');
    EXPECT_EQ(FXString::Format(out, "<%s>", longText.c_str()).size(), 5002u);
}

}  // namespace
