// The file-header handler's own steps: which items may be removed on error, the version, hard-link placeholders
// and exchange items without a group, names the handler rewrites, delayed opens and failed opens.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "clRestore/options/FclRestoreUNIX.h"
#include "clRestore/stream/ConvertCXFileHeader.h"
#include "clRestore/support/ItemErrorIds.h"
#include "platform/events/EvEvent.h"
#include "platform/jobs/WZJobClient.h"
#include "protocol/PipelineBuffer.h"
#include "tests/unit/stream/StreamFixture.h"

namespace {

using streamtest::hostHeader;

struct RemoveCase {
    const char* label;
    uint64_t mode;
    bool validateOnly;
    bool removable;
};

const RemoveCase kRemoveCases[] = {
    {"regularFile", 0100644, false, true}, {"fifo", 010644, false, true},
    {"directory", 040755, false, false},   {"symbolicLink", 0120777, false, false},
    {"socket", 0140755, false, false},     {"characterDevice", 020644, false, false},
    {"blockDevice", 060644, false, false}, {"regularFileValidateOnly", 0100644, true, false},
};

class RemoveOnError : public streamtest::StreamFixture, public ::testing::WithParamInterface<RemoveCase> {};

TEST_P(RemoveOnError, FollowsTheItemsKind) {
    factory_->setValidateOnly(GetParam().validateOnly);
    job_->_removeFileOnError = !GetParam().removable;
    header("/item", GetParam().mode);
    EXPECT_EQ(GetParam().removable, job_->_removeFileOnError);
}

INSTANTIATE_TEST_SUITE_P(Table, RemoveOnError, ::testing::ValuesIn(kRemoveCases),
                         [](const ::testing::TestParamInfo<RemoveCase>& info) { return info.param.label; });

class FileHeader : public streamtest::StreamFixture {};

TEST_F(FileHeader, TheVersionComesFromAPreHeaderThatSaysItHasOne) {
    FSRPreHeader prehdr;
    std::memset(static_cast<void*>(&prehdr), 0, sizeof prehdr);
    prehdr.version = 7;
    header(hostHeader("/a"), &prehdr);
    eof();
    prehdr.flags = FSR_PREHDR_HAS_VERSION;
    header(hostHeader("/b"), &prehdr);
    eof();
    EXPECT_EQ("create /a v0", journal_.calls[0]);
    EXPECT_EQ("create /b v7", callsFrom("create /b").front());
}

TEST_F(FileHeader, OnlyAllThreeExchangeBitsMakeAnExchangeItem) {
    CXFileHeader twoBits = hostHeader("/two");
    twoBits.h_flags = 0x6000000000000000ULL;
    header(twoBits);
    eof();
    EXPECT_EQ(std::vector<std::string>{"/dst/two 0x0 obj"}, journal_.results);

    CXFileHeader allBits = hostHeader("/all");
    allBits.h_flags = CXHDR_F_EXCHANGE_MASK;
    header(allBits);
    data("ignored");
    eof();
    // Without a hard-link group an exchange item gets no object and no result.
    EXPECT_TRUE(callsFrom("create /all").empty());
    EXPECT_EQ(1u, journal_.results.size());
    EXPECT_FALSE(job_->_exchangeFlag);
}

TEST_F(FileHeader, APlaceholderNameWithoutGroupWaitsForThePrimaryName) {
    FSRPreHeader prehdr;
    std::memset(static_cast<void*>(&prehdr), 0, sizeof prehdr);
    prehdr.flags = FSR_PREHDR_HARD_LINK;
    std::strcpy(prehdr.linkName, "/orig");
    header(hostHeader("/__WZHardLink@-@-Files__/17"), &prehdr);
    EXPECT_EQ(nullptr, job_->_ro);
    EXPECT_TRUE(job_->bDelayOpenObject);
    EXPECT_STREQ("/__WZHardLink@-@-Files__/17", job_->_savedFileHeader.h_filename);
    EXPECT_STREQ("/orig", job_->_savedPreHeader.linkName);
    EXPECT_TRUE(callsFrom("create").empty());
    eof();
    EXPECT_TRUE(journal_.results.empty());
    EXPECT_FALSE(job_->bDelayOpenObject);
}

// A name of 1027 bytes fills the header's name field with its NUL; one byte more does not fit.
const std::string kFits = "/" + std::string(1026, 'f');
const std::string kTooLong = "/" + std::string(1027, 'l');

struct RenameCase {
    const char* label;
    const char* item;  // the header's name
    uint64_t flags;
    // Makes the handler rewrite the item's name to `name`.
    std::function<void(streamtest::TestJob&, const std::string& name)> arrange;
};

void openHardLinkGroup(streamtest::TestJob& job, const std::string& primary) {
    _HLElementByIndex element;
    element.name = primary;
    job.previousName = "/group";
    job.realLinkPathsMap["/group"] = {element};
    job._CXHeaderCount = 0;  // the group started with this item's pre-header
}

const RenameCase kRenameCases[] = {
    {"hardLinkPrimary", "/__WZHardLink@-@-Files__/17", 0, openHardLinkGroup},
    {"hardLinkPrimaryOfAnExchangeItem", "/member", CXHDR_F_EXCHANGE_MASK, openHardLinkGroup},
    {"ruvoPath", "/item", 0,
     [](streamtest::TestJob& job, const std::string& name) {
         job._fclRestoreUnix->_ruvoRestore = true;
         job._fclRestoreUnix->_ruvoPath = name;
     }},
};

class RewrittenName : public streamtest::StreamFixture, public ::testing::WithParamInterface<RenameCase> {};

TEST_P(RewrittenName, ThatFitsNamesTheObject) {
    GetParam().arrange(*job_, kFits);
    CXFileHeader header = hostHeader(GetParam().item);
    header.h_flags = GetParam().flags;
    this->header(header);
    ASSERT_FALSE(callsFrom("create").empty());
    EXPECT_EQ("create " + kFits + " v0", callsFrom("create").front());
    EXPECT_NE(nullptr, job_->_ro);
}

// Under its old name the item would be restored somewhere else: it fails without an object instead.
TEST_P(RewrittenName, ThatDoesNotFitFailsTheItem) {
    GetParam().arrange(*job_, kTooLong);
    CXFileHeader header = hostHeader(GetParam().item);
    header.h_flags = GetParam().flags;
    this->header(header);
    EXPECT_EQ(nullptr, job_->_ro);
    EXPECT_TRUE(callsFrom("create").empty());
    data("dropped");
    eof();
    EXPECT_EQ(std::vector<std::string>{std::string(GetParam().item) + " 0x1700002e"}, journal_.results);
}

INSTANTIATE_TEST_SUITE_P(Table, RewrittenName, ::testing::ValuesIn(kRenameCases),
                         [](const ::testing::TestParamInfo<RenameCase>& info) { return info.param.label; });

TEST_F(FileHeader, ALongPathItemGetsAnObjectThatWaitsForItsOpen) {
    CXFileHeader header = hostHeader("/long");
    header.h_flags2 = CXHDR_F2_LONG_PATH;
    this->header(header);
    ASSERT_NE(nullptr, job_->_ro);
    EXPECT_TRUE(job_->_delayOpen);
    EXPECT_STREQ("/long", job_->_savedFileHeader.h_filename);
    EXPECT_TRUE(callsFrom("open").empty());
}

TEST_F(FileHeader, AnExtentItemWithoutObjectStillNamesItsRealPath) {
    streamtest::Plan plan;
    plan.kind = streamtest::Plan::kDecline;
    plan.code = 0x17000040;
    factory_->plans["/ext/file"] = plan;
    CXFileHeader header = hostHeader("/ext/file");
    header.h_flags2 = CXHDR_F2_EXTENT;
    this->header(header);
    EXPECT_EQ(nullptr, job_->_ro);
    EXPECT_EQ("/ext/file", job_->_fclRestoreUnix->getEBLongRealPath());
    EXPECT_STREQ("/ext/file", job_->_savedFileHeader.h_filename);
}

TEST_F(FileHeader, ACloudConnectionErrorAtOpenIsRaisedAndTheJobGoesOn) {
    streamtest::Plan plan;
    plan.script.openResult = 0;
    plan.script.openCode = 0x1700008a;
    factory_->plans["/cloud"] = plan;
    header("/cloud");
    EXPECT_EQ(nullptr, job_->_ro);
    bool critical = false;
    for (const EvRaisedEvent& event : wzplatform::raisedEvents()) {
        critical = critical || (event.messageId == 0x1700008a && event.severity == EV_CRITICAL);
    }
    EXPECT_TRUE(critical);
    bool cause = false;
    for (const JMPendingCause& pending : wzplatform::pendingCauses()) {
        cause = cause || pending.code == 0x1700008a;
    }
    EXPECT_TRUE(cause);
    EXPECT_FALSE(job_->isFatalError());
    eof();
    EXPECT_EQ(std::vector<std::string>{"/cloud 0x1700008a"}, journal_.results);
}

TEST_F(FileHeader, ADiskFullAtOpenStopsTheJob) {
    streamtest::Plan plan;
    plan.script.openResult = 0;
    plan.script.openCode = fclitem::kDiskFull;
    plan.script.path = scratch_ / "never";
    factory_->plans["/full"] = plan;
    header("/full");
    EXPECT_TRUE(job_->isFatalError());
    EXPECT_EQ(nullptr, job_->_ro);
    EXPECT_EQ(1u, callsFrom("destroy").size());
}

}  // namespace

