// Snap source paths go to the restore head like seeks: only with an archive open, not below the restart point, and
// without the leading backslashes of a Windows-form path.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/engine/BareJob.h"

namespace jobtest {
namespace {

struct Source {
    const char* path;
    const char* forwarded;
};

const Source kSources[] = {
    {"\\\\server\\share", "server\\share"},
    {"\\drive\\dir", "drive\\dir"},
    {"/unix/path", "/unix/path"},
    {nullptr, nullptr},
};

TEST(ArchiveSnapSource, LeadingBackslashesAreDroppedFromTheForwardedPath) {
    for (const Source& s : kSources) {
        SCOPED_TRACE(s.path != nullptr ? s.path : "(null)");
        BareJob<> bare;
        std::string path = s.path != nullptr ? s.path : "";
        FSRSnapSrcPath record;
        record.path = s.path != nullptr ? &path[0] : nullptr;
        EXPECT_TRUE(bare.job.OnMsgSnapSrc(&record));
        EXPECT_EQ(record.reserved1, 1u);
        ASSERT_EQ(bare.next(), FSR_MSG_SNAP_SRC_PATH);
        const auto& sent = bare.record<FSRSnapSrcPath>();
        EXPECT_EQ(sent.reserved1, 1u);
        if (s.forwarded == nullptr) {
            EXPECT_EQ(sent.path, nullptr);
        } else {
            EXPECT_STREQ(sent.path, s.forwarded);
        }
        EXPECT_EQ(path, s.path != nullptr ? s.path : "") << "the received path is not changed";
    }
}

TEST(ArchiveSnapSource, SourcesBelowTheRestartPointAreNotForwarded) {
    BareJob<> bare(FSR_OPT_RESTART | FSR_OPT_RESTART_SKIP);
    bare.job._restartFileNum = 3;
    FSRSnapSrcPath one;
    EXPECT_FALSE(bare.job.OnMsgSnapSrc(&one));
    EXPECT_FALSE(bare.job.OnMsgSnapSrc(&one));
    EXPECT_TRUE(bare.log->contains("Current file number = 2 < restart file number = 3"));
    std::vector<FSRSnapSrcPath> entries(2);
    FSRSnapSrcPathArray array;
    array.count = 2;
    array.entries = entries.data();
    EXPECT_TRUE(bare.job.OnMsgSnapSrcArray(&array));
    EXPECT_EQ(bare.job._seekItemCount, 4u);
    ASSERT_EQ(bare.next(), FSR_MSG_SNAP_SRC_PATH_ARRAY);
    EXPECT_EQ(bare.record<FSRSnapSrcPathArray>().count, 2u);
    EXPECT_EQ(bare.next(1), 0u);
}

TEST(ArchiveSnapSource, SourcesWithoutAnOpenArchiveFailTheirItemsOrTheJob) {
    for (bool failOnSeekFailure : {false, true}) {
        SCOPED_TRACE(failOnSeekFailure);
        BareJob<> bare;
        bare.job._archiveOpen = 0;
        bare.job._failOnSeekFailure = failOnSeekFailure ? 1 : 0;
        FSRSnapSrcPath one;
        EXPECT_TRUE(bare.job.OnMsgSnapSrc(&one));
        std::vector<FSRSnapSrcPath> entries(3);
        FSRSnapSrcPathArray array;
        array.count = 3;
        array.entries = entries.data();
        EXPECT_TRUE(bare.job.OnMsgSnapSrcArray(&array));
        EXPECT_EQ(bare.job._statistics->getNumFilesFailed(), 4u);
        EXPECT_TRUE(bare.log->contains("Ignoring Snap source path message because no archive file is open"));
        EXPECT_TRUE(bare.log->contains("Ignoring Snap Src messages because no archive file is open"));
        EXPECT_EQ(bare.job._fatalError, failOnSeekFailure ? 1 : 0);
        if (failOnSeekFailure) {
            EXPECT_TRUE(
                bare.log->contains("OnMsgSnapSrc: Failing the restore as the option to Fail on Failure is "
                                   "selected and archive file is not opened as expected."));
            EXPECT_EQ(bare.next(), FSR_MSG_STOP);
        }
        EXPECT_EQ(bare.next(1), 0u) << "nothing forwarded";
    }
}

}  // namespace
}  // namespace jobtest
