// The destination and the source-path array of FSR_MSG_SET_PARAMS, and the failures that end the handler there: a
// share that cannot be mounted, an identity switch that fails, an array that cannot be made.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "clRestore/engine/RestoreIdentity.h"
#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/events/EvEvent.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "platform/mounts/FileShareAutoMountManager.h"
#include "platform/results/StoreResults.h"
#include "tests/unit/engine/ParamsFixture.h"

namespace jobtest {
namespace {

class ParamsDestinationTest : public ParamsFixture {};

TEST_F(ParamsDestinationTest, LeadingSpacesAreNotPartOfTheDestination) {
    EXPECT_EQ(inChild([&] {
                  ParamsJob* job = startParamsJob();
                  EXPECT_TRUE(setParams({"   /data/restore", 0, 1}));
                  EXPECT_EQ(job->getDestPath(), "/data/restore");
                  EXPECT_EQ(job->_destPathMap[0], "/data/restore");
                  finishJob();
              }),
              0);
}

// The job keeps its destination as written; the emptiness test and its event see '/' separators.
TEST_F(ParamsDestinationTest, BackslashSeparatorsAreTestedAsSlashes) {
    EXPECT_EQ(inChild([&] {
                  const std::string destination = scratch_ / "taken";
                  mkdir(destination.c_str(), 0755);
                  fcltest::writeFile(destination + "/present", "x");
                  std::string written = destination;
                  std::replace(written.begin(), written.end(), '/', '\\');
                  writeSettings("[RestoreTask]\n0x1d4cd = 0\n");
                  ParamsJob* job = startParamsJob();
                  EXPECT_FALSE(setParams({written, FSR_OPT_OUT_OF_PLACE, 1}));
                  EXPECT_EQ(job->getDestPath(), written);
                  std::vector<EvRaisedEvent> events = wzplatform::raisedEvents();
                  ASSERT_EQ(events.size(), 1u);
                  EXPECT_EQ(events[0].messageId, 0x17000078);
                  ASSERT_EQ(events[0].arguments.size(), 2u);
                  EXPECT_EQ(events[0].arguments[0].asText(), destination);
                  EXPECT_EQ(events[0].arguments[1].asText(), "dst-host");
                  finishJob();
              }),
              0);
}

struct ArrayCase {
    const char* name;
    unsigned long long count;
    bool handled;
    bool array;
};

const ArrayCase kArrayCases[] = {
    {"no source paths", 0, true, false},
    {"three source paths", 3, true, true},
    // A count no array can hold is a failed allocation, not a wrapped size.
    {"count beyond memory", 1ULL << 62, false, false},
};

TEST_F(ParamsDestinationTest, SourcePathArrayFollowsTheCount) {
    for (const ArrayCase& c : kArrayCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inChild([&] {
                      wzlog::ScopedCapture log;
                      ParamsJob* job = startParamsJob();
                      EXPECT_EQ(setParams({"/dest", 0, c.count}), c.handled);
                      EXPECT_EQ(job->_srcPaths != nullptr, c.array);
                      if (c.array) {
                          for (unsigned long long i = 0; i < c.count; ++i) {
                              EXPECT_EQ(job->_srcPaths[i].path, nullptr);
                              EXPECT_EQ(job->_srcPaths[i].index, 0);
                          }
                      }
                      if (!c.handled) {
                          EXPECT_TRUE(log->contains("Could not alloc memory for restore pathnames"));
                          EXPECT_EQ(job->getFailureReason(), "Restore: Insufficient memory for process execution.");
                          std::vector<EvRaisedEvent> events = wzplatform::raisedEvents();
                          ASSERT_EQ(events.size(), 1u);
                          EXPECT_EQ(events[0].severity, EV_CRITICAL);
                          EXPECT_EQ(events[0].messageId, 0x1c000082);
                          std::vector<JMPendingCause> causes = wzplatform::pendingCauses();
                          ASSERT_EQ(causes.size(), 1u);
                          EXPECT_EQ(causes[0].code, 0x1c000082);
                          // Not a fatal stop: the job still ends when the FIR ends it.
                          EXPECT_FALSE(job->isFatalError());
                          // The steps after the failure did not run.
                          EXPECT_EQ(job->_results, nullptr);
                      }
                      finishJob();
                  }),
                  0);
    }
}

// A second set of parameters after a whole round of source paths: the earlier array and the factory reading it go,
// the new count gets its own empty array, and the next round builds the factory again.
TEST_F(ParamsDestinationTest, SecondParametersStartTheSourcePathsAgain) {
    EXPECT_EQ(inChild([&] {
                  wzlog::ScopedCapture log;
                  ParamsJob* job = startParamsJob();
                  auto sendPath = [&](long long index, const char* path) {
                      FSRSrcPath record;
                      record.index = index;
                      record.path = const_cast<char*>(path);
                      EXPECT_FALSE(fir_->send(FSR_MSG_SRC_PATH, &record, sizeof record).IsError());
                  };
                  EXPECT_TRUE(setParams({"/dest", FSR_OPT_OUT_OF_PLACE, 1}));
                  sendPath(0, "/src/only");
                  // Handled in order on the processing thread: the path's factory exists when these run.
                  EXPECT_TRUE(setParams({"/dest", FSR_OPT_OUT_OF_PLACE, 3}));
                  EXPECT_EQ(job->_factory, nullptr);
                  ASSERT_NE(job->_srcPaths, nullptr);
                  for (int i = 0; i < 3; ++i) {
                      EXPECT_EQ(job->_srcPaths[i].path, nullptr);
                  }
                  sendPath(1, "/src/b");
                  sendPath(0, "/src/a");
                  sendPath(2, "/src/c");
                  finishJob();
                  EXPECT_FALSE(job->isFatalError());
                  EXPECT_NE(job->_factory, nullptr);
                  EXPECT_STREQ(job->_srcPaths[0].path, "/src/a");
                  EXPECT_STREQ(job->_srcPaths[2].path, "/src/c");
              }),
              0);
}

TEST_F(ParamsDestinationTest, ResultsStoreThatCannotBeMadeEndsTheHandler) {
    EXPECT_EQ(inChild([&] {
                  wzlog::ScopedCapture log;
                  writeSettings("[FileSystemAgent]\nisRestoreAsSparseFile = y\n");
                  ParamsJob* job = startParamsJob();
                  StoreResults::allocationFaults().failNext(1);
                  EXPECT_FALSE(setParams({"/dest", 0, 1}));
                  EXPECT_TRUE(log->contains("Could not alloc memory for StoreResults object"));
                  EXPECT_EQ(job->getFailureReason(), "Restore: Insufficient memory for process execution.");
                  std::vector<JMPendingCause> causes = wzplatform::pendingCauses();
                  ASSERT_EQ(causes.size(), 1u);
                  EXPECT_EQ(causes[0].code, 0x1c000082);
                  EXPECT_FALSE(job->isFatalError());
                  // The archive reader was not told its options (0x8 is in every word the handler hands over), and
                  // the later steps did not run.
                  EXPECT_EQ(job->_archive->options() & 0x8, 0u);
                  EXPECT_EQ(job->_setParams->options & FSR_OPT_SPARSE_RESTORE, 0u);
                  finishJob();
              }),
              0);
}

TEST_F(ParamsDestinationTest, MissingArchiveReaderEndsTheHandlerQuietly) {
    EXPECT_EQ(inChild([&] {
                  wzlog::ScopedCapture log;
                  writeSettings("[FileSystemAgent]\nisRestoreAsSparseFile = y\n");
                  ParamsJob* job = startParamsJob();
                  // The processing thread needs the reader as it starts: it is taken away only after that (bounded
                  // wait), and kept alive until the job has ended, since the receive loop may be using it.
                  for (int i = 0; i < 3000 && !log->contains("Setting Multi tagged buffer"); ++i) {
                      usleep(10000);
                  }
                  ASSERT_TRUE(log->contains("Setting Multi tagged buffer"));
                  std::unique_ptr<FsRestoreArchive> reader(job->_archive);
                  job->_archive = nullptr;
                  EXPECT_FALSE(setParams({"/dest", 0, 1}));
                  EXPECT_TRUE(log->contains("_archive object is not allocated in OnMsgSetParams"));
                  EXPECT_NE(job->_results, nullptr);
                  EXPECT_EQ(job->_setParams->options & FSR_OPT_SPARSE_RESTORE, 0u);
                  EXPECT_TRUE(wzplatform::pendingCauses().empty());
                  EXPECT_FALSE(job->isFatalError());
                  finishJob();
              }),
              0);
}

TEST_F(ParamsDestinationTest, ShareThatCannotBeMountedStopsTheJob) {
    EXPECT_EQ(inChild([&] {
                  wzlog::ScopedCapture log;
                  InitDataPlan plan;
                  plan.reservedString = "OPT:automountshare=1";
                  ParamsJob* job = startParamsJob(plan);
                  // The manager that would mount it cannot be made.
                  FileShareAutoMountManager::allocationFaults().failNext(1);
                  EXPECT_FALSE(setParams({"/dest", FSR_OPT_OUT_OF_PLACE, 1}));
                  EXPECT_TRUE(job->isFatalError());
                  EXPECT_TRUE(log->contains(" [") && log->contains("FileShareAutoMountManager"));
                  std::vector<JMPendingCause> causes = wzplatform::pendingCauses();
                  ASSERT_EQ(causes.size(), 1u);
                  EXPECT_EQ(causes[0].code, 0x170000b5);
                  EXPECT_TRUE(causes[0].withEvent);
                  ASSERT_EQ(causes[0].arguments.size(), 1u);
                  EXPECT_NE(causes[0].arguments[0].find("FileShareAutoMountManager"), std::string::npos);
                  finishJob();
              }),
              0);
}

TEST_F(ParamsDestinationTest, DestinationShareIsMountedAndRestoredThroughOrStopsTheJob) {
    struct Row {
        bool reachable;
        bool started;
    } rows[] = {{true, true}, {false, false}};
    for (const Row& row : rows) {
        EXPECT_EQ(inChild([&] {
                      wzmounts::ShareEntry share;
                      share.share = "srv:/out";
                      share.location = "/l/out";
                      share.unreachable = !row.reachable;
                      wzmounts::addShare(share);
                      wzlog::ScopedCapture log;
                      ParamsJob* job = startParamsJob(InitDataPlan());
                      EXPECT_EQ(setParams({"srv:/out/sub", FSR_OPT_OUT_OF_PLACE, 1}), row.started);
                      EXPECT_EQ(job->isFatalError(), !row.started);
                      if (row.started) {
                          EXPECT_TRUE(log->contains("Automounted destDir='/l/out/sub'"));
                          EXPECT_EQ(wzmounts::shareCalls(), (std::vector<std::string>{"mount srv:/out"}));
                      } else {
                          std::vector<JMPendingCause> causes = wzplatform::pendingCauses();
                          ASSERT_EQ(causes.size(), 1u);
                          EXPECT_EQ(causes[0].code, 0x170000b7);
                          EXPECT_TRUE(log->contains("Error in mounting the destDir [srv:/out/sub]."));
                      }
                      finishJob();
                      // The job's end unmounts what the job mounted, from the destination it was asked for.
                      const std::vector<std::string> calls =
                          row.started ? std::vector<std::string>({"mount srv:/out", "unmount srv:/out"})
                                      : std::vector<std::string>();
                      EXPECT_EQ(wzmounts::shareCalls(), calls);
                  }),
                  0);
    }
}

// The privilege test switches the real ids to the restore user's and back: afterwards the process is itself again,
// and the destination was judged with the restore user's rights.
struct PrivilegeCase {
    const char* name;
    mode_t destinationMode;
    bool allowed;
};

const PrivilegeCase kPrivilegeCases[] = {
    {"writable by the user", 0777, true},
    {"the user may only read", 0755, false},
};

TEST_F(ParamsDestinationTest, PrivilegeTestLeavesTheProcessAsItWas) {
    for (const PrivilegeCase& c : kPrivilegeCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inChild([&] {
                      wzlog::ScopedCapture log;
                      const uid_t uid = getuid();
                      const gid_t gid = getgid();
                      // The restore user must reach the destination through the scratch directory.
                      chmod(scratch_.path().c_str(), 0755);
                      const std::string destination = scratch_ / "dest";
                      mkdir(destination.c_str(), c.destinationMode);
                      chmod(destination.c_str(), c.destinationMode);
                      ParamsJob* job = startParamsJob();
                      job->_impersonating = 1;
                      uName = "restoreuser";
                      uPwd.pw_uid = 65534;
                      uPwd.pw_gid = 65534;
                      uid_orig = uid;
                      gid_orig = gid;
                      const bool handled = setParams({destination, FSR_OPT_OUT_OF_PLACE, 1});
                      EXPECT_EQ(getuid(), uid);
                      EXPECT_EQ(geteuid(), uid);
                      EXPECT_EQ(getgid(), gid);
                      EXPECT_EQ(getegid(), gid);
                      std::vector<JMPendingCause> causes = wzplatform::pendingCauses();
                      if (!fcltest::isRoot()) {
                          // A user cannot take another's ids: the test fails the handler without stopping the job.
                          EXPECT_FALSE(handled);
                          EXPECT_TRUE(log->contains("impersonating with user [restoreuser] uid [65534] gid [65534]"));
                          EXPECT_EQ(job->getFailureReason(), "Restore: Error impersonating as user. ");
                          ASSERT_EQ(causes.size(), 1u);
                          EXPECT_EQ(causes[0].code, 0x1700003b);
                          EXPECT_EQ(causes[0].arguments, std::vector<std::string>{"9"});
                          EXPECT_FALSE(job->isFatalError());
                      } else if (c.allowed) {
                          EXPECT_TRUE(handled);
                          EXPECT_TRUE(causes.empty());
                          EXPECT_FALSE(job->isFatalError());
                      } else {
                          EXPECT_FALSE(handled);
                          EXPECT_TRUE(log->contains("restore user does not have privileges to dest path [" +
                                                    destination + "]"));
                          EXPECT_EQ(job->getFailureReason(), "Restore: Insufficient privileges to restore to path.");
                          std::vector<EvRaisedEvent> events = wzplatform::raisedEvents();
                          ASSERT_EQ(events.size(), 1u);
                          EXPECT_EQ(events[0].severity, EV_MAJOR);
                          EXPECT_EQ(events[0].messageId, 0x17000047);
                          ASSERT_EQ(causes.size(), 1u);
                          EXPECT_EQ(causes[0].code, 0x17000047);
                          EXPECT_EQ(causes[0].arguments, (std::vector<std::string>{destination, "dst-host"}));
                          EXPECT_TRUE(job->isFatalError());
                      }
                      finishJob();
                  }),
                  0);
    }
}

}  // namespace
}  // namespace jobtest
