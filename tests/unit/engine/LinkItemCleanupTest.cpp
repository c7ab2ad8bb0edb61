// An item named only by its hard-link names (a placeholder header, each name in a PL_FS_OPT_HDR2, the first taking the
// object and the others linked to it before the data) that ends, or stops before its end: cut by the next item's
// header or by the end of the stream, before or after its data, or its data unreadable. The object made for its first
// name is closed and released with its descriptor; every name gets the item's result, and when the item fails its
// names go with its partial file; the items after it are restored. Under AddressSanitizer the child also fails on
// anything left allocated.
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

enum class Ending { kEnd, kNextHeader, kStreamEnd, kReadError };

struct Case {
    const char* name;
    bool data;  // the item's data came before its end or the cut
    Ending ending;
    int status;  // of each name: 5 restored, 3 failed, 10 unreadable
};

const Case kCases[] = {
    {"whole", true, Ending::kEnd, 5},
    {"whole, without data", false, Ending::kEnd, 5},
    {"cut by the next header after the data", true, Ending::kNextHeader, 3},
    {"cut by the next header before the data", false, Ending::kNextHeader, 3},
    {"cut by the end of the stream after the data", true, Ending::kStreamEnd, 3},
    {"cut by the end of the stream before the data", false, Ending::kStreamEnd, 3},
    {"data unreadable", true, Ending::kReadError, 10},
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

struct stat statOf(const std::string& path) {
    struct stat st = {};
    if (lstat(path.c_str(), &st) != 0) {
        st.st_ino = 0;
    }
    return st;
}

class LinkItemCleanup : public PipelineFixture {};

TEST_F(LinkItemCleanup, EveryNameGetsTheItemsResultAndNoObjectNorDescriptorIsLeft) {
    const std::vector<std::string> names = {std::string(kRoot) + "/first", std::string(kRoot) + "/second"};
    const std::string after = std::string(kRoot) + "/after";
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        for (const std::string& dir : {dest_, media_}) {
            fcltest::removeTree(dir);
            ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        }
        {
            fcltest::ArchiveBuilder stream(media_);
            stream.directory(kRoot);
            for (const std::string& name : names) {
                stream.indexLine(stream.offset(), fclarchive::kKindFile, name);
            }
            stream.headerOnly(fcltest::ItemHeader::file("/__WZHardLink@-@-Files__/77", c.data ? kContent.size() : 0));
            for (const std::string& name : names) {
                stream.buffer(PL_FS_OPT_HDR2, name + '\0');
            }
            if (c.data) {
                stream.data(kContent);
            }
            if (c.ending == Ending::kStreamEnd) {
                // The end of the archive inside the item, as no archive file holds it.
                stream.buffer(PL_FS_CLOSE_AFILE, "");
            } else {
                if (c.ending != Ending::kNextHeader) {
                    stream.end();
                }
                stream.file(after, "after\n");
            }
            stream.finish();
        }
        fclarchive::hooks::passAnyBufferType(c.ending == Ending::kStreamEnd);
        if (c.ending == Ending::kReadError) {
            fclarchive::hooks::failDataRead(0);
        }
        EXPECT_EQ(inChild([&] {
                      FclRestore* job = makeJob();
                      fir::FirJobOptions options;
                      options.mediaDir = media_;
                      options.destDir = dest_;
                      runHostedJob(*job, engineEnd_.get(), *fir_, options);
                      EXPECT_EQ(job->HLRO, nullptr);
                      EXPECT_EQ(job->_ro, nullptr);
                      EXPECT_TRUE(job->_hlroLinkedNames.empty());
                      EXPECT_EQ(descriptorsBeneath(dest_), std::vector<std::string>());
                      ASSERT_NE(job->_results, nullptr);
                      for (const std::string& name : names) {
                          EXPECT_EQ(statusesOf(job->_results->filePath(), dest_ + name), std::vector<int>{c.status})
                              << name;
                      }
                      const struct stat first = statOf(dest_ + names[0]);
                      const struct stat second = statOf(dest_ + names[1]);
                      if (c.status == 5) {
                          EXPECT_NE(first.st_ino, 0u);
                          EXPECT_EQ(second.st_ino, first.st_ino);
                          EXPECT_EQ(fcltest::readFile(dest_ + names[1]), c.data ? kContent : "");
                      } else {
                          EXPECT_EQ(first.st_ino, 0u) << "the partial file stayed";
                          EXPECT_EQ(second.st_ino, 0u) << "a name of the partial file stayed";
                      }
                      if (c.ending != Ending::kStreamEnd) {
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
