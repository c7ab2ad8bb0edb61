// The last steps of FSR_MSG_SET_PARAMS: silo and workstation detection, the sparse setting and the folder-time
// decision, which run only after the task's job options were read.
#include <gtest/gtest.h>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/log/LogWriter.h"
#include "tests/unit/engine/ParamsFixture.h"

namespace jobtest {
namespace {

class ParamsStepsTest : public ParamsFixture {};

// The platform gives every job a job-options document, so a job with no special options reaches both steps.
TEST_F(ParamsStepsTest, JobWithoutSpecialOptionsRunsSparseAndFolderTimeSteps) {
    EXPECT_EQ(inChild([&] {
                  writeSettings("[FileSystemAgent]\nisRestoreAsSparseFile = y\n");
                  ParamsJob* job = startParamsJob();
                  EXPECT_FALSE(job->IsTimestampRestoreEnabled());
                  EXPECT_TRUE(setParams({"/dest", FSR_OPT_OUT_OF_PLACE, 1}));
                  EXPECT_NE(job->_setParams->options & FSR_OPT_SPARSE_RESTORE, 0u);
                  EXPECT_TRUE(job->IsTimestampRestoreEnabled());
                  finishJob();
              }),
              0);
}

struct DocumentCase {
    const char* name;
    const char* document;
};

// A document that cannot be read as job options ends the handler quietly before both steps.
const DocumentCase kUnusableDocuments[] = {
    {"not XML", "<TMMsg_JobOption"},
    {"another root", "<SomethingElse/>"},
};

TEST_F(ParamsStepsTest, UnusableJobOptionsEndTheHandlerBeforeBothSteps) {
    for (const DocumentCase& c : kUnusableDocuments) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inChild([&] {
                      writeSettings(std::string("[FileSystemAgent]\nisRestoreAsSparseFile = y\n[JobOptions]\nxml = ") +
                                    c.document + "\n");
                      ParamsJob* job = startParamsJob();
                      EXPECT_FALSE(setParams({"/dest", FSR_OPT_OUT_OF_PLACE, 1}));
                      EXPECT_EQ(job->_setParams->options & FSR_OPT_SPARSE_RESTORE, 0u);
                      EXPECT_FALSE(job->IsTimestampRestoreEnabled());
                      EXPECT_FALSE(job->isFatalError());
                      finishJob();
                  }),
                  0);
    }
}

struct SparseCase {
    const char* settings;
    bool sparse;
};

const SparseCase kSparseCases[] = {
    {"[FileSystemAgent]\nisRestoreAsSparseFile = Yes\n", true},
    {"[FileSystemAgent]\nisRestoreAsSparseFile = y\n", true},
    {"[FileSystemAgent]\nisRestoreAsSparseFile = n\n", false},
    {"[FileSystemAgent]\nisRestoreAsSparseFile =\n", false},
    {"", false},
};

TEST_F(ParamsStepsTest, SparseSettingStartingWithYTurnsSparseRestoreOn) {
    for (const SparseCase& c : kSparseCases) {
        SCOPED_TRACE(c.settings);
        EXPECT_EQ(inChild([&] {
                      wzlog::ScopedCapture log;
                      writeSettings(c.settings);
                      ParamsJob* job = startParamsJob();
                      EXPECT_TRUE(setParams({"/dest", 0, 1}));
                      EXPECT_EQ((job->_setParams->options & FSR_OPT_SPARSE_RESTORE) != 0, c.sparse);
                      EXPECT_EQ(log->contains("Registry key isRestoreAsSparseFile set to 'y'. Files will be recovered "
                                              "sparse when possible."),
                                c.sparse);
                      finishJob();
                  }),
                  0);
    }
}

struct SiloCase {
    const char* name;
    const char* settings;
    unsigned long long options;
    bool silo;
    bool workstation;
    const char* logLine;
};

const SiloCase kSiloCases[] = {
    {"task option", "[TaskOptions]\n7.63 = true\n", 0, true, false, "Restore is SILO"},
    {"single-instance backup set", "[BackupSet]\nappType = 29\nsingleInstanceSilo = yes\n", 0, true, false,
     "Restore is SILO"},
    {"backup set of another kind", "[BackupSet]\nappType = 5\nsingleInstanceSilo = yes\n", 0, false, false,
     "Failed to get the option string from the DB"},
    {"no backup set", "", 0, false, false,
     "WARNING +++++++ backupsetPtr is NULL for zendrelNumber [0] and appNumber [0]."},
    {"personal workstation", "[Client]\npersonalWorkstation = yes\n", 0, false, true,
     "This is restore to personal workstation."},
    {"index cache asks nothing", "[TaskOptions]\n7.63 = true\n[Client]\npersonalWorkstation = yes\n",
     FSR_OPT_INDEX_CACHE, false, false, "Options="},
};

TEST_F(ParamsStepsTest, SiloAndWorkstationAreDetected) {
    for (const SiloCase& c : kSiloCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inChild([&] {
                      wzlog::ScopedCapture log;
                      writeSettings(c.settings);
                      ParamsJob* job = startParamsJob();
                      EXPECT_TRUE(setParams({"/dest", c.options, 1}));
                      EXPECT_EQ(job->GetSiloJobFlag(), c.silo);
                      EXPECT_EQ(job->isRunningOnPersonalWorstationClient(), c.workstation);
                      EXPECT_TRUE(log->contains(c.logLine));
                      finishJob();
                  }),
                  0);
    }
}

}  // namespace
}  // namespace jobtest
