// Proxy-client destinations: version-10 seeks are held and sent sixteen at a time as plain seeks; for an archive that
// is not the platform's own they go to the archive reader unchanged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clRestore/options/FclRestoreUNIX.h"
#include "platform/archive/FsRestoreArchive.h"
#include "platform/session/wzsDatabuf.h"
#include "tests/unit/engine/BareJob.h"

namespace jobtest {
namespace {

class ProxyBatch : public ::testing::Test {
protected:
    ProxyBatch() { bare.job._proxyClientDestination = true; }

    template <class Element>
    bool sendSeeks(std::vector<Element>& elements) {
        auto array = seekArray<FSRSeekArchiveArray_10>(elements);
        return bare.job.OnMsgSeekToOffset10(&array);
    }

    BareJob<> bare{FSR_OPT_RESTART | FSR_OPT_RESTART_SKIP};
};

TEST_F(ProxyBatch, SeventeenSeeksSendSixteenAndHoldOne) {
    std::vector<FSRSeekArchive_10> elements(17);
    std::vector<std::string> names(17);
    for (size_t i = 0; i < elements.size(); ++i) {
        elements[i].offset = 1000 + i;
        elements[i].version = 3;
        elements[i].flags = SEEK_ARCHIVE_HLINK_FLAG;
        elements[i].sixthWord = 40 + i;
        names[i] = "name" + std::to_string(i);
        elements[i].linkName = i % 2 == 0 ? &names[i][0] : nullptr;
    }
    ASSERT_TRUE(sendSeeks(elements));
    ASSERT_EQ(bare.next(), FSR_MSG_SEEK_TO_OFFSET);
    const auto& sent = bare.record<FSRSeekArchiveArray>();
    ASSERT_EQ(sent.count, 16u);
    for (uint32_t i = 0; i < sent.count; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(sent.entries[i].offset, 1000u + i);
        EXPECT_EQ(sent.entries[i].version, 3u);
        EXPECT_EQ(sent.entries[i].flags, static_cast<uint64_t>(SEEK_ARCHIVE_HLINK_FLAG));
        if (i % 2 == 0) {
            EXPECT_STREQ(sent.entries[i].linkName, ("name" + std::to_string(i) + "?" + std::to_string(40 + i)).c_str());
        } else {
            EXPECT_EQ(sent.entries[i].linkName, nullptr);
        }
    }
    EXPECT_EQ(bare.next(1), 0u);
    const FSRSeekArchiveArray& held = bare.job._fclRestoreUnix->_seekBatch;
    ASSERT_EQ(held.count, 1u);
    EXPECT_EQ(held.entries[0].offset, 1016u);
    EXPECT_STREQ(held.entries[0].linkName, "name16?56");
    EXPECT_EQ(bare.job._fclRestoreUnix->_seeksSent, 1);
}

TEST_F(ProxyBatch, SeekAtTheSameOffsetAsTheOneBeforeHoldsThatOnesPreHeader) {
    std::vector<FSRSeekArchive_10_V2> elements(3);
    elements[0].offset = 500;
    elements[1].offset = 500;
    elements[2].offset = 700;
    auto array = seekArray<FSRSeekArchiveArray_10_V2>(elements);
    ASSERT_TRUE(bare.job.OnMsgSeekToOffset10V2(&array));
    const FSRSeekArchiveArray& held = bare.job._fclRestoreUnix->_seekBatch;
    ASSERT_EQ(held.count, 3u);
    EXPECT_EQ(held.entries[0].flags, static_cast<uint64_t>(SEEK_ARCHIVE_PRE_HDR_HOLD));
    EXPECT_EQ(held.entries[1].flags, 0u);
    EXPECT_EQ(held.entries[2].flags, 0u);
    EXPECT_TRUE(bare.log->contains("Adding SEEK_ARCHIVE_PRE_HDR_HOLD flag. [500:0100:NULL]"));
}

TEST_F(ProxyBatch, HeldSeeksBelowTheRestartPointAreDroppedOnceNotOfferedAgain) {
    bare.job._restartFileNum = 100;
    std::vector<FSRSeekArchive_10> elements(17);
    ASSERT_TRUE(sendSeeks(elements));
    EXPECT_EQ(bare.job._seekItemCount, 16u);
    std::vector<FSRSeekArchive_10> one(1);
    ASSERT_TRUE(sendSeeks(one));
    EXPECT_EQ(bare.job._seekItemCount, 16u) << "the refused seeks were not offered again";
    EXPECT_EQ(bare.job._fclRestoreUnix->_seekBatch.count, 2u);
    EXPECT_EQ(bare.next(1), 0u);
}

// An archive of another kind: restore-head messages go to it.
class ForeignArchive : public FsRestoreArchive {
public:
    ForeignArchive() : FsRestoreArchive(nullptr, nullptr, "client") {}
    bool isWZArchive() override { return false; }
    bool handleRestoreHeadMessage(unsigned long code, wzsDatabuf* payload) override {
        codes.push_back(code);
        records.push_back(payload != nullptr ? payload->buf : nullptr);
        return true;
    }
    std::vector<unsigned long> codes;
    std::vector<char*> records;
};

TEST_F(ProxyBatch, ForeignArchiveTakesBothVersionTenFormsUnchanged) {
    auto* archive = new ForeignArchive();
    bare.job._archive = archive;
    std::vector<FSRSeekArchive_10> plain(20);
    auto array = seekArray<FSRSeekArchiveArray_10>(plain);
    std::vector<FSRSeekArchive_10_V2> extended(2);
    auto arrayV2 = seekArray<FSRSeekArchiveArray_10_V2>(extended);
    EXPECT_TRUE(bare.job.OnMsgSeekToOffset10(&array));
    EXPECT_TRUE(bare.job.OnMsgSeekToOffset10V2(&arrayV2));
    EXPECT_EQ(archive->codes, (std::vector<unsigned long>{FSR_MSG_SEEK_TO_OFFSET_10, FSR_MSG_SEEK_TO_OFFSET_10}));
    EXPECT_EQ(archive->records,
              (std::vector<char*>{reinterpret_cast<char*>(&array), reinterpret_cast<char*>(&arrayV2)}));
    EXPECT_EQ(bare.job._fclRestoreUnix->_seeksSent, 0);
    EXPECT_EQ(bare.job._fclRestoreUnix->_seekBatch.count, 0u);
}

TEST_F(ProxyBatch, EmptyVersionTenArrayDoesNothing) {
    std::vector<FSRSeekArchive_10> none;
    ASSERT_TRUE(sendSeeks(none));
    EXPECT_EQ(bare.job._fclRestoreUnix->_seekBatch.count, 0u);
    EXPECT_EQ(bare.job._seekItemCount, 0u);
    EXPECT_EQ(bare.next(1), 0u);
}

}  // namespace
}  // namespace jobtest
