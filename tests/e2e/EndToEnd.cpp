#include "tests/e2e/EndToEnd.h"

#include <ftw.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

namespace e2e {
namespace {

thread_local uint64_t g_count = 0;

int countOne(const char*, const struct stat*, int, FTW*) {
    ++g_count;
    return 0;
}

std::string realPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

}  // namespace

EndToEnd::EndToEnd() {
    // Real paths: the packed root is recorded resolved, and the destination must match it.
    const std::string top = realPath(scratch_.path());
    source_ = top + "/src";
    media_ = top + "/media";
    dest_ = top + "/dest";
    results_ = top + "/results";
    mkdir(source_.c_str(), 0755);
    mkdir(media_.c_str(), 0755);
}

void EndToEnd::build(const TreeLayout& plan) {
    if (needsRoot(plan) && !fcltest::isRoot()) {
        GTEST_SKIP() << "the tree gives items owners: needs root";
    }
    std::string why;
    ASSERT_TRUE(buildTree(source_, plan, &why)) << why;
    for (const Item& item : plan) {
        if (item.holes.empty()) {
            continue;
        }
        if (dataRuns(source(item.name)) != expectedRuns(item)) {
            GTEST_SKIP() << "the scratch file system does not keep the holes of " << item.name;
        }
    }
}

void EndToEnd::pack(const std::vector<std::string>& options) {
    std::vector<std::string> arguments = options;
    arguments.push_back(source_);
    arguments.push_back(media_);
    fcltest::ProgramRun run = fcltest::runTool("fcl-pack", arguments);
    ASSERT_EQ(run.status, 0) << run.describe();
}

fcltest::ProgramRun EndToEnd::restore(const std::vector<std::string>& options) {
    std::vector<std::string> arguments{"--results", results_};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.push_back(media_);
    arguments.push_back(dest_);
    return fcltest::runTool("fcl-restore", arguments);
}

fcltest::ProgramRun EndToEnd::packAndRestore(const std::vector<std::string>& options) {
    fcltest::ProgramRun run;
    pack();
    if (HasFatalFailure()) {
        return run;
    }
    run = restore(options);
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_EQ(fcltest::summaryField(run.out, "items restored:"), std::to_string(sourceItems())) << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), "0") << run.out;
    EXPECT_EQ(fcltest::summaryField(run.out, "items skipped:"), "0") << run.out;
    return run;
}

std::string EndToEnd::differences(Holes holes) const {
    return rsyncDifferences(source(), restored()) + contentDifferences(source(), restored(), holes);
}

uint64_t EndToEnd::sourceItems() const {
    g_count = 0;
    nftw(source_.c_str(), countOne, 64, FTW_PHYS);
    return g_count;
}

}  // namespace e2e
