// A search-index restore through a real job: the backup's items carry dummy paths, and the index the settings
// describe says where each belongs. A file lands at the place the index gives, in place or under the destination;
// a file the index has no place for, cannot place or does not know fails as an item without a destination, and a
// place that leads outside is refused.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <ctime>

#include <map>
#include <sstream>

#include "tests/e2e/EndToEnd.h"

namespace e2e {
namespace {

// A distributed job's results file: <results>/<zendrel>/<job id>/restore.out.
std::string distributedResultsUnder(const std::string& resultsDir) {
    std::string found;
    if (DIR* zendrels = opendir(resultsDir.c_str())) {
        while (const dirent* zendrel = readdir(zendrels)) {
            const std::string jobsDir = resultsDir + "/" + zendrel->d_name;
            DIR* jobs = zendrel->d_name[0] != '.' ? opendir(jobsDir.c_str()) : nullptr;
            while (const dirent* job = jobs != nullptr ? readdir(jobs) : nullptr) {
                const std::string candidate = jobsDir + "/" + job->d_name + "/restore.out";
                if (job->d_name[0] != '.' && access(candidate.c_str(), F_OK) == 0) {
                    found = candidate;
                }
            }
            if (jobs != nullptr) {
                closedir(jobs);
            }
        }
        closedir(zendrels);
    }
    return found;
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

size_t countOf(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
        ++count;
    }
    return count;
}

const TreeLayout kBackup = {
    file("dummy/core1/seg1", 70000), file("dummy/core1/unmapped", 10), file("dummy/core1/failing", 10),
    file("dummy/core1/unknown", 10), file("dummy/core1/climbing", 10),
};

// Items of kBackup that fail: unmapped, failing, unknown and climbing.
const uint64_t kFailingItems = 4;

class SearchIndex : public EndToEnd {
protected:
    // One index line: the item at `dummy` below the source belongs at `place`.
    std::string indexFile(const std::string& dummy, const std::string& place, const std::string& flags = "",
                          int kind = 1) const {
        return "file = " + source(dummy) + "|" + place + "|" + std::to_string(kind) + "|" + flags + "\n";
    }
    // The source root's dummy path is the source itself.
    std::string rootFile(const std::string& place) const { return "file = " + source() + "|" + place + "|1|\n"; }

    // The lines every run shares: the items that fail, whatever the places of the others.
    std::string failingFiles(const std::string& climbingPlace) const {
        return indexFile("dummy/core1/unmapped", "/u", "unmapped") +
               indexFile("dummy/core1/failing", "/f", "lookup-fails") +
               indexFile("dummy/core1/climbing", climbingPlace);
    }

    InPlaceRun run(const std::string& index, bool intoDest, bool cloud = false) {
        InPlaceChoice choice;
        choice.settings = "[SearchIndex]\n" + index;
        choice.reservedOptions = {{"DistributedRestore", "1"}, {"SolrIndexRestoreType", cloud ? "2" : "1"}};
        if (cloud) {
            choice.reservedOptions.push_back({"SolrCloudClientID", "7"});
        }
        choice.intoDest = intoDest;
        return restoreInPlace(choice);
    }

    std::string distributedResults() const { return distributedResultsUnder(results()); }

