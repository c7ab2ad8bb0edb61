// fcl-restore with no options does what `tar -x` and `rsync -a` users expect: every kind of item back exactly, a
// settings file that adds to the defaults instead of replacing them, a clean job's log without errors, and, for a
// user who is not root, the items of other owners restored as the user's with the summary saying so.
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

constexpr uint64_t kMiB = 1 << 20;

// Every kind fcl-pack packs that a restore makes: FIFOs and device nodes (as root), hard links, holes, ACLs and
// extended attributes, owners (as root).
TreeLayout everyKind() {
    TreeLayout plan = {
        file("plain", 1000).mode(0640),
        file("with attributes", 20).xattr("user.note", "kept").acl("u::rw-,u:1000:r--,g::r--,m::r--,o::---"),
        dir("shared").acl("u::rwx,g::r-x,o::r-x").defaultAclOf("u::rwx,u:1001:r-x,g::r-x,m::r-x,o::---"),
        sparse("shared/sparse", 100 * kMiB, {{0, 40 * kMiB}, {41 * kMiB, 59 * kMiB}}),
        hardlink("shared/second name", "plain"),
        symlink("link", "plain"),
        fifo("pipe").mode(0600),
    };
    if (fcltest::isRoot()) {
        plan.push_back(fifo("owned pipe").owner(1234, 5678));
        plan.push_back(charDevice("null", 1, 3).mode(0666).owner(12, 34));
        plan.push_back(blockDevice("disk", 7, 200).mode(0660).owner(0, 6));
        plan.push_back(file("theirs", 10).owner(1234, 5678));
    }
    return plan;
}

// The lines of `log` at the error level: "<date> <time> <pid> <tid> -1 <function>:<line> <text>".
std::string errorLines(const std::string& log) {
    std::istringstream in(log);
    std::string line;
    std::string errors;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string date, time, pid, tid, level;
        fields >> date >> time >> pid >> tid >> level;
        if (level == "-1") {
            errors += line + "\n";
        }
    }
    return errors;
}

class HostDefaults : public EndToEnd {};

TEST_F(HostDefaults, APlainRestoreBringsBackEveryKindExactlyAndLogsNoError) {
    build(everyKind());
    if (HasFatalFailure() || IsSkipped()) {
        return;
    }
    pack();
    // A settings file that names only the log level keeps every other default (sparse files, nodes).
    fcltest::writeFile(beside("level.ini"), "[FclRestore]\nnLogLevel = 0\n");
    struct Case {
        const char* name;
        std::vector<std::string> options;
    };
    for (const Case& c : {Case{"no options", {}}, Case{"a settings file", {"--settings", beside("level.ini")}}}) {
        SCOPED_TRACE(c.name);
        fcltest::removeTree(dest());
        fcltest::removeTree(results());
        const fcltest::ProgramRun run = restore(c.options);
        EXPECT_EQ(run.status, 0) << run.describe();
        EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), std::to_string(sourceItems())) << run.out;
        EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), "0") << run.out;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(differences(), "");
        const std::string log = fcltest::readFile(results() + "/fclrestore.log");
        EXPECT_EQ(errorLines(log), "") << "a clean job logs no error";
        EXPECT_EQ(contains(log, "Registry key isRestoreAsSparseFile set to 'y'"), c.options.empty() ? false : true)
            << "level 0 lines only where the settings ask for them";
    }
}

// A socket is made by the program that listens on it: none is made, and its result line says why.
TEST_F(HostDefaults, ASocketIsLeftOutWithItsReason) {
    build({socketNode("socket"), file("plain", 10)});
    pack();
    const fcltest::ProgramRun run = restore();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items skipped:"), "1") << run.out;
    struct stat st;
    EXPECT_NE(lstat(restored("socket").c_str(), &st), 0);
    const std::string results = fcltest::readFile(fcltest::summaryField(run.out, "results file:"));
    EXPECT_TRUE(contains(results, "The item is a socket: the program that listens on a socket makes it")) << results;
    EXPECT_TRUE(contains(results, "nRestoreSockets = 1")) << results;
}

// As tar -x does for a user who is not root: every item's data comes back, owned by the user, and the summary says
// how many owners could not be kept and why; the exit status is 0.
TEST_F(HostDefaults, AnOrdinaryUserGetsTheItemsOfOtherOwnersAsItsOwn) {
    if (!fcltest::isRoot()) {
        GTEST_SKIP() << "a tree owned by others is built as root";
    }
    const uid_t nobody = 65534;
    build({file("a", 3000).owner(1234, 5678), dir("d").owner(1234, 5678).mode(0750),
           file("d/b", 10).owner(4321, 5678).mode(0640), symlink("d/link", "b").owner(1234, 5678),
           fifo("d/pipe").owner(1234, 5678)});
    pack();
    ASSERT_EQ(chmod(beside("").c_str(), 0755), 0);
    const std::string mine = beside("mine");
    ASSERT_EQ(mkdir(mine.c_str(), 0755), 0);
    ASSERT_EQ(chown(mine.c_str(), nobody, nobody), 0);
    const fcltest::ProgramRun run =
        fcltest::runProgram({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--",
                             fcltest::toolPath("fcl-restore"), media(), mine + "/dest"},
                            300, {"XDG_STATE_HOME=" + mine + "/state"});
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), std::to_string(sourceItems())) << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), "0") << run.out;
    // Every item, the packed root (root's) included, belongs to someone else.
    const std::string all = std::to_string(sourceItems());
    const std::string notKept = fcltest::summaryField(run.out, "owners not kept:");
    EXPECT_EQ(notKept.rfind(all + " item(s) (Operation not permitted: only root can give an item to another user", 0),
              0u)
        << run.out;
    EXPECT_TRUE(contains(run.err, "the owners of " + all + " item(s) were not kept")) << run.err;
    const std::string copy = mine + "/dest" + source();
    EXPECT_EQ(contentDifferences(source(), copy, Holes::Kept), "");
    for (const char* name : {"a", "d", "d/b", "d/link", "d/pipe"}) {
        struct stat st;
        ASSERT_EQ(lstat((copy + "/" + name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_uid, nobody) << name;
    }
}

}  // namespace
}  // namespace e2e
