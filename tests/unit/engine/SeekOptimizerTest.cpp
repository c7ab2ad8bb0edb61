// The seek optimiser: the decision object chosen at each open, and version-10 seeks converted to plain ones after
// the per-item decisions, with the items that need no restore recorded and dropped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/seek/SeekDecision.h"
#include "platform/sync/CSyncRestorePathMapper.h"
#include "tests/unit/engine/BareJob.h"
#include "tests/unit/engine/PipelineFixture.h"

namespace jobtest {
namespace {

// A factory whose job only validates the backup.
class ValidateOnlyFactory : public FsRestoreUnixObjectsFactory {
public:
    explicit ValidateOnlyFactory(FclRestore* job) : FsRestoreUnixObjectsFactory(nullptr, nullptr, 0, nullptr, 0, job) {
        _validateOnlyOption = true;
    }
};

// Records what the result recorder was asked while the restore-status flag was set.
class RecordingResults : public FclRestore {
public:
    void HandleRestoreFileUpdate(const char* path, int errCode, FsRestoreObject*, const std::string& suffix) override {
        updates.push_back(std::string(path) + " " + std::to_string(errCode) + " " + suffix +
                          (IsSkipAddtoRestoreStatus() ? " skip-status" : ""));
    }
    std::vector<std::string> updates;
};

// Decisions that restore everything but `path`.
wzseek::DecisionConfig skipping(const std::string& path, int status, const std::string& destination) {
    wzseek::DecisionConfig config;
    config.optimizationEnabled = true;
    config.skips[path] = {status, destination};
    return config;
}

class SeekOptimizer : public ::testing::Test {
protected:
    SeekOptimizer() { wzseek::hooks::reset(); }
    ~SeekOptimizer() override { wzseek::hooks::reset(); }

