// A backup split over several archive files restores as one: every item comes back from whichever file holds it, a
// hard-link group whose names lie far apart in the tree stays whole in one file, and a file that is lost or damaged
// shows in the job's end while what the others gave stays restored.
#include <unistd.h>

#include <map>
#include <set>

#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/ArchiveIndex.h"
#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

// Small files in several directories, enough of them that a split falls between them; hard-link groups whose first
// and last names lie at the two ends of the walk, so that a split by data would part them; a few other kinds.
TreeLayout spreadTree() {
    TreeLayout plan = {dir("a"), dir("m"), dir("z"), dir("z/deep")};
    for (int i = 0; i < 12; ++i) {
        for (const char* folder : {"a", "m", "z/deep"}) {
            plan.push_back(file(std::string(folder) + "/f" + std::to_string(i), 1000 + 977 * i));
        }
    }
    plan.push_back(file("a/first of two", 3000));
    plan.push_back(hardlink("z/second of two", "a/first of two"));
    plan.push_back(file("a/first of three", 20000));
    plan.push_back(hardlink("m/second of three", "a/first of three"));
    plan.push_back(hardlink("z/deep/third of three", "a/first of three"));
    plan.push_back(file("a/empty", 0));
    plan.push_back(hardlink("z/empty too", "a/empty"));
    plan.push_back(symlink("m/link", "../a/f1"));
    return plan;
}

std::vector<fclarchive::IndexEntry> indexOf(const std::string& media, uint64_t id) {
    std::vector<fclarchive::IndexEntry> items;
    fclarchive::IndexReader reader;
    if (reader.open(fclarchive::indexFilePath(media, id))) {
        for (fclarchive::IndexEntry entry; reader.next(entry);) {
            items.push_back(entry);
        }
    }
    return items;
}

class SeveralArchives : public EndToEnd, public ::testing::WithParamInterface<int> {};

TEST_P(SeveralArchives, RestoreEqualsTheSource) {
    const int count = GetParam();
    build(spreadTree());
    pack({"--archives", std::to_string(count)});

    ASSERT_EQ(fclarchive::listArchiveFiles(media()).size(), size_t(count));
    for (uint64_t id = 1; id <= uint64_t(count); ++id) {
        const std::vector<fclarchive::IndexEntry> items = indexOf(media(), id);
        EXPECT_FALSE(items.empty()) << "archive file " << id << " holds nothing: the split did not spread the items";
        // Every further name of a group sits at its group's item in the same file: the group was not parted.
        std::set<uint64_t> starts;
        for (const fclarchive::IndexEntry& item : items) {
            if (item.kind != fclarchive::kKindHardLink) {
                starts.insert(item.offset);
            }
        }
        for (const fclarchive::IndexEntry& item : items) {
            EXPECT_EQ(starts.count(item.offset), 1u) << item.path << " parted from its group in archive file " << id;
        }
    }

    fcltest::ProgramRun run = restore();
    EXPECT_EQ(run.status, 0) << run.describe();
    EXPECT_NE(run.out.find("items restored: " + std::to_string(sourceItems())), std::string::npos) << run.out;
    EXPECT_EQ(differences(), "");
}

INSTANTIATE_TEST_SUITE_P(Archives, SeveralArchives, ::testing::Values(1, 2, 4),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param); });

// One archive file of three fails; what the other files gave is restored and stays, and the job does not claim
// success.
struct OneFileFails {
    const char* name;
    // Damages the middle archive file, given its path and the offset of its middle item.
    void (*damage)(const std::string& path, uint64_t middle);
    int status;           // the host's exit status
    const char* said;     // what the host's output must hold
    bool laterFilesRead;  // whether the job goes on to the third file
};

class OneOfSeveralFails : public EndToEnd, public ::testing::WithParamInterface<OneFileFails> {};

TEST_P(OneOfSeveralFails, OthersStayRestored) {
    const OneFileFails& c = GetParam();
    build(spreadTree());
    pack({"--archives", "3"});
    std::map<uint64_t, std::vector<fclarchive::IndexEntry>> indexes;
    for (uint64_t id = 1; id <= 3; ++id) {
        indexes[id] = indexOf(media(), id);
        ASSERT_GE(indexes[id].size(), 3u) << "archive file " << id;
    }
    const fclarchive::IndexEntry middle = indexes[2][indexes[2].size() / 2];
    c.damage(fclarchive::archiveFilePath(media(), 2), middle.offset);

    fcltest::ProgramRun run = restore();
    EXPECT_EQ(run.status, c.status) << run.describe();
    EXPECT_EQ(run.out.find("Restore succeeded"), std::string::npos) << run.out;
    EXPECT_NE((run.out + run.err).find(c.said), std::string::npos) << run.describe();

    // Everything of the first file, and of the second up to the damage, is restored as it was.
    auto expectRestored = [&](const fclarchive::IndexEntry& item) {
        if (item.kind == fclarchive::kKindFile) {
            EXPECT_EQ(fcltest::readFile(dest() + item.path), fcltest::readFile(item.path)) << item.path;
        } else {
            EXPECT_EQ(access((dest() + item.path).c_str(), F_OK), 0) << item.path << " missing";
        }
    };
    for (const fclarchive::IndexEntry& item : indexes[1]) {
        expectRestored(item);
    }
    for (const fclarchive::IndexEntry& item : indexes[2]) {
        if (item.offset < middle.offset && c.laterFilesRead == false) {
            expectRestored(item);
        }
    }
    for (const fclarchive::IndexEntry& item : indexes[3]) {
        if (c.laterFilesRead) {
            expectRestored(item);
        } else if (item.kind == fclarchive::kKindFile) {
            // A job stopped by the damage reads no further file: nothing of the third is made.
            EXPECT_NE(access((dest() + item.path).c_str(), F_OK), 0) << item.path;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Archives, OneOfSeveralFails,
    ::testing::Values(
        // The file is gone, its index is not: its items are asked for, get no result, and the job says so.
        OneFileFails{"lost", [](const std::string& path, uint64_t) { ASSERT_EQ(unlink(path.c_str()), 0); }, 1,
                     "item(s) not restored", true},
        // A damaged buffer is a read failure, which ends the job.
        OneFileFails{"damaged",
                     [](const std::string& path, uint64_t middle) {
                         std::string bytes = fcltest::readFile(path);
                         bytes[middle + 0x07] ^= 0x01;
                         fcltest::writeFile(path, bytes);
                     },
                     2, "Restore failed: the backup cannot be read: checksum mismatch in", false}),
    [](const ::testing::TestParamInfo<OneFileFails>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
