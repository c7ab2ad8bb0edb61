// The options word of FSR_MSG_SET_PARAMS: the bits the parameters handler acts on each take effect, the word handed
// to the archive reader is exact, and the bits it does not act on are kept for the later readers.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/log/LogWriter.h"
#include "tests/unit/engine/ParamsFixture.h"

namespace jobtest {
namespace {

// Seek failures fail the job unless told otherwise: the value the handler starts from.
const char kFailOnSeekSettings[] = "[TaskOptions]\n7.27 = false\n";

struct OptionCase {
    const char* name;
    unsigned long long options;
    bool resultsStore;
    unsigned long long compatibility;
    int failOnSeekFailure;
    bool aclOnly;
    unsigned long long clearedAfter;  // bits gone from the job's options afterwards
};

const OptionCase kOptionCases[] = {
    {"plain", 0, true, 0x18, 1, false, 0},
    {"index cache", FSR_OPT_INDEX_CACHE, false, 0x1c, 1, false, 0},
    {"synthetic full", FSR_OPT_SYNTHETIC_FULL, false, 0x1a, 1, false, 0},
    {"index cache and synthetic full", FSR_OPT_INDEX_CACHE | FSR_OPT_SYNTHETIC_FULL, false, 0x1e, 1, false, 0},
    {"spawned restore", FSR_OPT_SPAWNED_RESTORE, false, 0x18, 1, false, FSR_OPT_SPAWNED_RESTORE},
    {"index reconstruction", FSR_OPT_INDEX_RECONSTRUCTION, true, 0x18, 0, false, 0},
    // The synthetic-full decision comes after the reconstruction one and stands.
    {"reconstruction and synthetic full", FSR_OPT_INDEX_RECONSTRUCTION | FSR_OPT_SYNTHETIC_FULL, false, 0x1a, 1, false,
     0},
    {"ACL only", FSR_OPT_ACL_ONLY, true, 0x98, 1, true, 0},
};

class ParamsOptionsTest : public ParamsFixture {};

TEST_F(ParamsOptionsTest, EachBitTakesEffect) {
    for (const OptionCase& c : kOptionCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inChild([&] {
                      writeSettings(kFailOnSeekSettings);
                      ParamsJob* job = startParamsJob();
                      ASSERT_EQ(job->_failOnSeekFailure, 1);
                      EXPECT_TRUE(setParams({"/dest", c.options, 1}));
                      EXPECT_EQ(job->_results != nullptr, c.resultsStore);
                      EXPECT_EQ(job->_archive->options(), c.compatibility);
                      EXPECT_EQ(job->_failOnSeekFailure, c.failOnSeekFailure);
                      EXPECT_EQ(job->IsDontRestoreData(), c.aclOnly);
                      EXPECT_EQ(job->_setParams->options & c.options, c.options & ~c.clearedAfter);
                      EXPECT_EQ(job->_setParams->options & c.clearedAfter, 0u);
                      finishJob();
                  }),
                  0);
    }
}

// The compatibility word: 0x8 always, 0x10 unless raw devices are restored as data, and one bit per option.
struct CompatibilityCase {
    unsigned long long options;
    int rawDeviceData;
    unsigned long long word;
};

const CompatibilityCase kCompatibilityCases[] = {
    {0, 0, 0x18},
    {0, 1, 0x08},
    {FSR_OPT_SYNTHETIC_FULL, 1, 0x0a},
    {FSR_OPT_INDEX_CACHE, 1, 0x0c},
    {FSR_OPT_ACL_ONLY, 1, 0x88},
    {FSR_OPT_ACL_ONLY | FSR_OPT_SYNTHETIC_FULL | FSR_OPT_INDEX_CACHE, 0, 0x9e},
    // Bits the archive reader is not told of leave the word alone.
    {FSR_OPT_OVERWRITE | FSR_OPT_REPORT_PROGRESS | FSR_OPT_RESTART | FSR_OPT_NDMP, 0, 0x18},
};

TEST_F(ParamsOptionsTest, CompatibilityWordHandedToTheArchiveReaderIsExact) {
    for (const CompatibilityCase& c : kCompatibilityCases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.options << " raw " << c.rawDeviceData);
        EXPECT_EQ(inChild([&] {
                      ParamsJob* job = startParamsJob();
                      job->restoreDataInRawDev = c.rawDeviceData;
                      EXPECT_TRUE(setParams({"/dest", c.options, 1}));
                      EXPECT_EQ(job->_archive->options(), c.word);
                      finishJob();
                  }),
                  0);
    }
}

TEST_F(ParamsOptionsTest, MessageBitsJoinThoseAlreadySet) {
    EXPECT_EQ(inChild([&] {
                  ParamsJob* job = startParamsJob();
                  // As FSR_MSG_INIT_DATA_VER2 leaves them for backup type 1.
                  job->_setParams->options = 0x4000;
                  const unsigned long long sent = FSR_OPT_RESTART | FSR_OPT_RESTART_SKIP | FSR_OPT_OVERWRITE |
                                                  FSR_OPT_KEEP_DIR_STRUCTURE | FSR_OPT_REPORT_PROGRESS |
                                                  FSR_OPT_DEST_IS_FILE | FSR_OPT_PG_LOG_RESTORE;
                  EXPECT_TRUE(setParams({"/dest", sent, 4}));
                  EXPECT_EQ(job->_setParams->options, sent | 0x4000);
                  EXPECT_EQ(job->_setParams->numSrcPaths, 4u);
                  finishJob();
              }),
              0);
}

TEST_F(ParamsOptionsTest, OutOfPlaceGatesThePreventOverwriteTest) {
    for (bool outOfPlace : {false, true}) {
        SCOPED_TRACE(outOfPlace ? "out of place" : "in place");
        EXPECT_EQ(inChild([&] {
                      const std::string destination = scratch_ / "full";
                      mkdir(destination.c_str(), 0755);
                      fcltest::writeFile(destination + "/user-file", "mine");
                      writeSettings("[RestoreTask]\n0x1d4cd = 0\n");
                      ParamsJob* job = startParamsJob();
                      const unsigned long long options =
                          outOfPlace ? static_cast<unsigned long long>(FSR_OPT_OUT_OF_PLACE) : 0;
                      EXPECT_EQ(setParams({destination, options, 1}), !outOfPlace);
                      EXPECT_EQ(job->isFatalError(), outOfPlace);
                      finishJob();
                  }),
                  0);
    }
}

}  // namespace
}  // namespace jobtest
