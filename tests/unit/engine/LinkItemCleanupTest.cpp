// An item named only by its hard-link names (a placeholder header, each name in a PL_FS_OPT_HDR2) that stops before
// its end: cut by the next item's header or by the end of the stream, before or after its data. The object made for
// its first name is closed and released with its descriptor, the name is recorded failed and its partial file goes,
// and the items after it are restored. Under AddressSanitizer the child also fails on anything left allocated.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <sstream>
#include <string>
#include <vector>

#include "platform/archive/ArchiveFormat.h"
#include "platform/archive/ArchiveHooks.h"
#include "platform/results/StoreResults.h"
#include "protocol/PipelineBuffer.h"
#include "tests/common/ArchiveBuilder.h"
#include "tests/unit/engine/PipelineFixture.h"

namespace jobtest {
namespace {

const char kRoot[] = "/link-items";
const std::string kContent = "the data of the group\n";

struct Cut {
    const char* name;
    bool data;          // the item's data came before the cut
    bool streamEndsIt;  // the end of the stream cuts it, else the next item's header
};

const Cut kCuts[] = {
    {"next header, after the data", true, false},
    {"next header, before the data", false, false},
    {"end of the stream, after the data", true, true},
    {"end of the stream, before the data", false, true},
};

// The descriptors of the process that name something beneath `dir` (the destination gate holds `dir` itself).
std::vector<std::string> descriptorsBeneath(const std::string& dir) {
    const std::string prefix = dir + "/";
    std::vector<std::string> found;
    DIR* fds = opendir("/proc/self/fd");
    while (const dirent* entry = readdir(fds)) {
        char target[PATH_MAX + 1];
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t n = readlink(link.c_str(), target, PATH_MAX);
        if (n > 0 && std::string(target, static_cast<size_t>(n)).compare(0, prefix.size(), prefix) == 0) {
            found.emplace_back(target, static_cast<size_t>(n));
        }
    }
    closedir(fds);
    return found;
}

// The status of each results line whose path is `path`.
std::vector<int> statusesOf(const std::string& resultsFile, const std::string& path) {
    std::vector<int> statuses;
    std::istringstream in(fcltest::readFile(resultsFile));
    for (std::string line; std::getline(in, line);) {
        const size_t tab = line.rfind('\t');
        if (tab != std::string::npos && line.compare(0, path.size() + 1, path + " ") == 0) {
            statuses.push_back(std::stoi(line.substr(tab + 1)));
        }
    }
    return statuses;
}

class LinkItemCleanup : public PipelineFixture {};

TEST_F(LinkItemCleanup, AnItemStoppedBeforeItsEndLeavesNoObjectNorDescriptor) {
    const std::string first = std::string(kRoot) + "/first";
    const std::string after = std::string(kRoot) + "/after";
    for (const Cut& cut : kCuts) {
        SCOPED_TRACE(cut.name);
        for (const std::string& dir : {dest_, media_}) {
            fcltest::removeTree(dir);
            ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        }
        {
            fcltest::ArchiveBuilder stream(media_);
            stream.directory(kRoot);
            stream.indexLine(stream.offset(), fclarchive::kKindFile, first);
            stream.headerOnly(fcltest::ItemHeader::file("/__WZHardLink@-@-Files__/77", kContent.size()));
            stream.buffer(PL_FS_OPT_HDR2, first + '\0');
            if (cut.data) {
                stream.data(kContent);
            }
            if (cut.streamEndsIt) {
                // The end of the archive inside the item, as no archive file holds it.
                stream.buffer(PL_FS_CLOSE_AFILE, "");
            } else {
                stream.file(after, "after\n");
            }
            stream.finish();
        }
        fclarchive::hooks::passAnyBufferType(cut.streamEndsIt);
        EXPECT_EQ(inChild([&] {
                      FclRestore* job = makeJob();
                      fir::FirJobOptions options;
                      options.mediaDir = media_;
                      options.destDir = dest_;
                      runHostedJob(*job, engineEnd_.get(), *fir_, options);
                      EXPECT_EQ(job->HLRO, nullptr);
                      EXPECT_EQ(job->_ro, nullptr);
                      EXPECT_EQ(descriptorsBeneath(dest_), std::vector<std::string>());
                      ASSERT_NE(job->_results, nullptr);
                      EXPECT_EQ(statusesOf(job->_results->filePath(), dest_ + first), std::vector<int>{3});
                      struct stat st;
                      EXPECT_NE(lstat((dest_ + first).c_str(), &st), 0) << "the partial file stayed";
                      if (!cut.streamEndsIt) {
                          EXPECT_EQ(fcltest::readFile(dest_ + after), "after\n");
                      }
                      destroyJob();
                  }),
                  0);
        fclarchive::hooks::reset();
    }
}

}  // namespace
}  // namespace jobtest
