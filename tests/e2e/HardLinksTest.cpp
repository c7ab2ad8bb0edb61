// Hard-link groups as the stream carries them (the first name with the data, the others as names): a restore gives
// back the source's link counts and inode sharing, one result line per name, for the whole tree, for a selection,
// and over a tree that is already there.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "tests/common/ArchiveBuilder.h"
#include "tests/e2e/AdversarialSupport.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

// Groups of two and of many names, across directories, one of empty files, beside plain items.
const TreeLayout kGroups = {
    dir("a"),
    dir("b"),
    dir("c"),
    dir("c/d"),
    file("a/pair", 5000),
    hardlink("b/pair again", "a/pair"),
    file("a/many", 200 * kKiB + 3),
    hardlink("b/many 2", "a/many"),
    hardlink("c/many 3", "a/many"),
    hardlink("c/d/many 4", "a/many"),
    hardlink("a/many 5", "a/many"),
    file("empty", 0),
    hardlink("c/d/empty too", "empty"),
    file("plain", 10),
};

// The names of each group: the first name and the names linked to it.
const std::map<std::string, std::vector<std::string>> kNames = {
    {"a/pair", {"a/pair", "b/pair again"}},
    {"a/many", {"a/many", "b/many 2", "c/many 3", "c/d/many 4", "a/many 5"}},
    {"empty", {"empty", "c/d/empty too"}},
};

struct Inode {
    ino_t ino = 0;
    nlink_t links = 0;
};

Inode inodeOf(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        return Inode();
    }
    return Inode{st.st_ino, st.st_nlink};
}

class StreamHardLinks : public EndToEnd {
protected:
    // Each listed name of a group shares one inode with the group's other listed names, with `links` names to it.
    void expectGroup(const std::vector<std::string>& names, nlink_t links) {
        const Inode first = inodeOf(restored(names.front()));
        ASSERT_NE(first.ino, 0u) << names.front() << " was not restored";
        EXPECT_EQ(first.links, links) << names.front();
        for (const std::string& name : names) {
            const Inode other = inodeOf(restored(name));
            EXPECT_EQ(other.ino, first.ino) << name << " is not linked to " << names.front();
        }
    }

    // How many result lines name each restored path.
    std::map<std::string, int> resultLinesPerPath() {
        std::map<std::string, int> counts;
        for (const ResultLine& line : readResults(findResults(results()))) {
            if (line.status >= 0) {
                ++counts[line.path()];
            }
        }
        return counts;
    }
};

TEST_F(StreamHardLinks, WholeTreeKeepsTheSourcesGroupsWithOneResultPerName) {
    build(kGroups);
    packAndRestore();
    EXPECT_EQ(differences(), "");
    for (const auto& group : kNames) {
        expectGroup(group.second, static_cast<nlink_t>(group.second.size()));
    }
    EXPECT_NE(inodeOf(restored("plain")).ino, inodeOf(restored("a/pair")).ino);
    const std::map<std::string, int> counts = resultLinesPerPath();
    for (const auto& group : kNames) {
        for (const std::string& name : group.second) {
            auto it = counts.find(restored(name));
            EXPECT_EQ(it == counts.end() ? 0 : it->second, 1) << name;
        }
    }
}

TEST_F(StreamHardLinks, ASelectedNameComesWithItsDataAndASelectedDirectoryWithItsNamesLinked) {
    build(kGroups);
    pack();
    ASSERT_FALSE(HasFatalFailure());
    struct Selection {
        const char* path;
        std::vector<std::string> names;  // what the selection holds of one group, linked together
        std::string first;               // the group's first name
    };
    const std::vector<Selection> selections = {
        {"b/pair again", {"b/pair again"}, "a/pair"},
        {"c/d/many 4", {"c/d/many 4"}, "a/many"},
        {"c", {"c/many 3", "c/d/many 4"}, "a/many"},
        {"a", {"a/many", "a/many 5"}, "a/many"},
    };
    for (const Selection& selection : selections) {
        SCOPED_TRACE(selection.path);
        fcltest::removeTree(dest());
        fcltest::ProgramRun run = restore({"--path", source(selection.path)});
        EXPECT_EQ(run.status, 0) << run.describe();
        EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), "0") << run.out;
        expectGroup(selection.names, static_cast<nlink_t>(selection.names.size()));
        for (const std::string& name : selection.names) {
            EXPECT_TRUE(fcltest::readFile(restored(name)) == fcltest::readFile(source(selection.first))) << name;
        }
        for (const std::string& name : kNames.at(selection.first)) {
            if (std::find(selection.names.begin(), selection.names.end(), name) == selection.names.end()) {
                EXPECT_EQ(inodeOf(restored(name)).ino, 0u) << name << " was not asked for";
            }
        }
    }
}

