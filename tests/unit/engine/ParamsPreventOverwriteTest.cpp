// A job that must not overwrite fails on a destination that holds something and passes on an empty or missing one;
// the marker its first restored item leaves lets a restarted run of the same job pass.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/events/EvEvent.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/results/StoreResults.h"
#include "platform/settings/PlatformPaths.h"
#include "tests/unit/engine/ParamsFixture.h"

namespace jobtest {
namespace {

const char kMayNotOverwrite[] = "[RestoreTask]\n0x1d4cd = 0\n";
const char kMarker[] = "SkipPreventOverwriteOnRestart";

// The job's results directory, as the store names it (zendrel 0, job 4711).
std::string resultsDirectory(const fcltest::ScratchDir& scratch) {
    return scratch / "results/0/4711/";
}

enum class Content { Missing, NotADirectory, Empty, OneFile, OneDirectory, OneLink };

struct DestinationCase {
    const char* name;
    const char* settings;
    Content content;
    bool fails;
};

const DestinationCase kDestinationCases[] = {
    {"missing", kMayNotOverwrite, Content::Missing, false},
    // Any open error but a refused permission lets the job go on.
    {"not a directory", kMayNotOverwrite, Content::NotADirectory, false},
    {"only . and ..", kMayNotOverwrite, Content::Empty, false},
    {"a file", kMayNotOverwrite, Content::OneFile, true},
    {"a directory", kMayNotOverwrite, Content::OneDirectory, true},
    {"a dangling link", kMayNotOverwrite, Content::OneLink, true},
    {"overwriting allowed", "[RestoreTask]\n0x1d4cd = 1\n", Content::OneFile, false},
    {"property unreadable", "[RestoreTask]\n0x1d4cd = maybe\n", Content::OneFile, false},
    {"property absent", "", Content::OneFile, false},
};

void makeDestination(const std::string& path, Content content) {
    if (content == Content::Missing) {
        return;
    }
    if (content == Content::NotADirectory) {
        fcltest::writeFile(path, "x");
        return;
    }
    mkdir(path.c_str(), 0755);
    switch (content) {
        case Content::OneFile:
            fcltest::writeFile(path + "/file", "x");
            break;
        case Content::OneDirectory:
            mkdir((path + "/dir").c_str(), 0755);
            break;
        case Content::OneLink:
            EXPECT_EQ(symlink("nowhere", (path + "/link").c_str()), 0);
            break;
        default:
            break;
    }
}

class ParamsPreventOverwriteTest : public ParamsFixture {};

TEST_F(ParamsPreventOverwriteTest, DestinationThatHoldsSomethingFailsTheJob) {
    for (const DestinationCase& c : kDestinationCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inChild([&] {
                      wzlog::ScopedCapture log;
                      const std::string destination = scratch_ / "dest";
                      makeDestination(destination, c.content);
                      writeSettings(c.settings);
                      ParamsJob* job = startParamsJob();
                      EXPECT_EQ(setParams({destination, FSR_OPT_OUT_OF_PLACE, 1}), !c.fails);
                      EXPECT_EQ(job->isFatalError(), c.fails);
                      EXPECT_EQ(fir_->waitFor({FSR_MSG_FATAL_ERROR}, c.fails ? 10000 : 200), c.fails);
                      if (c.fails) {
                          EXPECT_EQ(job->getFailureReason(), "Restore: Destination directory is not empty.");
                          EXPECT_TRUE(log->contains("Prevent restore overwrite is enabled. destDir " + destination +
                                                    " is not empty. Fail the restore."));
                          std::vector<EvRaisedEvent> events = wzplatform::raisedEvents();
                          ASSERT_EQ(events.size(), 1u);
                          EXPECT_EQ(events[0].severity, EV_MAJOR);
                          EXPECT_EQ(events[0].messageId, 0x17000078);
                          std::vector<JMPendingCause> causes = wzplatform::pendingCauses();
                          ASSERT_EQ(causes.size(), 1u);
                          EXPECT_EQ(causes[0].code, 0x17000078);
                          EXPECT_EQ(causes[0].arguments, (std::vector<std::string>{destination, "dst-host"}));
                          // Nothing after the test ran: no results store was opened.
                          EXPECT_EQ(job->_results, nullptr);
                      }
                      finishJob();
                      fcltest::removeTree(destination);
                  }),
                  0);
    }
}

TEST_F(ParamsPreventOverwriteTest, UnreadableDestinationFailsTheJob) {
    EXPECT_EQ(inChild([&] {
                  wzlog::ScopedCapture log;
                  const std::string destination = scratch_ / "closed";
                  mkdir(destination.c_str(), 0700);
                  writeSettings(kMayNotOverwrite);
                  ParamsJob* job = startParamsJob();
                  // Root reads any directory: the test reads it as a user who may not, but who may read the
                  // settings and reach the destination's parent. Asked once: the borrowed identity is no root.
                  const bool root = fcltest::isRoot();
                  if (root) {
                      chmod(scratch_.path().c_str(), 0755);
                      ASSERT_EQ(setegid(65534), 0);
                      ASSERT_EQ(seteuid(65534), 0);
                  } else {
                      chmod(destination.c_str(), 0);
                  }
                  const bool fails = job->IsPreventOverwriteFailJob(destination.c_str());
                  if (root) {
                      ASSERT_EQ(seteuid(0), 0);
                      ASSERT_EQ(setegid(0), 0);
                  }
                  EXPECT_TRUE(fails);
                  EXPECT_TRUE(log->contains("Prevent restore overwrite is enabled. Permission denied on destDir " +
                                            destination + ". Fail the restore."));
                  chmod(destination.c_str(), 0700);
                  finishJob();
              }),
              0);
}

// A restart finds the marker and passes without looking at the overwrite property or the destination.
TEST_F(ParamsPreventOverwriteTest, MarkerOfAnEarlierRunLetsTheRestartPass) {
    EXPECT_EQ(inChild([&] {
                  wzlog::ScopedCapture log;
                  const std::string destination = scratch_ / "dest";
                  makeDestination(destination, Content::OneFile);
                  ASSERT_TRUE(wzplatform::makeDirectories(resultsDirectory(scratch_)));
                  fcltest::writeFile(resultsDirectory(scratch_) + kMarker, "");
                  writeSettings(kMayNotOverwrite);
                  ParamsJob* job = startParamsJob();
                  EXPECT_TRUE(setParams({destination, FSR_OPT_OUT_OF_PLACE, 1}));
                  EXPECT_TRUE(log->contains("PreventOverwrite hook file " + resultsDirectory(scratch_) + kMarker +
                                            " is present. It is a restart job"));
                  EXPECT_FALSE(log->contains("Can overwrite ="));
                  EXPECT_FALSE(job->isFatalError());
                  finishJob();
              }),
              0);
}

struct MarkerCase {
    const char* name;
    unsigned long long options;
    bool ruvo;
    bool written;
};

const MarkerCase kMarkerCases[] = {
    {"out of place", FSR_OPT_OUT_OF_PLACE | FSR_OPT_REPORT_PROGRESS, false, true},
    {"in place", FSR_OPT_REPORT_PROGRESS, false, false},
    {"index cache", FSR_OPT_OUT_OF_PLACE | FSR_OPT_INDEX_CACHE, false, false},
    {"Ruvo restore", FSR_OPT_OUT_OF_PLACE | FSR_OPT_REPORT_PROGRESS, true, false},
};

// The first successful item leaves the marker (once per process: a later success writes nothing, even after the
// marker was removed); failed items and other jobs leave none.
TEST_F(ParamsPreventOverwriteTest, FirstRestoredItemLeavesTheMarker) {
    for (const MarkerCase& c : kMarkerCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inChild([&] {
                      wzlog::ScopedCapture log;
                      ParamsJob* job = startParamsJob();
                      job->_fclRestoreUnix->_ruvoRestore = c.ruvo;
                      EXPECT_TRUE(setParams({scratch_ / "dest", c.options, 1}));
                      giveFactory(c.options);
                      const std::string marker = resultsDirectory(scratch_) + kMarker;
                      job->HandleRestoreFileUpdate("/src/failed", 0x1700003e, nullptr, "");
                      EXPECT_NE(access(marker.c_str(), F_OK), 0);
                      job->HandleRestoreFileUpdate("/src/first", 0, nullptr, "");
                      EXPECT_EQ(access(marker.c_str(), F_OK) == 0, c.written);
                      if (c.written) {
                          EXPECT_TRUE(log->contains("Creating hook file " + marker));
                          EXPECT_EQ(marker.find("//"), std::string::npos);
                          unlink(marker.c_str());
                      }
                      job->HandleRestoreFileUpdate("/src/second", 0, nullptr, "");
                      EXPECT_NE(access(marker.c_str(), F_OK), 0);
                      finishJob();
                  }),
                  0);
    }
}

}  // namespace
}  // namespace jobtest
