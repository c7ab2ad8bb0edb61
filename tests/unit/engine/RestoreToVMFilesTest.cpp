// A restore into a virtual machine: every closed file of a real job goes on to the plug-in, whose answer is the
// file's result.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "clRestore/support/FsRestoreStatistics.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/results/StoreResults.h"
#include "tests/unit/engine/PipelineFixture.h"

namespace jobtest {
namespace {

struct FileCase {
    const char* name;
    const char* answer;  // the test plug-in's answer for the file
    int status;          // the status of the file's results line
    int code;            // the code of the error line; 0 for none
};

const FileCase kFiles[] = {
    {"taken", "take", 5, 0},
    {"skipped", "skip", 4, 0x17000040},
    {"acl-failed", "acl", 12, 0x17000060},
    {"skipped-and-acl-failed", "both", 4, 0x17000040},
    {"failed", "fail", 3, 0x17000012},
};

// The status of each results line, by the path that starts it.
std::map<std::string, int> resultStatuses(const std::string& resultsFile) {
    std::map<std::string, int> statuses;
    std::istringstream in(fcltest::readFile(resultsFile));
    for (std::string line; std::getline(in, line);) {
        const size_t tab = line.rfind('\t');
        const size_t blank = line.find(' ');
        if (tab != std::string::npos && blank != std::string::npos) {
            statuses[line.substr(0, blank)] = std::stoi(line.substr(tab + 1));
        }
    }
    return statuses;
}

class RestoreToVMFilesTest : public PipelineFixture {};

TEST_F(RestoreToVMFilesTest, ThePluginsAnswerIsEachFilesResult) {
    const std::string source = scratch_ / "tree";
    ASSERT_EQ(mkdir(source.c_str(), 0755), 0);
    for (const FileCase& c : kFiles) {
        fcltest::writeFile(source + "/" + c.name, std::string(5000 + (&c - kFiles), 'v'));
    }
    ASSERT_EQ(packTree(source, media_), 0);
    fcltest::writeFile(settingsPath_,
                       "[JobOptions]\nxml = <TMMsg_JobOption><virtualServerRestore "
                       "restoreToVM=\"true\"/></TMMsg_JobOption>\n");

    EXPECT_EQ(inChild([&] {
                  wzlog::ScopedCapture log;
                  void* plugin = dlopen(FCL_TEST_VM_PLUGIN, RTLD_NOW);
                  ASSERT_NE(plugin, nullptr) << dlerror();
                  auto answerFile =
                      reinterpret_cast<void (*)(const char*, const char*)>(dlsym(plugin, "fclTestPluginAnswerFile"));
                  auto calls = reinterpret_cast<const char* (*)()>(dlsym(plugin, "fclTestPluginCalls"));
                  ASSERT_NE(answerFile, nullptr);
                  for (const FileCase& c : kFiles) {
                      answerFile(c.name, c.answer);
                  }
                  FclRestore* job = makeJob();
                  fir::FirJobOptions options;
                  options.mediaDir = media_;
                  options.destDir = dest_;
                  options.jobId = 4711;
                  options.waitMs = 30000;
                  fir::FirJobResult result = runHostedJob(*job, engineEnd_.get(), *fir_, options);
                  EXPECT_EQ(result.outcome, fir::FirOutcome::Succeeded) << result.reason;

                  const std::string made = calls();
                  ASSERT_NE(job->_results, nullptr);
                  const std::map<std::string, int> statuses = resultStatuses(job->_results->filePath());
                  for (const FileCase& c : kFiles) {
                      SCOPED_TRACE(c.name);
                      const std::string item = source + "/" + c.name;
                      // The file the job closed at the destination, with its byte counts and its header.
                      const std::string size = std::to_string(5000 + (&c - kFiles));
                      EXPECT_NE(made.find("file " + dest_ + item + " " + size + " " + size + " from " + item + ";"),
                                std::string::npos)
                          << made;
                      ASSERT_EQ(statuses.count(item), 1u);
                      EXPECT_EQ(statuses.at(item), c.status);
                      const std::string errorLine =
                          "Can't restore file [" + item + "] to VM. Error code [" + std::to_string(c.code) + "]";
                      EXPECT_EQ(log->contains(errorLine), c.code != 0) << errorLine;
                  }
                  EXPECT_EQ(job->_statistics->getNumFilesFailed(), 2u);
                  EXPECT_EQ(job->_statistics->getNumFilesSkipped(), 2u);
                  // The file whose access-control list failed leaves the job its pending cause.
                  bool aclCause = false;
                  for (const JMPendingCause& cause : wzplatform::pendingCauses()) {
                      aclCause = aclCause || cause.code == 0x1700005f;
                  }
                  EXPECT_TRUE(aclCause);
                  destroyJob();
              }),
              0);
}

}  // namespace
}  // namespace jobtest