    // Each failing item is in the results file as one without a destination (status 7), not as one without memory.
    void expectFailedWithoutDestination() {
        std::map<std::string, std::string> lines;  // by the path in front
        std::istringstream in(fcltest::readFile(distributedResults()));
        for (std::string line; std::getline(in, line);) {
            lines[line.substr(0, line.find("  "))] = line;
        }
        for (const char* name : {"unmapped", "failing", "unknown", "climbing"}) {
            const auto it = lines.find(source("dummy/core1/") + name);
            ASSERT_NE(it, lines.end()) << name;
            EXPECT_NE(it->second.find("The item has no destination."), std::string::npos) << it->second;
            EXPECT_EQ(it->second.substr(it->second.size() - 3), "  7") << it->second;
        }
        const std::string log = fcltest::readFile(results() + "/fclrestore.log");
        EXPECT_EQ(countOf(log, "processSolrDBFileHeader Failed"), 2u) << "the failing and the unknown file";
        EXPECT_NE(log.find("The search index knows no file [" + source("dummy/core1/unknown") + "]"),
                  std::string::npos);
    }
};

// The index's places lie outside the dummy paths the job selects, as an index's files do: they are restored there.
// A place that climbs out of where the index puts it is refused.
TEST_F(SearchIndex, InPlaceFilesLandWhereTheIndexPutsThem) {
    build(kBackup);
    pack();
    const std::string index = rootFile(beside("solr")) + indexFile("dummy", beside("solr/index")) +
                              indexFile("dummy/core1", beside("solr/index/core1")) +
                              indexFile("dummy/core1/seg1", beside("solr/index/core1/seg1")) +
                              failingFiles(beside("solr/index/../../outside/climbing"));
    const uint64_t items = sourceItems();
    const InPlaceRun r = run(index, false);
    EXPECT_EQ(r.restored, items - kFailingItems) << r.reason;
    EXPECT_EQ(r.failed, kFailingItems) << r.reason;
    EXPECT_EQ(fcltest::readFile(beside("solr/index/core1/seg1")), fcltest::readFile(source("dummy/core1/seg1")));
    EXPECT_FALSE(exists(beside("outside")));
    for (const char* name : {"u", "f"}) {
        EXPECT_FALSE(exists(std::string("/") + name));
    }
    expectFailedWithoutDestination();
}

TEST_F(SearchIndex, OutOfPlaceFilesLandUnderTheDestination) {
    build(kBackup);
    pack();
    const std::string index = rootFile("/coll") + indexFile("dummy", "/coll/data") +
                              indexFile("dummy/core1", "/coll/data/index") +
                              indexFile("dummy/core1/seg1", "/coll/data/index/seg1") + failingFiles("../../climbing");
    const InPlaceRun r = run(index, true);
    EXPECT_EQ(r.restored, sourceItems() - kFailingItems) << r.reason;
    EXPECT_EQ(r.failed, kFailingItems) << r.reason;
    EXPECT_EQ(fcltest::readFile(dest() + "/coll/data/index/seg1"), fcltest::readFile(source("dummy/core1/seg1")));
    // Nothing of the backup lands at its ordinary place, nor where the climbing place leads.
    EXPECT_FALSE(exists(restored()));
    EXPECT_FALSE(exists(dest() + "/u"));
    EXPECT_FALSE(exists(beside("climbing")));
    EXPECT_FALSE(exists(dest() + "/../../climbing"));
    expectFailedWithoutDestination();
}

// A collection restored in place over its own files: a segment newer on disk than in the backup stays, and one as old
// or older is replaced.
TEST_F(SearchIndex, InPlaceCollectionKeepsANewerSegment) {
    build({file("dummy/coll/newer", 3000), file("dummy/coll/older", 3000)});
    pack();
    const int kSegment = 4;
    const std::string index = rootFile(source()) + indexFile("dummy", source("index")) +
                              indexFile("dummy/coll", source("index/coll")) +
                              indexFile("dummy/coll/newer", source("index/coll/newer"), "", kSegment) +
                              indexFile("dummy/coll/older", source("index/coll/older"), "", kSegment);
    ASSERT_EQ(fcltest::runProgram({"mkdir", "-p", source("index/coll")}).status, 0);
    fcltest::writeFile(source("index/coll/newer"), "the newer copy");
    fcltest::writeFile(source("index/coll/older"), "the older copy");
    const time_t later = time(nullptr) + 86400;
    const utimbuf newer = {later, later};
    const utimbuf older = {1, 1};
    ASSERT_EQ(utime(source("index/coll/newer").c_str(), &newer), 0);
    ASSERT_EQ(utime(source("index/coll/older").c_str(), &older), 0);

    const InPlaceRun r = run(index, false, true);
    EXPECT_EQ(r.skipped, 1u) << r.reason;
    EXPECT_EQ(r.failed, 0u) << r.reason;
    EXPECT_EQ(fcltest::readFile(source("index/coll/newer")), "the newer copy");
    EXPECT_EQ(fcltest::readFile(source("index/coll/older")), fcltest::readFile(source("dummy/coll/older")));
    const std::string log = fcltest::readFile(results() + "/fclrestore.log");
    EXPECT_NE(log.find("Newer version exists for Solr file " + source("index/coll/newer")), std::string::npos);
}

}  // namespace
}  // namespace e2e