TEST_F(StreamHardLinks, RestoreOverAnExistingTreeLinksNoNameToAFileOutsideItsGroup) {
    build(kGroups);
    pack();
    ASSERT_FALSE(HasFatalFailure());
    const std::string outside = beside("outside");
    struct Rule {
        const char* name;
        std::vector<std::string> options;
        bool older;           // the names found are older than the backup
        const char* missing;  // a name of a group that is not there, or null
    };
    const std::vector<Rule> rules = {
        {"overwrite", {"--overwrite"}, false, nullptr},
        {"no overwrite, older names", {}, true, nullptr},
        {"no overwrite, newer names", {}, false, nullptr},
        {"no overwrite, newer names, one missing", {}, false, "b/many 2"},
        {"no overwrite, older names, the first missing", {}, true, "a/many"},
    };
    for (const Rule& rule : rules) {
        SCOPED_TRACE(rule.name);
        fcltest::removeTree(dest());
        ASSERT_EQ(restore().status, 0);
        fcltest::writeFile(outside, "not of any group");
        // Every name of every group is made a name of a file that belongs to none of them.
        for (const auto& group : kNames) {
            for (const std::string& name : group.second) {
                ASSERT_EQ(unlink(restored(name).c_str()), 0) << name;
                ASSERT_EQ(link(outside.c_str(), restored(name).c_str()), 0) << name;
            }
        }
        const timespec when[2] = {{rule.older ? 1 : 4000000000, 0}, {rule.older ? 1 : 4000000000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, outside.c_str(), when, 0), 0);
        if (rule.missing != nullptr) {
            ASSERT_EQ(unlink(restored(rule.missing).c_str()), 0);
        }
        fcltest::ProgramRun run = restore(rule.options);
        EXPECT_NE(run.status, 2) << run.describe();
        const Inode planted = inodeOf(outside);
        for (const auto& group : kNames) {
            // The names the job restored share one file, of the backup's data, and none is the planted file.
            std::set<ino_t> files;
            for (const std::string& name : group.second) {
                const Inode now = inodeOf(restored(name));
                if (now.ino != 0 && now.ino != planted.ino) {
                    files.insert(now.ino);
                    EXPECT_TRUE(fcltest::readFile(restored(name)) == fcltest::readFile(source(name))) << name;
                }
            }
            EXPECT_LE(files.size(), 1u) << group.first << ": restored names split over several files";
        }
        EXPECT_EQ(fcltest::readFile(outside), "not of any group");
        if (rule.missing != nullptr) {
            EXPECT_NE(inodeOf(restored(rule.missing)).ino, planted.ino) << "linked to a name kept as it was";
        }
        if (rule.options.empty()) {
            // Without --overwrite every name found stays the file it was, whatever its time.
            for (const auto& group : kNames) {
                for (const std::string& name : group.second) {
                    if (rule.missing == nullptr || name != rule.missing) {
                        EXPECT_EQ(inodeOf(restored(name)).ino, planted.ino) << name << " was replaced";
                    }
                }
            }
        } else {
            EXPECT_EQ(differences(), "") << "every name is overwritten";
        }
        ASSERT_EQ(unlink(outside.c_str()), 0);
    }
}

// A re-run over a tree that lost a name of a group carried as a first name and further names: the first name is found
// and kept, and the lost name is linked to it again, only when what was kept is a plain file reached through no link.
TEST_F(StreamHardLinks, ALostNameIsLinkedToTheKeptFirstNameWhenThatIsAPlainFileReachedThroughNoLink) {
    const std::string content = "the data of the group\n";
    {
        fcltest::ArchiveBuilder stream(media());
        stream.directory(source());
        stream.hardLinks({source("a/first"), source("b/second"), source("b/third")}, content);
        stream.finish();
    }
    struct Case {
        const char* name;
        std::function<void()> change;  // to the restored tree, besides the loss of b/second
        bool linked;
    };
    const std::vector<Case> cases = {
        {"first name kept as it was", [] {}, true},
        {"first name reached through a link",
         [&] {
             ASSERT_EQ(rename(restored("a").c_str(), restored("a real").c_str()), 0);
             ASSERT_EQ(::symlink("a real", restored("a").c_str()), 0);
         },
         false},
        {"first name is a link",
         [&] {
             ASSERT_EQ(unlink(restored("a/first").c_str()), 0);
             ASSERT_EQ(::symlink("../b/third", restored("a/first").c_str()), 0);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fcltest::removeTree(dest());
        ASSERT_EQ(restore().status, 0);
        ASSERT_EQ(unlink(restored("b/second").c_str()), 0);
        c.change();
        const fcltest::ProgramRun run = restore();
        EXPECT_EQ(run.status, c.linked ? 0 : 1) << run.describe();
        EXPECT_EQ(fcltest::summaryField(run.out, "items failed:"), c.linked ? "0" : "1") << run.out;
        const Inode second = inodeOf(restored("b/second"));
        if (c.linked) {
            EXPECT_EQ(second.ino, inodeOf(restored("a/first")).ino);
            EXPECT_EQ(second.links, 3u);
            EXPECT_EQ(fcltest::readFile(restored("b/second")), content);
        } else {
            EXPECT_EQ(second.ino, 0u) << "linked to what stands at the first name";
        }
    }
}

}  // namespace
}  // namespace e2e