namespace {

class FileHeaderNames : public streamtest::StreamFixture {};

// A name that fills its whole field without an end is refused, never cut to the name of another item: the item gets
// no object, its data goes nowhere and its end records it failed.
TEST_F(FileHeaderNames, ANameWithoutItsEndIsRefused) {
    CXFileHeader fields = hostHeader("/f");
    std::vector<unsigned char> buffer = streamtest::pipelineBuffer(CXHDR_SIZE);
    auto* net = reinterpret_cast<CXFileHeader*>(PipelineBufPayload(buffer.data()));
    ConvertCXFileHeaderFromNetOrder(&fields, net);
    std::memset(net->h_filename, 'n', CXHDR_NAME_SIZE);
    CXFileHeader host;
    FSRPreHeader prehdr;
    std::memset(static_cast<void*>(&prehdr), 0, sizeof prehdr);
    job_->OnBufferPlFsHdr(buffer.data(), &host, &prehdr);
    data("abcd");
    job_->OnBufferPlFsEof(nullptr, &host);
    EXPECT_TRUE(callsFrom("create").empty());
    EXPECT_TRUE(journal_.writeLengths.empty());
    ASSERT_EQ(1u, journal_.results.size());
    EXPECT_NE(std::string::npos, journal_.results.back().find(" 0x1700002e")) << journal_.results.back();
}

// A header without a name names nothing: it is refused rather than taken as the destination's root.
TEST_F(FileHeaderNames, AnEmptyNameIsRefused) {
    header("");
    data("abcd");
    eof();
    EXPECT_TRUE(callsFrom("create").empty());
    EXPECT_TRUE(journal_.writeLengths.empty());
    ASSERT_EQ(1u, journal_.results.size());
    EXPECT_NE(std::string::npos, journal_.results.back().find(" 0x1700005b")) << journal_.results.back();
}

}  // namespace