    static FSRSeekArchive_10 element(uint64_t offset, char* path, uint64_t flags = 0) {
        FSRSeekArchive_10 e;
        e.offset = offset;
        e.path = path;
        e.flags = flags;
        e.sixthWord = 6;
        e.version = 2;
        e.size = 1234;
        return e;
    }
    static std::vector<uint64_t> offsetsOf(const FSRSeekArchiveArray& array) {
        std::vector<uint64_t> offsets;
        for (uint32_t i = 0; i < array.count; ++i) {
            offsets.push_back(array.entries[i].offset);
        }
        return offsets;
    }
};

TEST_F(SeekOptimizer, ItemsThatNeedNoRestoreAreDroppedAndTheRestForwardedAsPlainSeeks) {
    wzseek::hooks::configure(skipping("/root/b", 0x17000040, "/dest/b"));
    BareJob<> bare;
    ASSERT_TRUE(bare.job.EnableRestoreOptimization());
    EXPECT_TRUE(bare.log->contains("This job will optimize restore"));
    char a[] = "/root/a";
    char b[] = "/root/b";
    char c[] = "\\root\\c";
    char link[] = "link-a";
    std::vector<FSRSeekArchive_10> elements = {element(10, a), element(20, b), element(30, c), element(40, nullptr)};
    elements[0].linkName = link;
    auto array = seekArray<FSRSeekArchiveArray_10>(elements);
    ASSERT_TRUE(bare.job.OnMsgSeekToOffset10(&array));

    ASSERT_EQ(bare.next(), FSR_MSG_SEEK_TO_OFFSET);
    const auto& sent = bare.record<FSRSeekArchiveArray>();
    EXPECT_EQ(offsetsOf(sent), (std::vector<uint64_t>{10, 30, 40}));
    EXPECT_STREQ(sent.entries[0].linkName, "link-a");
    EXPECT_EQ(sent.entries[0].version, 2u);
    // An element without a path is restored without asking.
    EXPECT_EQ(wzseek::hooks::calls(),
              (std::vector<std::string>{"Initialize sync=0 keep=none", "IsRestoreRequired /root/a 6 0 2",
                                        "IsRestoreRequired /root/b 6 0 2", "IsRestoreRequired \\root\\c 6 0 2"}));
    EXPECT_EQ(bare.job._seekItemCount, 3u);
    EXPECT_TRUE(bare.log->contains("converted 3 to FSR_MSG_SEEK_TO_OFFSET"));
}

TEST_F(SeekOptimizer, MessageWhoseItemsAllNeedNoRestoreForwardsNothing) {
    wzseek::hooks::configure(skipping("/root/b", 0x17000040, ""));
    BareJob<> bare;
    ASSERT_TRUE(bare.job.EnableRestoreOptimization());
    char b[] = "/root/b";
    std::vector<FSRSeekArchive_10_V2> elements(1);
    elements[0].offset = 20;
    elements[0].path = b;
    elements[0].extraSeekWord0 = 77;
    auto array = seekArray<FSRSeekArchiveArray_10_V2>(elements);
    ASSERT_TRUE(bare.job.OnMsgSeekToOffset10V2(&array));
    EXPECT_TRUE(bare.log->contains("Nothing needs to be restored, per the seek message."));
    EXPECT_EQ(wzseek::hooks::calls().back(), "IsRestoreRequiredV2 /root/b 0 0 0 77");
    EXPECT_EQ(bare.next(1), 0u);
    EXPECT_EQ(bare.job._fclRestoreUnix->_seeksSent, 0);
}

TEST_F(SeekOptimizer, ExtentsOfAValidateOnlyJobAreAccountedNotRestored) {
    BareJob<RecordingResults> bare;
    delete bare.job._factory;
    bare.job._factory = new ValidateOnlyFactory(&bare.job);
    char extent[] = "/root/extent";
    char container[] = "/root/container";
    char plain[] = "/root/plain";
    std::vector<FSRSeekArchive_10> elements = {element(1, extent, SEEK_ARCHIVE_EXTENT_ITEM),
                                               element(2, container, SEEK_ARCHIVE_HAS_EXTENTS), element(3, plain)};
    auto array = seekArray<FSRSeekArchiveArray_10>(elements);
    ASSERT_TRUE(bare.job.OnMsgSeekToOffset10(&array));
    // The extent item goes to the recorder with the restore status held back; the container through the statistics
    // update, which records it with no suffix.
    const std::string status = std::to_string(0x17000094);
    EXPECT_EQ(bare.job.updates, (std::vector<std::string>{"/root/extent " + status + " Extent skip-status",
                                                          "/root/container " + status + " "}));
    EXPECT_FALSE(bare.job.IsSkipAddtoRestoreStatus());
    ASSERT_EQ(bare.next(), FSR_MSG_SEEK_TO_OFFSET);
    EXPECT_EQ(offsetsOf(bare.record<FSRSeekArchiveArray>()), (std::vector<uint64_t>{3}));
}

// A photo item of the smart-content tree with fewer than five parts is no image of its own: it is accounted and never
// read. Deeper photo items and every other path are forwarded.
TEST_F(SeekOptimizer, ShallowPhotoItemsAreAccountedNotRestored) {
    BareJob<RecordingResults> bare;
    char shallow[] = "/{20d03aa2-7726-42d8-8381-fdda7a8a1c47}/SmartContent/Library/%Photo%/Album/IMG.JPG";
    char deep[] = "/{20d03aa2-7726-42d8-8381-fdda7a8a1c47}/SmartContent/Library/%Photo%/2026/Album/IMG.JPG";
    char notPhoto[] = "/{20d03aa2-7726-42d8-8381-fdda7a8a1c47}/SmartContent/Library/Album/IMG.JPG";
    char plain[] = "/root/plain";
    std::vector<FSRSeekArchive_10> elements = {element(1, shallow), element(2, deep), element(3, notPhoto),
                                               element(4, plain)};
    auto array = seekArray<FSRSeekArchiveArray_10>(elements);
    ASSERT_TRUE(bare.job.OnMsgSeekToOffset10(&array));
    EXPECT_EQ(bare.job.updates,
              (std::vector<std::string>{std::string(shallow) + " " + std::to_string(0x17000076) + " "}));
    ASSERT_EQ(bare.next(), FSR_MSG_SEEK_TO_OFFSET);
    EXPECT_EQ(offsetsOf(bare.record<FSRSeekArchiveArray>()), (std::vector<uint64_t>{2, 3, 4}));
}

TEST_F(SeekOptimizer, DeletionsOfASynchronisedRestoreAreRecordedNotRestored) {
    wzseek::DecisionConfig config;
    config.deletedItemStatus = 0x170000a0;
    wzseek::hooks::configure(config);
    BareJob<> bare;
    bare.job._fclRestoreUnix->_syncRestore = true;
    bare.job._fclRestoreUnix->SetSyncPathMapper(new CSyncRestorePathMapper(1));
    bare.job.EnableRestoreOptimization();
    ASSERT_NE(bare.job._seekDecision, nullptr);
    char gone[] = "/root/gone";
    char kept[] = "/%CACHEDB%/kept";
    std::vector<FSRSeekArchive_10> elements = {element(1, gone, SEEK_ARCHIVE_DELETED_ITEM), element(2, kept)};
    auto array = seekArray<FSRSeekArchiveArray_10>(elements);
    ASSERT_TRUE(bare.job.OnMsgSeekToOffset10(&array));
    std::vector<std::string> calls = wzseek::hooks::calls();
    EXPECT_EQ(calls.front(), "Initialize sync=1 keep=none");
    EXPECT_EQ(calls.back(), "RecordDeletedItem /root/gone 200");
    ASSERT_EQ(bare.next(), FSR_MSG_SEEK_TO_OFFSET);
    EXPECT_EQ(offsetsOf(bare.record<FSRSeekArchiveArray>()), (std::vector<uint64_t>{2}));
    // A cache-database moniker in a seek path makes the job a cache-database restore.
    EXPECT_TRUE(bare.job._fclRestoreUnix->_cacheDbRestore);
    EXPECT_TRUE(bare.log->contains("Found CACHEDB MONIKER in seek Path, this IS PARTIAL Cache DB Restore"));
}

struct Choice {
    const char* name;
    bool allocationFails;
    bool initializeFails;
    bool enabled;
    bool result;
    bool objectKept;
    const char* line;
};

const Choice kChoices[] = {
    {"optimising", false, false, true, true, true, "This job will optimize restore"},
    {"not optimising", false, false, false, false, true,
     "Restore optimization not available based on job type and job options"},
    {"no memory", true, false, true, false, false,
     "Warning: Restore optimization object could not be created. Memory low."},
    {"initialisation refused", false, true, true, false, false,
     "Warning: Restore optimization object could not be created. Memory low."},
};

TEST_F(SeekOptimizer, DecisionObjectIsChosenAtTheOpen) {
    for (const Choice& c : kChoices) {
        SCOPED_TRACE(c.name);
        wzseek::hooks::reset();
        wzseek::DecisionConfig config;
        config.optimizationEnabled = c.enabled;
        config.initializeFails = c.initializeFails;
        wzseek::hooks::configure(config);
        if (c.allocationFails) {
            wzseek::hooks::allocationFaults().failNext(1);
        }
        BareJob<> bare;
        EXPECT_EQ(bare.job.EnableRestoreOptimization(), c.result);
        EXPECT_EQ(bare.job._seekDecision != nullptr, c.objectKept);
        EXPECT_TRUE(bare.log->contains(c.line));
        if (c.objectKept) {
            // Kept for the next archive of the job.
            SeekDecision* first = bare.job._seekDecision;
            EXPECT_TRUE(bare.job.EnableRestoreOptimization());
            EXPECT_EQ(bare.job._seekDecision, first);
        }
    }
}

TEST_F(SeekOptimizer, MissingOutOfPlaceDestinationAndValidateOnlyJobsAreNotOptimised) {
    {
        BareJob<> bare(FSR_OPT_OUT_OF_PLACE);
        char missing[] = "/nonexistent/fcl-destination";
        bare.job._setParams->destDir = new char[sizeof missing];
        memcpy(bare.job._setParams->destDir, missing, sizeof missing);
        EXPECT_TRUE(bare.job.EnableRestoreOptimization());
        ASSERT_NE(bare.job._seekDecision, nullptr);
        EXPECT_FALSE(bare.job._seekDecision->IsOptimizationEnabled());
        EXPECT_TRUE(
            bare.log->contains("Restore optimization will not be available, since this is out of place "
                               "restore and destination path does not exist."));
    }
    {
        BareJob<> bare;
        delete bare.job._factory;
        bare.job._factory = new ValidateOnlyFactory(&bare.job);
        EXPECT_TRUE(bare.job.EnableRestoreOptimization());
        ASSERT_NE(bare.job._seekDecision, nullptr);
        EXPECT_FALSE(bare.job._seekDecision->IsOptimizationEnabled());
        EXPECT_TRUE(bare.log->contains("Seek optimization is disabled as this is a \"Validate Only\" restore"));
    }
}

class SeekOptimizerJobTest : public PipelineFixture {};

TEST_F(SeekOptimizerJobTest, ItemTheOptimiserSkipsIsNeverStreamed) {
    StreamWriter stream(media_, 1);
    std::vector<uint64_t> offsets = {stream.item("/root/a", 0100644, {"a"}), stream.item("/root/b", 0100644, {"b"}),
                                     stream.item("/root/c", 0100644, {"c"})};
    stream.finish();
    wzseek::hooks::configure(skipping("/root/b", 0x17000040, ""));

    EXPECT_EQ(inChild([&] {
                  PipelineJob* job = startPipelineJob();
                  ASSERT_EQ(openArchive(1), FSR_MSG_SUCCESS);
                  std::string paths[] = {"/root/a", "/root/b", "/root/c"};
                  std::vector<FSRSeekArchive_10> elements(3);
                  for (size_t i = 0; i < 3; ++i) {
                      elements[i].offset = offsets[i];
                      elements[i].path = &paths[i][0];
                  }
                  auto array = seekArray<FSRSeekArchiveArray_10>(elements);
                  send(FSR_MSG_SEEK_TO_OFFSET_10, &array, sizeof array);
                  send(FSR_MSG_CLOSE_ARCHIVE);
                  finishJob();
                  EXPECT_EQ(job->streamEvents(),
                            (std::vector<std::string>{"HDR /root/a pre=0", "DATA 1", "EOF /root/a", "HDR /root/c pre=0",
                                                      "DATA 1", "EOF /root/c"}));
                  expectEveryBufferGivenBackOnce();
              }),
              0);
}

}  // namespace
}  // namespace jobtest
