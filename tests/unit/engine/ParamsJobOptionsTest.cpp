// The task's job options read by FSR_MSG_SET_PARAMS: the destination application type, the share mount options, a
// restore into a virtual machine through the plug-in library, and the staging destination of a Spanner instance.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/jobs/WZJobClient.h"
#include "platform/log/LogWriter.h"
#include "tests/unit/engine/ParamsFixture.h"

namespace jobtest {
namespace {

std::string jobOptions(const std::string& sections) {
    return "[JobOptions]\nxml = <TMMsg_JobOption>" + sections + "</TMMsg_JobOption>\n";
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

class ParamsJobOptionsTest : public ParamsFixture {};

struct AppTypeCase {
    const char* name;
    const char* sections;
    unsigned long long destAppType;
};

const AppTypeCase kAppTypeCases[] = {
    {"destination section", "<destination appType=\"63\"/>", 63},
    {"destination beyond 32 bits", "<destination appType=\"0x100000086\"/>", 0x86},
    {"Salesforce instance", "<cloudApps instanceType=\"3\"/>", 0x86},
    {"other cloud instance", "<cloudApps instanceType=\"4\"/>", 0},
    {"no section", "", 0},
};

TEST_F(ParamsJobOptionsTest, DestinationAppTypeComesFromTheJobOptions) {
    for (const AppTypeCase& c : kAppTypeCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inChild([&] {
                      writeSettings(jobOptions(c.sections));
                      ParamsJob* job = startParamsJob();
                      EXPECT_TRUE(setParams({"/dest", 0, 1}));
                      EXPECT_EQ(job->getDestAppType(), c.destAppType);
                      finishJob();
                  }),
                  0);
    }
}

TEST_F(ParamsJobOptionsTest, MountOptionsAreHandedToTheCompanion) {
    for (bool given : {true, false}) {
        EXPECT_EQ(inChild([&] {
                      wzlog::ScopedCapture log;
                      writeSettings(given ? "[RestoreTask]\n0x40c24f9b = vers=3,soft\n" : "");
                      ParamsJob* job = startParamsJob();
                      EXPECT_TRUE(setParams({"/dest", 0, 1}));
                      EXPECT_EQ(job->_fclRestoreUnix->GetAutoMountOptions(), given ? "vers=3,soft" : "");
                      EXPECT_TRUE(log->contains(given ? "MountOptions=[vers=3,soft]"
                                                      : "FILERSTOPTION_SHARE_MOUNT_OPTIONS not set"));
                      finishJob();
                  }),
                  0);
    }
}

// No plug-in is installed on this machine: the job goes on as a file restore, with the later steps at their defaults.
TEST_F(ParamsJobOptionsTest, MissingPluginLeavesAFileRestore) {
    EXPECT_EQ(inChild([&] {
                  wzlog::ScopedCapture log;
                  writeSettings("[FileSystemAgent]\nisRestoreAsSparseFile = y\n" +
                                jobOptions("<virtualServerRestore restoreToVM=\"true\"/>"));
                  ParamsJob* job = startParamsJob();
                  EXPECT_FALSE(setParams({"/dest", FSR_OPT_OUT_OF_PLACE, 1}));
                  EXPECT_TRUE(log->contains("libWZVSAgentless.so is not installed."));
                  EXPECT_FALSE(job->isFatalError());
                  EXPECT_EQ(job->_fclRestoreUnix->_restoreToVM, nullptr);
                  EXPECT_EQ(job->_setParams->options & FSR_OPT_SPARSE_RESTORE, 0u);
                  EXPECT_FALSE(job->IsTimestampRestoreEnabled());
                  finishJob();
              }),
              0);
}

// The test plug-in, loaded by its path before the job loads it by name.
struct TestPlugin {
    TestPlugin() {
        handle = dlopen(FCL_TEST_VM_PLUGIN, RTLD_NOW);
        EXPECT_NE(handle, nullptr) << dlerror();
        failAt = reinterpret_cast<void (*)(const char*)>(dlsym(handle, "fclTestPluginFailAt"));
        calls = reinterpret_cast<const char* (*)()>(dlsym(handle, "fclTestPluginCalls"));
    }
    void* handle = nullptr;
    void (*failAt)(const char*) = nullptr;
    const char* (*calls)() = nullptr;
};

struct PluginCase {
    const char* name;
    const char* failAt;
    bool destinationExisted;
    bool handled;
    bool active;  // the plug-in took the job and its options
    bool fatal;
    const char* calls;
    const char* logLine;
    bool destinationRemains;  // after the job object is gone
};

const PluginCase kPluginCases[] = {
    {"restores into the machine", "", false, true, true, false, "initialize job 4711 client client-a;options;folders;",
     "", false},
    {"no object", "create", false, false, false, false, "",
     "Can't create VSAgentlessRestoreToVM object from libWZVSAgentless.so.", false},
    // The plug-in refused the job before it made anything: the user's destination stays whole.
    {"refuses the job", "initialize", true, false, false, true, "initialize job 4711 client client-a;",
     "Can't initialize VSAAgentlessRestoreToVM.", true},
    {"refuses the options", "options", true, false, false, true, "initialize job 4711 client client-a;options;", "",
     true},
    {"folders fail after being made", "folders-after-making", false, false, true, true,
     "initialize job 4711 client client-a;options;folders;",
     "Can't create destination and staging folders for virtual-server agentless RestoreToVM.", false},
    {"uses an existing destination", "", true, true, true, false,
     "initialize job 4711 client client-a;options;folders;", "", true},
};

TEST_F(ParamsJobOptionsTest, PluginRestoresIntoTheMachineAndRemovesOnlyWhatItMade) {
    for (const PluginCase& c : kPluginCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inChild([&] {
                      wzlog::ScopedCapture log;
                      TestPlugin plugin;
                      ASSERT_NE(plugin.failAt, nullptr);
                      plugin.failAt(c.failAt);
                      const std::string destination = scratch_ / ("vm-dest-" + std::to_string(&c - kPluginCases));
                      if (c.destinationExisted) {
                          mkdir(destination.c_str(), 0755);
                          fcltest::writeFile(destination + "/user-file", "mine");
                      }
                      writeSettings("[Base]\nsClientName = client-a\n" +
                                    jobOptions("<virtualServerRestore restoreToVM=\"true\"/>"));
                      ParamsJob* job = startParamsJob();
                      EXPECT_EQ(setParams({destination, FSR_OPT_OUT_OF_PLACE, 1}), c.handled);
                      EXPECT_EQ(job->isFatalError(), c.fatal);
                      EXPECT_STREQ(plugin.calls(), c.calls);
                      EXPECT_EQ(job->_fclRestoreUnix->_restoreToVMActive, c.active);
                      if (*c.logLine != '\0') {
                          EXPECT_TRUE(log->contains(c.logLine));
                      }
                      finishJob();
                      destroyJob();
                      EXPECT_EQ(exists(destination), c.destinationRemains);
                      if (c.destinationExisted) {
                          EXPECT_TRUE(exists(destination + "/user-file"));
                      }
                      // The object ends through the plug-in, never deleted by the job.
                      const std::string calls = plugin.calls();
                      EXPECT_EQ(calls.find("release") != std::string::npos, c.failAt != std::string("create"));
                  }),
                  0);
    }
}

struct SpannerCase {
    const char* name;
    const char* settings;
    bool handled;
    const char* destination;
    const char* failure;
};

const SpannerCase kSpannerCases[] = {
    {"staging path with a slash", "[CloudSpanner]\nsStagingPath5 = /stage/\n", true, "/stage/restore_4711", ""},
    {"staging path without one", "[CloudSpanner]\nsStagingPath5 = /stage\n", true, "/stage/restore_4711", ""},
    {"no staging path", "", false, "/dest", "Couldn't fetch staging path for Spanner, retCode : [ 2 ]"},
};

TEST_F(ParamsJobOptionsTest, SpannerInstanceRestoresToItsStagingPath) {
    for (const SpannerCase& c : kSpannerCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(
            inChild([&] {
                wzlog::ScopedCapture log;
                writeSettings(c.settings + jobOptions("<cloudDatabase instanceType=\"37\" instanceNumber=\"5\"/>"));
                ParamsJob* job = startParamsJob();
                EXPECT_EQ(setParams({"/dest", 0, 1}), c.handled);
                EXPECT_EQ(job->getDestPath(), c.destination);
                EXPECT_EQ(job->_destPathMap[0], c.destination);
                EXPECT_EQ(job->isFatalError(), !c.handled);
                if (!c.handled) {
                    EXPECT_TRUE(log->contains(c.failure));
                    std::vector<JMPendingCause> causes = wzplatform::pendingCauses();
                    ASSERT_EQ(causes.size(), 1u);
                    EXPECT_EQ(causes[0].code, 0x13000359);
                    EXPECT_EQ(causes[0].arguments, std::vector<std::string>{c.failure});
                }
                finishJob();
            }),
            0);
    }
}

}  // namespace
}  // namespace jobtest
