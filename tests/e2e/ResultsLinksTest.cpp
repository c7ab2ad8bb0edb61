// A symbolic link planted in the results directory named by --results: in place of the log, the journal, the folder
// of the results file, the agent's or the installation's folder, or deeper down. The host refuses the job before it
// starts, saying where the link is, and nothing is written through the link. Each runs as root and, in a child
// process, as an ordinary user.
#include <sys/stat.h>
#include <unistd.h>

#include "tests/e2e/AdversarialSupport.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

struct Planted {
    const char* name;
    const char* at;             // the link, below the results directory
    const char* target;         // what it points at, below the directory beside the results
    const char* realDirectory;  // a real directory made below the results directory first, or null
};

class ResultsLinks : public EndToEnd, public ::testing::WithParamInterface<std::tuple<Planted, Identity>> {
protected:
    void SetUp() override {
        const std::string why = cannotRunAs(std::get<1>(GetParam()));
        if (!why.empty()) {
            GTEST_SKIP() << why;
        }
    }
};

TEST_P(ResultsLinks, AreRefusedAtTheStartAndNeverWrittenThrough) {
    const Planted& p = std::get<0>(GetParam());
    const Identity who = std::get<1>(GetParam());
    build({file("a/one", 1000), dir("a/sub"), file("a/sub/two", 10)});
    pack();
    const std::string outside = beside("outside");
    ASSERT_TRUE(makeDirectories(outside + "/folder"));
    fcltest::writeFile(outside + "/victim", "kept as it was\n");
    ASSERT_TRUE(makeDirectories(results()));
    if (p.realDirectory != nullptr) {
        ASSERT_TRUE(makeDirectories(results() + "/" + p.realDirectory));
    }
    const std::string link = results() + "/" + p.at;
    ASSERT_EQ(::symlink((outside + "/" + p.target).c_str(), link.c_str()), 0) << link;
    giveTree(beside(""), who);
    const Untouchable untouched(outside);

    fcltest::ProgramRun run = fcltest::runProgram(
        commandAs(who, {fcltest::toolPath("fcl-restore"), "--results", results(), media(), dest()}));
    EXPECT_EQ(run.status, 2) << run.describe();
    EXPECT_NE(run.err.find("the results directory " + results() + " holds a symbolic link, " + link), std::string::npos)
        << run.err;
    EXPECT_EQ(untouched.changes(), "");
    struct stat st;
    EXPECT_TRUE(lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << "the planted link was replaced";
    EXPECT_NE(lstat(restored("a").c_str(), &st), 0) << "a refused job restored items";
}

INSTANTIATE_TEST_SUITE_P(
    Host, ResultsLinks,
    ::testing::Combine(::testing::Values(Planted{"TheLog", "fclrestore.log", "victim", nullptr},
                                         Planted{"TheJournal", "journal.log", "victim", nullptr},
                                         Planted{"TheResultsFilesFolder", "2", "folder", nullptr},
                                         Planted{"TheAgentFolder", "agent", "folder", nullptr},
                                         Planted{"TheInstallationFolder", "install", "folder", nullptr},
                                         Planted{"DeepInTheAgentFolder", "agent/RestoreRestart", "folder", "agent"}),
                       ::testing::Values(Identity::Root, Identity::User)),
    [](const ::testing::TestParamInfo<std::tuple<Planted, Identity>>& info) {
        return std::string(std::get<0>(info.param).name) + identityName(std::get<1>(info.param));
    });

}  // namespace
}  // namespace e2e
