// The command line of fcl-restore: what each option sets, and what is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/fcl-restore/HostOptions.h"

namespace {

using fclhost::HostOptions;
using fclhost::ParseOutcome;

struct Parsed {
    ParseOutcome outcome;
    HostOptions options;
    std::string message;
};

Parsed parse(std::vector<const char*> args) {
    args.insert(args.begin(), "fcl-restore");
    Parsed parsed;
    parsed.outcome =
        fclhost::parseHostOptions(static_cast<int>(args.size()), args.data(), &parsed.options, &parsed.message);
    return parsed;
}

TEST(HostOptions, TheTwoDirectoriesAloneAskForTheWholeBackupWithDefaults) {
    Parsed p = parse({"/media", "/dest"});
    ASSERT_EQ(p.outcome, ParseOutcome::Run) << p.message;
    EXPECT_EQ(p.options.mediaDir, "/media");
    EXPECT_EQ(p.options.destDir, "/dest");
    EXPECT_TRUE(p.options.paths.empty());
    EXPECT_EQ(p.options.stripLevel, 0u);
    EXPECT_FALSE(p.options.overwrite);
    EXPECT_FALSE(p.options.restart);
    EXPECT_FALSE(p.options.noSparse);
    EXPECT_EQ(p.options.mapFile, "");
    EXPECT_EQ(p.options.settingsFile, "");
    EXPECT_EQ(p.options.resultsDir, "");
    EXPECT_EQ(p.options.listen, "");
    EXPECT_EQ(p.options.progressSeconds, 0u);
    EXPECT_EQ(p.options.logLevel, fclhost::kDefaultLogLevel);
    EXPECT_FALSE(p.options.logLevelGiven);
}

TEST(HostOptions, ProgressLinesAndTheLogLevel) {
    struct Case {
        std::vector<const char*> args;
        unsigned progressSeconds;
        int logLevel;
    };
    for (const Case& c :
         {Case{{"--progress"}, 5, fclhost::kDefaultLogLevel}, Case{{"--progress-every", "2"}, 2, -1},
          Case{{"--progress", "--progress-every=3"}, 3, -1}, Case{{"--log-level", "0"}, 0, 0},
          Case{{"--log-level=-1"}, 0, -1}, Case{{"--log-level", "100", "--progress-every", "60"}, 60, 100}}) {
        std::vector<const char*> args = c.args;
        args.push_back("/media");
        args.push_back("/dest");
        Parsed p = parse(args);
        ASSERT_EQ(p.outcome, ParseOutcome::Run) << p.message;
        EXPECT_EQ(p.options.progressSeconds, c.progressSeconds) << c.args[0];
        EXPECT_EQ(p.options.logLevel, c.logLevel) << c.args[0];
        EXPECT_EQ(p.options.mediaDir, "/media") << "--progress takes no value";
    }
}

TEST(HostOptions, EveryOptionReachesItsField) {
    Parsed p = parse({"--path", "/a/b/", "--path=/c", "--strip", "2", "--overwrite", "--restart", "--no-sparse",
                      "--map", "m.txt", "--settings", "s.ini", "--results", "r", "/media", "/dest"});
    ASSERT_EQ(p.outcome, ParseOutcome::Run) << p.message;
    EXPECT_EQ(p.options.paths, (std::vector<std::string>{"/a/b", "/c"}));
    EXPECT_EQ(p.options.stripLevel, 2u);
    EXPECT_TRUE(p.options.overwrite);
    EXPECT_TRUE(p.options.restart);
    EXPECT_TRUE(p.options.noSparse);
    EXPECT_EQ(p.options.mapFile, "m.txt");
    EXPECT_EQ(p.options.settingsFile, "s.ini");
    EXPECT_EQ(p.options.resultsDir, "r");
}

TEST(HostOptions, TrailingSlashesOfSourcePathsGoButTheRootStays) {
    Parsed p = parse({"--path", "/a///", "--path", "/", "/media", "/dest"});
    ASSERT_EQ(p.outcome, ParseOutcome::Run) << p.message;
    EXPECT_EQ(p.options.paths, (std::vector<std::string>{"/a", "/"}));
}

TEST(HostOptions, ListenKeepsTheHostsOwnOptions) {
    Parsed p = parse({"--listen", "127.0.0.1:0", "--no-sparse", "--results", "/r", "/media", "/dest"});
    ASSERT_EQ(p.outcome, ParseOutcome::Run) << p.message;
    EXPECT_EQ(p.options.listen, "127.0.0.1:0");
    EXPECT_TRUE(p.options.noSparse);
}

TEST(HostOptions, HelpIsTheUsageWithTheNamesOfValues) {
    Parsed p = parse({"--help"});
    EXPECT_EQ(p.outcome, ParseOutcome::Help);
    EXPECT_NE(p.message.find("Usage: fcl-restore [options] MEDIA_DIR DEST_DIR"), std::string::npos);
    for (const char* shown : {"--no-sparse", "--strip N", "--path PATH", "--map FILE", "--settings FILE",
                              "--results DIR", "--listen ADDR", "--log-level LEVEL", "--version"}) {
        EXPECT_NE(p.message.find(shown), std::string::npos) << shown << "\n" << p.message;
    }
    EXPECT_EQ(p.message.find(" arg "), std::string::npos) << p.message;
}

TEST(HostOptions, VersionIsOneLine) {
    Parsed p = parse({"--version", "/media"});
    EXPECT_EQ(p.outcome, ParseOutcome::Version);
    EXPECT_EQ(p.message.rfind("fcl-restore ", 0), 0u) << p.message;
    EXPECT_EQ(p.message.find('\n'), std::string::npos) << p.message;
}

struct Refused {
    const char* name;
    std::vector<const char*> args;
    const char* says;
};

class HostOptionsRefused : public ::testing::TestWithParam<Refused> {};

// One line saying what is wrong; the usage is for --help.
TEST_P(HostOptionsRefused, WithAReasonInOneLine) {
    Parsed p = parse(GetParam().args);
    EXPECT_EQ(p.outcome, ParseOutcome::Error);
    EXPECT_NE(p.message.find(GetParam().says), std::string::npos) << p.message;
    EXPECT_EQ(p.message.find('\n'), std::string::npos) << p.message;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostOptionsRefused,
    ::testing::Values(
        Refused{"NoPaths", {}, "MEDIA_DIR and DEST_DIR are both required"},
        Refused{"OnlyMedia", {"/media"}, "DEST_DIR is required"},
        Refused{"ThirdPath", {"/media", "/dest", "/third"}, "too many operands: give MEDIA_DIR and DEST_DIR only"},
        Refused{"UnknownOption", {"--bogus", "/media", "/dest"}, "bogus"},
        Refused{"StripNotANumber", {"--strip", "two", "/media", "/dest"}, "strip"},
        Refused{"StripNegative", {"--strip", "-1", "/media", "/dest"}, "strip"},
        Refused{"StripTooLarge", {"--strip", "99999999999999999999999", "/media", "/dest"}, "strip"},
        Refused{"StripEmpty", {"--strip", "", "/media", "/dest"}, "strip"},
        Refused{"RelativePath", {"--path", "relative/p", "/media", "/dest"}, "absolute path"},
        Refused{"EmptyPath", {"--path", "", "/media", "/dest"}, "absolute path"},
        Refused{"EmptyResults", {"--results", "", "/media", "/dest"}, "--results must not be empty"},
        Refused{"EmptyMap", {"--map", "", "/media", "/dest"}, "--map must not be empty"},
        Refused{"EmptyMedia", {"", "/dest"}, "MEDIA_DIR must not be empty"},
        Refused{"EmptyDest", {"/media", ""}, "DEST_DIR must not be empty"},
        Refused{"ListenWithPath", {"--listen", "/s", "--path", "/a", "/media", "/dest"}, "--path cannot be used"},
        Refused{"ListenWithStrip", {"--listen", "/s", "--strip", "1", "/media", "/dest"}, "--strip cannot be used"},
        Refused{
            "ListenWithOverwrite", {"--listen", "/s", "--overwrite", "/media", "/dest"}, "--overwrite cannot be used"},
        Refused{"ListenWithRestart", {"--listen", "/s", "--restart", "/media", "/dest"}, "--restart cannot be used"},
        Refused{"OverwriteWithValue", {"--overwrite=yes", "/media", "/dest"}, "overwrite"},
        Refused{"LogLevelBelowErrors", {"--log-level", "-2", "/media", "/dest"}, "--log-level must be"},
        Refused{"LogLevelTooHigh", {"--log-level", "101", "/media", "/dest"}, "--log-level must be"},
        Refused{"LogLevelNotANumber", {"--log-level", "x", "/media", "/dest"}, "--log-level must be"},
        Refused{"ProgressEveryZeroSeconds", {"--progress-every", "0", "/media", "/dest"}, "--progress-every must be"}),
    [](const ::testing::TestParamInfo<Refused>& info) { return std::string(info.param.name); });

}  // namespace
